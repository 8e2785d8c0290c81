#!/usr/bin/env python3
"""auto, Talbot and de Hoog against mpmath's Talbot, per value, on the reference
pairs (tests/data/transforms.json): 7 times a call (0.1 ... 20), request 1e-8 (orvane, in process, best
of five calls: build/bench/accuracy_table --speed) against
mpmath.invertlaplace(method="talbot") at 15 digits on the same times (best of
two). Prints a row per pair and the median ratio over the pairs; the target
is auto at least 20 times faster than mpmath per value.

    /usr/bin/python3 bench/auto_vs_mpmath.py [--build build] [--testdata tests/data]
"""
import argparse
import json
import os
import statistics
import subprocess
import sys
import time

import mpmath

REPO = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
NAMES = {name: getattr(mpmath, name) for name in
         ("sqrt", "exp", "log", "sin", "cos", "sinh", "cosh", "atan", "atanh", "erf", "erfc", "erfi",
          "besselj", "besseli", "gamma", "pi", "euler")}


def mpmath_per_value(expr, times):
    mpmath.mp.dps = 15
    F = eval("lambda s: " + expr, dict(NAMES))  # the table's own mpmath expressions
    best = None
    for _ in range(2):
        start = time.perf_counter()
        for t in times:
            mpmath.invertlaplace(F, t, method="talbot")
        took = (time.perf_counter() - start) / len(times)
        best = took if best is None else min(best, took)
    return best


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--build", default=os.path.join(REPO, "build"))
    ap.add_argument("--testdata", default=os.path.join(REPO, "tests", "data"))
    args = ap.parse_args()
    with open(os.path.join(args.testdata, "transforms.json")) as fh:
        pairs = {p["id"]: p for p in json.load(fh)["pairs"]}
    out = subprocess.run([os.path.join(args.build, "bench", "accuracy_table"), "--speed"],
                         check=True, capture_output=True, text=True).stdout
    ratios, talbot_ratios, dehoog_ratios = [], [], []
    print(f"{'pair':<22}{'auto us/val':>12}{'talbot us/val':>14}{'dehoog us/val':>14}{'mpmath us/val':>14}"
          f"{'mpmath/auto':>12}")
    for line in out.splitlines():
        if not line.startswith("speed "):
            continue
        fields = line.split()
        pid, auto_s, talbot_s, dehoog_s = fields[1], float(fields[2]), float(fields[3]), float(fields[4])
        times = [float(x) for x in fields[5:]]
        m_s = mpmath_per_value(pairs[pid]["F_mpmath"], times)
        ratios.append(m_s / auto_s)
        talbot_ratios.append(m_s / talbot_s)
        dehoog_ratios.append(m_s / dehoog_s)
        print(f"{pid:<22}{auto_s * 1e6:>12.1f}{talbot_s * 1e6:>14.1f}{dehoog_s * 1e6:>14.1f}{m_s * 1e6:>14.1f}"
              f"{m_s / auto_s:>12.1f}", flush=True)
    median = statistics.median(ratios)
    print(f"median over {len(ratios)} pairs, mpmath's time per value over orvane's: auto {median:.1f}, "
          f"talbot {statistics.median(talbot_ratios):.1f}, dehoog {statistics.median(dehoog_ratios):.1f} "
          f"(target for auto: 20)")
    print("auto_vs_mpmath: target " + ("met" if median >= 20 else "NOT met"))
    # F's evaluations per value of the same calls (the bill of an expensive F).
    bills = {"auto": [], "talbot": [], "dehoog": []}
    for line in out.splitlines():
        if line.startswith("evaluations "):
            fields = line.split()
            for name, value in zip(("auto", "talbot", "dehoog"), fields[2:5]):
                bills[name].append(float(value))
    if bills["auto"]:
        print("F's evaluations per value, median (largest) over the pairs: " + ", ".join(
            f"{name} {statistics.median(v):.0f} ({max(v):.0f})" for name, v in bills.items()) +
            " (target for auto: 150)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
