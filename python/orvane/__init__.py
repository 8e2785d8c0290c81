"""Orvane: the numerical inverse Laplace transform f(t) of F(s).

    import orvane
    r = orvane.invert("1/(s+a)^2", [0.5, 1, 2], params={"a": 0.5}, rel_err=1e-10)
    r.f, r.rel_err, r.flag            # f(t), its predicted relative error, 0 where met
    orvane.plot(r).savefig("f.png")

F is an expression in s (compiled at run time, cached in $XDG_CACHE_HOME/orvane) or a
Python function of a complex numpy array of points. Sweeps over many parameter sets
spread over a Dask cluster with orvane.distributed.invert_many.
"""
from ._orvane import __version__, backend
from .inversion import InversionResult, invert, read_csv, read_parameters

__all__ = ["invert", "InversionResult", "read_csv", "read_parameters", "plot", "distributed", "__version__", "backend"]


def plot(result, exact=None, **options):
    """A matplotlib Figure of an InversionResult: f(t) (real part) with the predicted
    absolute error as a band, and below it the predicted relative error (and the true one
    when `exact`, a function of t, is given) on a log scale, the requested error as a line
    and unmet results marked. See orvane.plotting.plot_result for the options."""
    from .plotting import plot_result
    return plot_result(result, exact=exact, **options)


def __getattr__(name):
    # orvane.distributed without importing Dask at `import orvane`.
    if name == "distributed":
        import importlib
        return importlib.import_module(".distributed", __name__)
    raise AttributeError(f"module 'orvane' has no attribute {name!r}")
