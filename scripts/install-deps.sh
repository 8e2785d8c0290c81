#!/usr/bin/env bash
# Installs, from Debian's packages, what the build needs and the machine lacks.
# Does nothing when everything is present; needs root only when it installs.
set -euo pipefail

needed=(cmake make g++ pkg-config libfftw3-dev libgtest-dev libbenchmark-dev python3)
missing=()
for pkg in "${needed[@]}"; do
  dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' || missing+=("$pkg")
done
[ ${#missing[@]} -eq 0 ] && exit 0

# A tool present by other means (a cmake or python3 outside Debian's packages) is enough.
still=()
for pkg in "${missing[@]}"; do
  case "$pkg" in
    cmake|make|g++|python3|pkg-config) command -v "$pkg" >/dev/null 2>&1 && continue ;;
  esac
  still+=("$pkg")
done
[ ${#still[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
  echo "install-deps: missing packages: ${still[*]}" >&2
  echo "install-deps: run as root, or: sudo apt-get install ${still[*]}" >&2
  exit 1
fi
echo "install-deps: installing ${still[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${still[@]}"
