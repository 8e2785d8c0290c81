#!/usr/bin/env bash
# Installs, from Debian's packages, what the build needs and the machine lacks
# (the Python module's too: pybind11, the headers, numpy, matplotlib, Dask's
# distributed and pytest for the system python3).
# With --bench also the benchmark peers' Python packages (numpy and mpmath for
# the system Python). Does nothing when everything is present; needs root only
# when it installs.
set -euo pipefail

needed=(cmake make g++ pkg-config libfftw3-dev libgtest-dev libbenchmark-dev libcli11-dev python3
        clang libclang-rt-dev libomp-dev
        pybind11-dev python3-dev python3-numpy python3-matplotlib python3-distributed python3-pytest)
[ "${1:-}" = "--bench" ] && needed+=(python3-numpy python3-mpmath)

missing=()
for pkg in "${needed[@]}"; do
  dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' && continue
  # A tool present by other means (a cmake or python3 outside Debian's packages) is enough.
  case "$pkg" in
    cmake|make|g++|python3|pkg-config|clang) command -v "$pkg" >/dev/null 2>&1 && continue ;;
  esac
  missing+=("$pkg")
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
  echo "install-deps: missing packages: ${missing[*]}" >&2
  echo "install-deps: run as root, or: sudo apt-get install ${missing[*]}" >&2
  exit 1
fi
echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}"
