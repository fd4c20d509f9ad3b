#!/usr/bin/env bash
# Fuzz step of CI: builds the libFuzzer targets with clang (preset "fuzz",
# targets by name, not "all") and runs each for ZEL_FUZZ_SECONDS (default
# 55: at most 5 minutes in all) from a temporary corpus of its seeds and
# kept regressions. A crash, a leak, an input slower than 2 s or a process
# above 512 MB fails the step and prints the reproducer. Without clang the
# step is skipped, visibly.
set -euo pipefail
cd "$(dirname "$0")/.."
if ! command -v clang >/dev/null 2>&1 || ! command -v clang++ >/dev/null 2>&1; then
  echo "fuzz: SKIPPED (clang and clang++ are needed for libFuzzer)" && exit 0
fi
targets="rpc3_reader_fuzz dac_reader_fuzz header_number_fuzz dac_details_fuzz write_read_fuzz"
out=build/fuzz/artifacts work=$(mktemp -d "${TMPDIR:-/tmp}/zel-fuzz.XXXXXX") failed=0
trap 'rm -rf "$work"' EXIT
cmake --preset fuzz && cmake --build build/fuzz -j2 --target $targets && mkdir -p "$out"
export ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
for t in $targets; do
  mkdir "$work/$t" && ZEL_FUZZ_SEEDS="$work/$t" "build/fuzz/fuzz/$t" >/dev/null 2>&1
  cp fuzz/regressions/"$t"/* "$work/$t"/ 2>/dev/null || true
  rm -f "$out/$t"-* && echo "fuzz: $t for ${ZEL_FUZZ_SECONDS:-55} s"
  if "build/fuzz/fuzz/$t" "$work/$t" -max_total_time="${ZEL_FUZZ_SECONDS:-55}" -timeout=2 -rss_limit_mb=512 \
       -malloc_limit_mb=512 -print_final_stats=1 -artifact_prefix="$out/$t-" >"$out/$t.log" 2>&1; then
    grep -E "DONE|number_of_executed_units" "$out/$t.log" | sed "s/^/  /"
  else
    failed=1 && echo "fuzz: $t FAILED; log $out/$t.log"
    grep -E "ERROR|SUMMARY|check failed|runtime error" "$out/$t.log" | head -5 | sed "s/^/  /" || true
    ls "$out/$t"-* 2>/dev/null | sed "s/^/  reproducer: /" || true
  fi
done
exit "$failed"
