#!/usr/bin/env bash
# pip install . as the README gives it: a fresh virtual environment that sees
# Debian's packages, an offline build with Debian's setuptools, then a call
# of the installed package from outside the source tree.
#   tests/packaging/pip_install.sh [PYTHON]     (default /usr/bin/python3)
set -euo pipefail
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
python=${1:-/usr/bin/python3}
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

"$python" -m venv --system-site-packages "$scratch/venv"
"$scratch/venv/bin/pip" install --no-build-isolation --no-index "$source_dir"

cd "$scratch"
XDG_CACHE_HOME="$scratch/cache" "$scratch/venv/bin/python" - <<'PY'
import math
import orvane

assert "venv" in orvane.__file__, orvane.__file__
r = orvane.invert("1/(s+1)", 2.0, rel_err=1e-10)
assert bool(r.met) and abs(complex(r.f) - math.exp(-2.0)) < 1e-10, r
r = orvane.invert(lambda s: 1 / (s + 1), [0.5, 1.0], rel_err=1e-10)
assert r.met.all() and r.f.shape == (2,)
try:
    orvane.invert("1/(s+1)", -1.0)
except orvane.InputError as e:
    assert isinstance(e, ValueError) and e.kind == "parameters"
else:
    raise AssertionError("a negative time was accepted")
print("pip install: orvane", orvane.__version__, "from", orvane.__file__, "works")
PY

# The installed package needs no C++ compiler for a formula, the hydrology
# ones with special functions included: none on PATH, and none named.
PATH=/nonexistent ORVANE_JIT_CXX=/nonexistent/c++ XDG_CACHE_HOME="$scratch/cache-nocc" \
  "$scratch/venv/bin/python" - <<'PY'
import math
import orvane

# Theis: f = E1(r^2/(4 D t))/2.
r = orvane.invert("K0(r*sqrt(s/D))/s", [0.1, 1.0, 10.0], params={"r": 1.0, "D": 1.0}, rel_err=1e-8)
exact = [0.5 * e1 for e1 in (0.024914917870269736, 1.0442826344437381, 3.1365084032151684)]
assert r.met.all() and all(abs(f.real - x) < 1e-8 * x for f, x in zip(r.f, exact)), r
r = orvane.invert("exp(s^2/4)*erfc(s/2)", 1.0, rel_err=1e-6)
assert abs(complex(r.f).real - 2 * math.exp(-1.0) / math.sqrt(math.pi)) < 1e-6, r
print("pip install: formulas with special functions, no compiler on PATH: works")
PY
