"""Formulas without a C++ compiler: every reference formula and the hydrology
formulas inverted in an interpreter that has none (none at the configured
path, none on PATH), and "**" as the power."""
import json
import os
import re
import subprocess
import sys

import orvane
from orvane.inversion import METHODS

DATA = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tests", "data")


def formulas():
    """(id, formula) of tests/data's reference pairs and hydrology formulas."""
    out = []
    for name in ("transforms.json", "classic_pairs.json"):
        with open(os.path.join(DATA, name)) as fh:
            for p in json.load(fh)["pairs"]:
                text = re.sub(r"std::complex<double>\(([^,()]+),([^,()]+)\)", r"(\1+\2*i)", p["F_cpp"])
                out.append((p["id"], text.replace("std::", "")))
    with open(os.path.join(DATA, "hydrology_formulas.txt")) as fh:
        for line in fh:
            if line.strip() and not line.startswith("#"):
                ident, text = line.split(" | ", 1)
                out.append((ident.strip(), text.strip()))
    return out


SCRIPT = """
import json, sys
import orvane
out = {}
for ident, text in json.load(sys.stdin):
    r = orvane.invert(text, [1.0], rel_err=1e-6)
    out[ident] = [len(r.t), r.method[0]]
print(json.dumps(out))
"""


def test_every_formula_is_inverted_with_no_compiler(tmp_path):
    table = formulas()
    assert len(table) > 70
    env = dict(os.environ, ORVANE_JIT_CXX="/nonexistent/c++", PATH="/nonexistent",
               XDG_CACHE_HOME=str(tmp_path / "cache"),
               PYTHONPATH=os.path.dirname(os.path.dirname(os.path.abspath(orvane.__file__))))
    done = subprocess.run([sys.executable, "-c", SCRIPT], input=json.dumps(table), capture_output=True, text=True,
                          env=env, timeout=600)
    assert done.returncode == 0, done.stderr
    assert "compiler" not in done.stderr
    results = json.loads(done.stdout)
    assert sorted(results) == sorted(ident for ident, _ in table)
    for ident, (rows, method) in results.items():
        assert rows == 1 and method in METHODS, ident
    # Nothing was compiled, so nothing was cached.
    assert not (tmp_path / "cache" / "orvane").exists()


def test_double_star_is_the_power():
    t = [0.5, 2.0]
    a = orvane.invert("1/(s+a)**2 + s**-1.5", t, params={"a": 0.5}, method="weeks")
    b = orvane.invert("1/(s+a)^2 + s^-1.5", t, params={"a": 0.5}, method="weeks")
    assert a.csv_text() == b.csv_text()
