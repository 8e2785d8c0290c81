#!/usr/bin/env bash
# Installs, from Debian's packages, what the benchmark peers need for the system
# Python (/usr/bin/python3): numpy for the vectorised peer, mpmath for Talbot's
# method. Does nothing when both import; needs root only when it installs.
set -euo pipefail

py=/usr/bin/python3
missing=()
"$py" -c 'import numpy' 2>/dev/null || missing+=(python3-numpy)
"$py" -c 'import mpmath' 2>/dev/null || missing+=(python3-mpmath)
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
  echo "install-bench-deps: missing packages: ${missing[*]}" >&2
  echo "install-bench-deps: run as root, or: sudo apt-get install ${missing[*]}" >&2
  exit 1
fi
echo "install-bench-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}"
