#!/usr/bin/python3
"""Measures the Python package against its targets and prints one table.

1. Overhead per call: orvane.invert on 100 times, wall time of the call minus the
   engine's own time for the run (measured inside the module around Solver::run and
   returned as result.engine_seconds), median over many calls; once with the user's
   (sigma, b) (the engine's time is small) and once with the default search.
   Target: at most 1 ms.
2. The w60 workload (the peers' w60.txt: 8 times, N = 64, a 60 x 60 grid), the shipped
   F(s) = (s + 0.6)^(-9/11) as an expression and as a numpy function, method weeks,
   median of several runs. Target: the numpy function within 3 times the expression.
3. A sweep of 400 parameter sets x 20 times (F(s) = w/((s + a)^2 + w^2), the default
   search) with orvane.distributed.invert_many on LocalClusters of one and of two
   worker processes (one thread each; Dask's workers run the engine on one OpenMP
   thread), against the same sweep run serially on one thread in a process of its own.
   Target: two workers at least 1.6 times faster than one. Dask's per-task overhead is
   shown two ways: the sweep sent to one worker as one task per set, less the serial
   run, per task; and the round trip of 400 empty tasks on two workers, per task.

Step 2 reads w60.txt from the peers' folder, which the repository does not carry; where it is
absent the step is skipped with one line saying so.

Run with the interpreter the module was built for, the package on PYTHONPATH:
  PYTHONPATH=build/python /usr/bin/python3 bench/python_bench.py [--peers ../shared/bench]
      [--sets 400] [--skip-dask]
Exit status 1 when the results of the sweep differ between the serial run and a cluster.
"""
import argparse
import json
import os
import statistics
import subprocess
import sys
import tempfile
import time

import numpy as np

SWEEP_EXPR = "w/((s+a)^2+w^2)"
SWEEP_TIMES = np.linspace(0.5, 10.0, 20)
SHIPPED = "(s+0.6)^(-9/11)"


