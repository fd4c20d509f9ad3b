#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when missing:
# compilers and CMake, GoogleTest and Google Benchmark, CLI11, nlohmann-json,
# fmt (number texts), fast_float and matio for the zel tool, rsvg-convert and
# xmllint to check its plots in tests, gfortran and pkg-config for the package
# tests, MinGW-w64 for the Windows build, pybind11, numpy and pytest for the
# Python package. wine (to run the Windows test programs), pandas and h5py
# are tried as well, but the build does without them.
set -euo pipefail
required=(cmake g++ gcc make libgtest-dev libgmock-dev libbenchmark-dev gfortran libcli11-dev
          nlohmann-json3-dev libfmt-dev libfast-float-dev libmatio-dev librsvg2-bin libxml2-utils
          pkgconf g++-mingw-w64-x86-64
          python3-dev pybind11-dev python3-pybind11 python3-numpy python3-pytest)
optional=(wine64 python3-pandas python3-h5py python3-matplotlib)

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
