"""Sweeps of many inversions over a dask.distributed cluster.

    from dask.distributed import Client
    import orvane.distributed

    client = Client("tcp://scheduler:8786")          # or Client(LocalCluster(...))
    sets = [{"a": a, "w": w} for a in ... for w in ...]
    results = orvane.distributed.invert_many(client, "w/((s+a)^2+w^2)", t, params=sets, rel_err=1e-10)

The tasks (one per parameter set, or per expression) go to the cluster in
batches, eight per worker thread by default, each batch one Dask task that
inverts its tasks one after the other; a batch takes every B-th task, so that
runs of alike tasks spread over all batches. Results come back in input order and
are those of a serial run (the same engine, the same numbers). A task that
fails keeps its exception in its own slot; the others are unaffected. A batch
whose worker is lost is run again elsewhere by Dask.

Every worker needs the package importable (orvane on its PYTHONPATH, built for
its machine); an expression needs no compiler there. Only under
ORVANE_JIT_FORMULA=compile (or on the CUDA backend) is it compiled, the first
time a worker meets it, into the on-disk cache of its machine
($XDG_CACHE_HOME/orvane, default ~/.cache/orvane), where the later tasks and
the other workers of that machine find it.
"""
from __future__ import annotations

import pickle
import uuid
from typing import Any, List, Mapping, Optional, Sequence, Union

from .inversion import InversionResult, Reals, Transform, invert

__all__ = ["invert_many"]

# Batches per worker thread by default: enough for Dask to even out the load
# (an idle worker steals queued batches), few enough that the per-task cost of
# Dask (a few milliseconds) stays small against the inversions.
_BATCHES_PER_THREAD = 8

# The options of orvane.invert a sweep passes on (t, F and params are its own).
_INVERT_OPTIONS = {"rel_err", "sizes", "sigma", "b_max", "resolutions", "method", "user_sigma", "user_b"}


def _portable(error):
    """The exception itself when it can travel back to the client, else a RuntimeError saying what it was."""
    try:
        pickle.loads(pickle.dumps(error))
        return error
    except Exception:
        return RuntimeError(f"{type(error).__name__}: {error}")


def _run_batch(transforms, t, param_sets, options):
    """Runs the tasks of one batch in order; a failed task's slot holds its exception."""
    out = []
    for F, params in zip(transforms, param_sets):
        try:
            out.append(invert(F, t, params=params, **options))
        except Exception as error:  # each task reports its own failure
            out.append(_portable(error))
    return out


def _tasks(F, params):
    """The (transform, parameter set) of every task."""
    several = isinstance(F, (list, tuple))
    if several:
        transforms = list(F)
        if not transforms:
            return [], []
    if params is None or isinstance(params, dict):
        if not several:
            raise ValueError("params: expected a list of parameter sets (dicts) for one transform, "
                             "or a list of transforms")
        return transforms, [params] * len(transforms)
    try:
        param_sets = list(params)
    except TypeError:
        raise ValueError(f"params is {type(params).__name__}; expected a list of dicts") from None
    for k, p in enumerate(param_sets):
        if p is not None and not isinstance(p, dict):
            raise ValueError(f"params[{k}] is {type(p).__name__}; expected a dict of names and values")
    if several and len(transforms) != len(param_sets):
        raise ValueError(f"{len(transforms)} transforms and {len(param_sets)} parameter sets; "
                         "expected as many of each")
    if not several:
        transforms = [F] * len(param_sets)
    for k, f in enumerate(transforms):
        if not (isinstance(f, str) or callable(f)):
            raise ValueError(f"transform {k} is {type(f).__name__}; expected an expression string or a callable")
    return transforms, param_sets


def _worker_threads(client):
    workers = client.scheduler_info().get("workers", {})
    return max(1, sum(int(w.get("nthreads", 1)) for w in workers.values()))


def invert_many(client: Optional[Any], F: Union[Transform, Sequence[Transform]], t: Reals,
                params: Optional[Union[Mapping[str, float], Sequence[Mapping[str, float]]]] = None,
                batch_size: Optional[int] = None, errors: str = "return",
                **options: Any) -> List[Union[InversionResult, BaseException]]:
    """Invert many transforms at the same times, spread over a Dask cluster.

    Parameters
    ----------
    client : dask.distributed.Client or None
        The cluster; None runs the tasks here, one after the other (the serial
        run that the cluster's results equal).
    F : str or callable, or a list of them
        One expression or callable for every parameter set in `params`, or a
        list of them (one task each; `params` then a list as long, or one dict
        for all).
    t : float or array_like
        The times, as for `orvane.invert`.
    params : list of dict, or dict, optional
        The parameter sets (name: value), one task each.
    batch_size : int, optional
        Tasks per Dask task (default: the tasks spread over eight batches per
        worker thread).
    errors : {"return", "raise"}, optional
        "return": a failed task's slot holds its exception; "raise": the first
        failed task's exception is raised once all are back.
    **options
        The other arguments of `orvane.invert` (rel_err, sizes, sigma, b_max,
        resolutions, method, user_sigma, user_b).

    Returns
    -------
    list of InversionResult or Exception
        In input order.

    Notes
    -----
    A script that starts a ``LocalCluster`` must keep its work under
    ``if __name__ == "__main__":``: Dask's worker processes import the script
    again. ``examples/dask_sweep.py`` is a complete one.
    """
    if errors not in ("return", "raise"):
        raise ValueError(f"errors is {errors!r}; expected 'return' or 'raise'")
    unknown = sorted(set(options) - _INVERT_OPTIONS)
    if unknown:
        raise TypeError(f"invert_many() got an unexpected keyword argument {unknown[0]!r}")
    transforms, param_sets = _tasks(F, params)
    count = len(transforms)
    if count == 0:
        return []

    if client is None:
        results = _run_batch(transforms, t, param_sets, options)
    else:
        if batch_size is None:
            batch_size = max(1, -(-count // (_BATCHES_PER_THREAD * _worker_threads(client))))
        elif isinstance(batch_size, bool) or not isinstance(batch_size, int) or batch_size < 1:
            raise ValueError(f"batch_size is {batch_size!r}; expected a positive integer")
        # Batch j holds tasks j, j + B, j + 2B, ... of the B batches: neighbouring tasks
        # (often alike in cost, as in a sweep over a grid of parameters) spread evenly.
        batches = -(-count // batch_size)
        run = uuid.uuid4().hex
        futures = [client.submit(_run_batch, transforms[j::batches], t, param_sets[j::batches], options,
                                 key=f"orvane-invert-many-{run}-{j}", pure=False)
                   for j in range(batches)]
        results = [None] * count
        for j, batch in enumerate(client.gather(futures)):
            results[j::batches] = batch

    if errors == "raise":
        for r in results:
            if isinstance(r, BaseException):
                raise r
    return results
