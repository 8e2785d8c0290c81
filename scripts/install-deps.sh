#!/usr/bin/env bash
# Installs, from Debian's packages, what a step of the build needs and the
# machine lacks:
#   scripts/install-deps.sh [--optional] STAGE...
# STAGE is one of
#   build      the programs and the library (make build, make run, make install)
#   python     the Python module and its use (pybind11, the headers, numpy, matplotlib)
#   tests      the C++ test suite (GoogleTest)
#   pytest     the Python tests (pytest, Dask's distributed)
#   fuzz       make fuzz (Clang with libFuzzer)
#   bench      make bench (Google Benchmark, the peers' numpy and mpmath)
# Does nothing when everything is present. Installing needs root; without it
# the missing packages are named in one message with the apt-get line to run,
# and the exit status is 1 (0 with --optional: the build goes on without them).
set -euo pipefail

optional=0
if [ "${1:-}" = "--optional" ]; then
  optional=1
  shift
fi
[ $# -eq 0 ] && set -- build

needed=()
for stage in "$@"; do
  case "$stage" in
    build) needed+=(cmake make g++ pkg-config libfftw3-dev libcli11-dev python3) ;;
    python) needed+=(pybind11-dev python3-dev python3-numpy python3-matplotlib) ;;
    tests) needed+=(libgtest-dev) ;;
    pytest) needed+=(python3-pytest python3-distributed) ;;
    fuzz) needed+=(clang libclang-rt-dev libomp-dev) ;;
    bench) needed+=(libbenchmark-dev python3-numpy python3-mpmath) ;;
    *) echo "install-deps: unknown stage '$stage'; expected build, python, tests, pytest, fuzz or bench" >&2
       exit 2 ;;
  esac
done

missing=()
for pkg in "${needed[@]}"; do
  dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' && continue
  # A tool present by other means (a cmake or python3 outside Debian's packages) is enough.
  case "$pkg" in
    cmake|make|g++|python3|pkg-config|clang) command -v "$pkg" >/dev/null 2>&1 && continue ;;
  esac
  case " ${missing[*]-} " in *" $pkg "*) continue ;; esac
  missing+=("$pkg")
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
  if [ "$optional" -eq 1 ]; then
    echo "install-deps: $* skipped for want of ${missing[*]} (sudo apt-get install ${missing[*]})" >&2
    exit 0
  fi
  echo "install-deps: $* needs packages that are missing; as root run: apt-get install ${missing[*]}" >&2
  exit 1
fi
echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}"
