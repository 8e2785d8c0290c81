"""A parameter sweep on the Dask workers of this machine: f(t) of
F(s) = w/((s+a)^2+w^2) for 20 x 20 values of (a, w) at 30 times.

    python3 examples/dask_sweep.py [WORKERS [GRID]]

WORKERS worker processes (default 2), GRID values of a and of w (default 20).

Dask starts its worker processes by running this file again, so everything
that starts work stays under the `if __name__ == "__main__":` guard.
"""
import sys

import numpy as np
from dask.distributed import Client, LocalCluster

import orvane.distributed


def sweep(client, grid=20):
    t = np.linspace(0.5, 10, 30)
    sets = [{"a": a, "w": w} for a in np.linspace(0.1, 1, grid) for w in np.linspace(0.5, 5, grid)]
    results = orvane.distributed.invert_many(client, "w/((s+a)^2+w^2)", t, params=sets, rel_err=1e-8,
                                             sizes=(64, 128))
    failed = [k for k, r in enumerate(results) if isinstance(r, Exception)]
    met = sum(int(r.met.sum()) for r in results if not isinstance(r, Exception))
    return sets, results, failed, met


def main(argv):
    workers = int(argv[1]) if len(argv) > 1 else 2
    grid = int(argv[2]) if len(argv) > 2 else 20
    # One engine thread per worker: give a machine as many workers as cores.
    with LocalCluster(n_workers=workers, threads_per_worker=1, dashboard_address=None) as cluster, \
            Client(cluster) as client:
        sets, results, failed, met = sweep(client, grid)
    times = sum(len(r) for r in results if not isinstance(r, Exception))
    print(f"{len(sets)} parameter sets, {len(failed)} failed, {met} of {times} times met their request")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