def sweep_sets(count):
    return [{"a": 0.1 + 0.9 * (k % 20) / 19, "w": 0.5 + 4.5 * (k // 20) / max(1, (count - 1) // 20)}
            for k in range(count)]


def median_seconds(call, repeat):
    times = []
    for _ in range(repeat):
        start = time.perf_counter()
        call()
        times.append(time.perf_counter() - start)
    return statistics.median(times)


def overhead(orvane):
    t = np.linspace(0.1, 10.0, 100)
    rows = []
    for label, options, repeat in (("user's (sigma, b), N = 64", dict(user_sigma=0.0, user_b=1.0), 200),
                                   ("default search", {}, 20)):
        orvane.invert("1/(s+1)", t, method="weeks", **options)  # compiled, solver made
        walls, engines = [], []
        for _ in range(repeat):
            start = time.perf_counter()
            r = orvane.invert("1/(s+1)", t, method="weeks", **options)
            walls.append(time.perf_counter() - start)
            engines.append(r.engine_seconds)
        extra = statistics.median(w - e for w, e in zip(walls, engines))
        rows.append((label, statistics.median(walls), statistics.median(engines), extra))
    return rows


def w60(orvane, peers, repeat):
    args = orvane.read_parameters(os.path.join(peers, "w60.txt"))
    p = -9.0 / 11.0
    numpy_F = lambda s: (s + 0.6) ** p  # noqa: E731  principal branch, as the expression
    orvane.invert(SHIPPED, method="weeks", **args)
    orvane.invert(numpy_F, method="weeks", **args)
    expr = median_seconds(lambda: orvane.invert(SHIPPED, method="weeks", **args), repeat)
    func = median_seconds(lambda: orvane.invert(numpy_F, method="weeks", **args), repeat)
    a = orvane.invert(SHIPPED, method="weeks", **args)
    b = orvane.invert(numpy_F, method="weeks", **args)
    diff = float(np.max(np.abs(a.f - b.f)) / np.max(np.abs(a.f)))
    return expr, func, diff


def serial_sweep(sets):
    """The sweep in this process, one after the other (run with OMP_NUM_THREADS=1)."""
    import orvane.distributed
    orvane.invert(SWEEP_EXPR, SWEEP_TIMES, params=sweep_sets(1)[0], rel_err=1e-10)
    start = time.perf_counter()
    results = orvane.distributed.invert_many(None, SWEEP_EXPR, SWEEP_TIMES, params=sweep_sets(sets), rel_err=1e-10)
    seconds = time.perf_counter() - start
    return seconds, [r.csv_text() for r in results]


def dask_sweep(sets):
    import orvane.distributed
    from distributed import Client, LocalCluster

    env = dict(os.environ, OMP_NUM_THREADS="1")
    done = subprocess.run([sys.executable, os.path.abspath(__file__), "--serial-sweep", str(sets)], env=env,
                          capture_output=True, text=True, check=True)
    serial = json.loads(done.stdout)
    out = {"serial": serial["seconds"]}
    same = True
    params = sweep_sets(sets)
    for workers in (1, 2):
        with LocalCluster(n_workers=workers, threads_per_worker=1, processes=True, dashboard_address=None,
                          silence_logs=40) as cluster, Client(cluster) as client:
            # Every worker imports the package and loads the compiled transform first.
            orvane.distributed.invert_many(client, SWEEP_EXPR, SWEEP_TIMES, params=params[:4 * workers],
                                           batch_size=1, rel_err=1e-10)
            start = time.perf_counter()
            results = orvane.distributed.invert_many(client, SWEEP_EXPR, SWEEP_TIMES, params=params, rel_err=1e-10)
            out[workers] = time.perf_counter() - start
            same = same and [r.csv_text() for r in results] == serial["csv"]
            if workers == 1:
                start = time.perf_counter()
                orvane.distributed.invert_many(client, SWEEP_EXPR, SWEEP_TIMES, params=params, batch_size=1,
                                               rel_err=1e-10)
                out["one set per task"] = time.perf_counter() - start
            else:
                start = time.perf_counter()
                client.gather(client.map(lambda k: k, range(400), pure=False))
                out["empty task"] = (time.perf_counter() - start) / 400
    out["same"] = same
    return out


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--peers", default=os.path.join(os.path.dirname(__file__), "..", "..", "shared", "bench"))
    parser.add_argument("--sets", type=int, default=400)
    parser.add_argument("--repeat", type=int, default=5)
    parser.add_argument("--skip-dask", action="store_true")
    parser.add_argument("--serial-sweep", type=int, default=None, help=argparse.SUPPRESS)
    args = parser.parse_args()

    # Compiled transforms go to a private cache of this run, as in the tests.
    cache = tempfile.mkdtemp(prefix="orvane-bench-cache-")
    os.environ.setdefault("XDG_CACHE_HOME", cache)
    import orvane

    if args.serial_sweep is not None:
        seconds, csv = serial_sweep(args.serial_sweep)
        print(json.dumps({"seconds": seconds, "csv": csv}))
        return 0

    print(f"orvane {orvane.__version__}, {orvane.backend} backend, {os.cpu_count()} CPUs", flush=True)
    print("\nOverhead of orvane.invert per call, 100 times (median wall - engine time)", flush=True)
    print(f"{'case':<30}{'wall ms':>10}{'engine ms':>12}{'overhead ms':>14}{'target':>12}")
    for label, wall, engine, extra in overhead(orvane):
        print(f"{label:<30}{wall * 1e3:>10.3f}{engine * 1e3:>12.3f}{extra * 1e3:>14.3f}"
              f"{'met' if extra <= 1e-3 else 'NOT MET':>12}", flush=True)

    peers = os.path.abspath(args.peers)
    if os.path.isfile(os.path.join(peers, "w60.txt")):
        expr, func, diff = w60(orvane, peers, args.repeat)
        print(f"\nw60 ({SHIPPED}, method weeks), median of {args.repeat} runs", flush=True)
        print(f"{'expression':<30}{expr:>10.3f} s")
        print(f"{'numpy function':<30}{func:>10.3f} s   {func / expr:.2f} x the expression "
              f"({'met' if func <= 3 * expr else 'NOT MET'}: at most 3 x); largest difference {diff:.1e} of max |f|")
    else:
        print(f"\npython_bench: the peers' folder {peers} is absent; the w60 workload is skipped", flush=True)

    status = 0
    if not args.skip_dask:
        print(f"\nSweep of {args.sets} parameter sets x {len(SWEEP_TIMES)} times ({SWEEP_EXPR}, default search)",
              flush=True)
        d = dask_sweep(args.sets)
        print(f"{'serial, one thread':<30}{d['serial']:>10.2f} s")
        print(f"{'Dask, 1 worker':<30}{d[1]:>10.2f} s")
        print(f"{'Dask, 2 workers':<30}{d[2]:>10.2f} s   speed-up {d[1] / d[2]:.2f} "
              f"({'met' if d[1] / d[2] >= 1.6 else 'NOT MET'}: at least 1.6)")
        print(f"{'Dask, 1 worker, 1 set per task':<30}{d['one set per task']:>10.2f} s")
        print(f"Dask per-task overhead: {(d['one set per task'] - d['serial']) / args.sets * 1e3:.2f} ms per task "
              f"(1 worker, {args.sets} one-set tasks against the serial run); "
              f"{d['empty task'] * 1e3:.2f} ms per empty task (2 workers, round trip of 400)")
        print(f"results identical to the serial run: {d['same']}")
        status = 0 if d["same"] else 1
    return status


if __name__ == "__main__":
    sys.exit(main())
