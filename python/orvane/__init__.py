"""Orvane: the numerical inverse Laplace transform f(t) of F(s).

    import orvane
    r = orvane.invert("1/(s+a)^2", [0.5, 1, 2], params={"a": 0.5}, rel_err=1e-10)
    r.f, r.rel_err, r.flag            # f(t), its predicted relative error, 0 where met
    orvane.plot(r).savefig("f.png")

F is an expression in s (evaluated without a C++ compiler, with the compiled
formula's numbers) or a Python function of a complex numpy array of points. Sweeps over many parameter sets
spread over a Dask cluster with orvane.distributed.invert_many.
"""
import os
from typing import Any, Callable, Optional

# The engine's OpenMP threads sleep as soon as a loop ends unless the user chose
# otherwise: spinning ones take a busy machine's cores from everything else (a
# 7-time call took 112 ms with two threads against 8 ms with one). The runtime
# reads the setting once, as it is loaded, which is the import below (unless
# another module loaded it first).
if "OMP_WAIT_POLICY" not in os.environ and "GOMP_SPINCOUNT" not in os.environ:
    os.environ["OMP_WAIT_POLICY"] = "passive"
# Likewise the team's size follows the machine's load where no thread count was chosen.
if "OMP_DYNAMIC" not in os.environ and "OMP_NUM_THREADS" not in os.environ:
    os.environ["OMP_DYNAMIC"] = "true"

from ._orvane import __version__, backend  # noqa: E402
from .errors import EngineError, InputError, OrvaneError
from .inversion import InversionResult, Row, invert, read_csv, read_parameters

__all__ = ["invert", "InversionResult", "Row", "read_csv", "read_parameters", "plot", "distributed",
           "OrvaneError", "InputError", "EngineError", "__version__", "backend"]


def plot(result: InversionResult, exact: Optional[Callable[[Any], Any]] = None, **options: Any) -> Any:
    """Draw an inversion's f(t) and its errors.

    Parameters
    ----------
    result : InversionResult
        What `invert` (or `read_csv`) returned; times of any shape are drawn in
        the order of ``np.ravel(t)``.
    exact : callable, optional
        The true f as a function of a numpy array of times; its relative error
        is drawn too.
    **options
        Passed to `orvane.plotting.plot_result`.

    Returns
    -------
    matplotlib.figure.Figure
        Above, Re f(t) with the predicted absolute error as a band; below, on a
        log scale, the predicted relative error (and the true one), the
        requested error as a line, and a cross where it was not met. Made
        without pyplot, so it works without a display.
    """
    from .plotting import plot_result
    return plot_result(result.ravel(), exact=exact, **options)


def __getattr__(name):
    # orvane.distributed without importing Dask at `import orvane`.
    if name == "distributed":
        import importlib
        return importlib.import_module(".distributed", __name__)
    raise AttributeError(f"module 'orvane' has no attribute {name!r}")
