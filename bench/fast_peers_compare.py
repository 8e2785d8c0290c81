#!/usr/bin/env python3
"""Orvane's methods beside what a speed-conscious user writes in an afternoon: the numpy
peers of ../shared/bench/fast_peers.py (vectorised over the times of a call, F evaluated once
on one array of every node) and mpmath's Talbot, on the reference pairs whose F is a formula
both can read (tests/data/transforms.json and tests/data/classic_pairs.json), each pair's times
in one call, request 1e-8, one thread. Per method: the median time per value (best of three
calls), F's evaluations per value, the share of values within 1e-8 of the truth, and the wrong
values (true error above 1e-8) that no flag marks (for the peers, which have none: every wrong
value).

    OMP_NUM_THREADS=1 PYTHONPATH=build/python /usr/bin/python3 bench/fast_peers_compare.py \\
        [--peers ../shared/bench] [--testdata tests/data] [--mpmath]

The peers' folder is the team's workshop beside the repository; where it is absent the script
says so and compares nothing.
"""
import argparse
import json
import os
import re
import statistics
import sys
import time

REPO = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
REQUEST = 1e-8


def formula(pair):
    """The pair's F in the formula grammar (from its C++ text), or None."""
    text = pair.get("F_cpp") or ""
    text = text.replace("std::", "")
    if not text or re.search(r"[A-Za-z_]\w*::|\bcomplex\b|\bcyl_|\?|;", text):
        return None
    return text


def best_of(call, repeats=3):
    best = float("inf")
    out = None
    for _ in range(repeats):
        start = time.perf_counter()
        out = call()
        best = min(best, time.perf_counter() - start)
    return best, out


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--peers", default=os.path.join(REPO, "..", "shared", "bench"))
    ap.add_argument("--testdata", default=os.path.join(REPO, "tests", "data"))
    ap.add_argument("--mpmath", action="store_true", help="also mpmath's Talbot (slow)")
    args = ap.parse_args()
    if not os.path.isfile(os.path.join(args.peers, "fast_peers.py")):
        print(f"fast_peers_compare: the peers' folder {args.peers} is absent; the comparison is skipped")
        return 0
    sys.path.insert(0, args.peers)
    import numpy as np
    import fast_peers as fp
    import orvane

    pairs = []
    for name in ("transforms.json", "classic_pairs.json"):
        with open(os.path.join(args.testdata, name)) as fh:
            pairs += json.load(fh)["pairs"]
    methods = ["auto", "dehoog", "talbot", "np_dehoog", "np_talbot_cot", "np_euler"]
    if args.mpmath:
        methods.append("mpmath")
    rows = {m: {"us": [], "evals": [], "good": 0, "wrong_unflagged": 0, "values": 0} for m in methods}
    used = 0
    for p in pairs:
        expr = formula(p)
        if expr is None:
            continue
        t = np.array([v["t"] for v in p["values"]])
        exact = np.array([v["f_double"] for v in p["values"]])
        # Right of every singularity, as the accuracy table has it.
        shift = float(p.get("abscissa") or 0.0) + 0.25
        try:
            F = fp.numpy_F(expr)
            orvane.invert(expr, t[:1], rel_err=REQUEST, method="dehoog", sigma=(shift, shift + 30.0))
        except Exception:
            continue
        used += 1
        for m in methods:
            if m in ("auto", "dehoog", "talbot"):
                def call():
                    return orvane.invert(expr, t, rel_err=REQUEST, method=m, sigma=(shift, shift + 30.0))
                took, r = best_of(call)
                f = np.asarray(r.f).real
                evals = getattr(r, "evaluations", float("nan")) / len(t)
                flags = np.asarray(r.flag)
            elif m == "mpmath":
                import mpmath
                Fm = lambda s, e=expr: complex(fp.numpy_F(e)(np.array([complex(s)]))[0])
                def call():
                    return [float(mpmath.invertlaplace(Fm, float(x), method="talbot")) for x in t]
                took, f = best_of(call, 1)
                f, evals, flags = np.array(f), float("nan"), np.zeros(len(t))
            else:
                peer = {"np_dehoog": fp.dehoog, "np_talbot_cot": fp.talbot_cot, "np_euler": fp.euler}[m]
                took, f = best_of(lambda: peer(F, t, shift=shift))
                f = np.asarray(f).real
                evals = fp.EVALUATIONS.get(m, float("nan"))
                flags = np.zeros(len(t))
            with np.errstate(all="ignore"):
                rel = np.where(f == exact, 0.0, np.abs(f - exact) / np.abs(exact))
            good = rel < REQUEST
            row = rows[m]
            row["us"].append(took / len(t) * 1e6)
            row["evals"].append(evals)
            row["good"] += int(good.sum())
            row["wrong_unflagged"] += int((~good & (flags == 0)).sum())
            row["values"] += len(t)
    print(f"{used} pairs, request {REQUEST:g}, OMP_NUM_THREADS={os.environ.get('OMP_NUM_THREADS', 'default')}")
    print(f"{'method':<15}{'us/value':>10}{'evals/value':>13}{'within 1e-8':>13}{'wrong, no flag':>16}")
    for m in methods:
        r = rows[m]
        if not r["values"]:
            continue
        ev = [e for e in r["evals"] if e == e]
        print(f"{m:<15}{statistics.median(r['us']):>10.1f}{(statistics.median(ev) if ev else float('nan')):>13.0f}"
              f"{100.0 * r['good'] / r['values']:>12.0f}%{r['wrong_unflagged']:>9} of {r['values']}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
