#!/usr/bin/env bash
# Fuzz step of CI: builds the libFuzzer targets with clang (preset "fuzz",
# build/fuzz), writes the seeds, and runs every target for a bounded time
# from a temporary corpus holding its seeds and kept regressions. All
# targets together fuzz for at most 5 minutes (ZEL_FUZZ_SECONDS per target,
# default 55). A crash, a leak, an input slower than 2 s or a process above
# 512 MB fails the step; the reproducer's path is printed. Without clang the
# step is skipped, visibly.
set -euo pipefail
cd "$(dirname "$0")/.."

if ! command -v clang >/dev/null 2>&1 || ! command -v clang++ >/dev/null 2>&1; then
  echo "fuzz: SKIPPED (clang and clang++ are needed for libFuzzer)"
  exit 0
fi

targets="rpc3_reader_fuzz dac_reader_fuzz header_number_fuzz dac_details_fuzz write_read_fuzz"
seconds=${ZEL_FUZZ_SECONDS:-55}
build=build/fuzz
jobs=$(nproc)
[ "$jobs" -gt 2 ] && jobs=2

cmake --preset fuzz
# Only the targets and the seed writer: the fuzz build's instrumented
# shared library is of no use here.
# shellcheck disable=SC2086
cmake --build "$build" -j"$jobs" --target make_seeds $targets

seeds="$build/seeds"
artifacts="$build/artifacts"
rm -rf "$seeds"
mkdir -p "$artifacts"
"$build/fuzz/make_seeds" "$seeds"

work=$(mktemp -d "${TMPDIR:-/tmp}/zel-fuzz-corpus.XXXXXX")
trap 'rm -rf "$work"' EXIT

export ASAN_OPTIONS=detect_leaks=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
failed=0
for t in $targets; do
  mkdir -p "$work/$t"
  cp "$seeds/$t"/* "$work/$t"/
  if [ -d "fuzz/regressions/$t" ]; then cp fuzz/regressions/"$t"/* "$work/$t"/ 2>/dev/null || true; fi
  log="$artifacts/$t.log"
  before=$(ls "$artifacts" | grep -c "^$t-" || true)
  echo "fuzz: $t for ${seconds} s"
  if "$build/fuzz/$t" "$work/$t" -max_total_time="$seconds" -timeout=2 -rss_limit_mb=512 \
       -malloc_limit_mb=512 -detect_leaks=1 -print_final_stats=1 \
       -artifact_prefix="$artifacts/$t-" >"$log" 2>&1; then
    grep -E "DONE|number_of_executed_units" "$log" | sed "s/^/  /"
  else
    failed=1
    echo "fuzz: $t FAILED; log $log"
    grep -E "ERROR|SUMMARY|check failed|runtime error" "$log" | head -5 | sed "s/^/  /"
    after=$(ls "$artifacts" | grep -c "^$t-" || true)
    [ "$after" -gt "$before" ] && ls -t "$artifacts"/"$t"-* | grep -v '\.log$' | head -1 | sed "s/^/  reproducer: /"
  fi
done
exit "$failed"
