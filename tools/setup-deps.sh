#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when missing:
# compilers and CMake, GoogleTest and Google Benchmark, CLI11 for the zel
# tool, gfortran and pkg-config for the package tests, MinGW-w64 for the
# Windows build. wine (to run the Windows test programs) is tried as well,
# but the build does without it.
set -euo pipefail
required=(cmake g++ gcc make libgtest-dev libgmock-dev libbenchmark-dev gfortran libcli11-dev
          pkgconf g++-mingw-w64-x86-64)
optional=(wine64)

missing() {
  local out=()
  for pkg in "$@"; do
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" || out+=("$pkg")
  done
  echo "${out[@]:-}"
}

SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
need=$(missing "${required[@]}")
want=$(missing "${optional[@]}")
if [ -n "$need$want" ]; then
  $SUDO apt-get update -qq || true
fi
if [ -n "$need" ]; then
  echo "installing: $need" >&2
  # shellcheck disable=SC2086
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq $need >&2
fi
if [ -n "$want" ]; then
  echo "installing (optional): $want" >&2
  # shellcheck disable=SC2086
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq $want >&2 ||
    echo "optional packages not installed: $want (Windows programs will be built, not run)" >&2
fi
