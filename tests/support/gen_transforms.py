#!/usr/bin/env python3
"""Writes transforms_table.h: the reference Laplace pairs of transforms.json as
C++ (one host function per F(s), the exact f(t) values as doubles)."""
import json
import math
import sys

src, out = sys.argv[1], sys.argv[2]
with open(src) as fh:
    data = json.load(fh)

lines = [
    "// Generated from transforms.json by gen_transforms.py; do not edit.",
    "#pragma once",
    "#include <cmath>",
    "#include <complex>",
    "#include <limits>",
    "#include <vector>",
    "namespace reference {",
    "using cplx = std::complex<double>;",
]
for p in data["pairs"]:
    ident = p["id"].replace("-", "_")
    lines.append(f"inline cplx F_{ident}(cplx s) {{ return {p['F_cpp']}; }}")
lines.append("struct Value { double t; double f; };")
lines.append("struct Pair { const char* id; const char* tags; double abscissa; cplx (*F)(cplx); std::vector<Value> values; const char* category; };")
lines.append("inline const std::vector<Pair>& pairs() {")
lines.append("  static const std::vector<Pair> table = {")
for p in data["pairs"]:
    ident = p["id"].replace("-", "_")
    absc = "-std::numeric_limits<double>::infinity()" if p["abscissa"] is None else repr(float(p["abscissa"]))
    vals = ", ".join(f"{{{float(v['t'])!r}, {float(v['f_double'])!r}}}" for v in p["values"]
                     if v.get("f_double") is not None and math.isfinite(float(v["f_double"])))
    tags = " ".join(p.get("tags", []))
    lines.append(f'    {{"{p["id"]}", "{tags}", {absc}, &F_{ident}, {{{vals}}}, "{p.get("category", "")}"}},')
lines.append("  };")
lines.append("  return table;")
lines.append("}")
lines.append("}  // namespace reference")
with open(out, "w") as fh:
    fh.write("\n".join(lines) + "\n")
