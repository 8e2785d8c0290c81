"""The picture of an inversion: f(t) with its predicted error band above, the
relative errors on a log scale below. Made on a bare matplotlib Figure (no
pyplot), so it works without a display and leaves pyplot's state alone."""
import math

import numpy as np

__all__ = ["plot_result"]

MET_COLOR = "tab:blue"
UNMET_COLOR = "tab:red"
# Values beyond this are drawn divided by a power of ten: matplotlib's margins and
# ticks overflow near the largest double (1.8e308).
LARGEST_DRAWN = 1e300


def _scale_of(*arrays):
    """1, or the power of ten that brings the finite values of `arrays` below LARGEST_DRAWN."""
    values = np.concatenate([np.abs(a[np.isfinite(a)]) for a in arrays])
    largest = values.max() if values.size else 0.0
    if largest <= LARGEST_DRAWN:
        return 1.0
    return 10.0 ** math.floor(math.log10(largest))


def _exact_values(exact, t):
    """exact(t) for the array t, or point by point when exact takes scalars only."""
    try:
        values = np.asarray(exact(t), dtype=np.complex128)
        if values.shape == t.shape:
            return values
    except Exception:
        pass
    return np.array([complex(exact(float(x))) for x in t], dtype=np.complex128)


def plot_result(result, exact=None, requested=None, title=None, figsize=(7.0, 6.0)):
    """A matplotlib Figure of `result` (an InversionResult):

    above   Re f(t) against t, the band Re f(t) +- the predicted absolute error, unmet
            results (flag 1) marked in red;
    below   the predicted relative error on a log scale, the true relative error
            |f(t) - exact(t)| / |exact(t)| when `exact` (a function of t) is given, the
            requested relative error as a line (`requested`, a number or one per time;
            by default the result's own request where it knows it), unmet results marked.

    Predicted errors that are infinite (no value) are drawn as triangles on the upper
    edge of the lower panel.
    """
    from matplotlib.figure import Figure

    if len(result.t) == 0:
        raise ValueError("the result holds no times; there is nothing to plot")
    t = np.asarray(result.t, dtype=np.float64)
    order = np.argsort(t, kind="stable")
    t = t[order]
    f = np.asarray(result.f)[order].real
    abs_err = np.asarray(result.abs_err, dtype=np.float64)[order]
    rel_err = np.asarray(result.rel_err, dtype=np.float64)[order]
    unmet = np.asarray(result.flag)[order] != 0
    if requested is None:
        requested = getattr(result, "requested", None)
    if requested is not None:
        requested = np.broadcast_to(np.asarray(requested, dtype=np.float64), result.t.shape)[order]

    fig = Figure(figsize=figsize, layout="constrained")
    top, bottom = fig.subplots(2, 1, sharex=True, height_ratios=(3, 2))

    # f(t) and its band, where the band is finite; huge values drawn over a power of ten.
    exact_values = None
    if exact is not None and t.size:
        dense = np.linspace(t.min(), t.max(), 400) if t.size > 1 else t
        exact_values = _exact_values(exact, dense).real
    finite = np.isfinite(f) & np.isfinite(abs_err)
    scale = _scale_of(f, np.where(finite, np.abs(f) + abs_err, np.nan),
                      exact_values if exact_values is not None else np.empty(0))
    f, abs_err = f / scale, abs_err / scale
    finite = np.isfinite(f) & np.isfinite(abs_err)
    top.fill_between(t, np.where(finite, f - abs_err, np.nan), np.where(finite, f + abs_err, np.nan),
                     color=MET_COLOR, alpha=0.25, linewidth=0, label="predicted absolute error")
    top.plot(t, f, "-o", color=MET_COLOR, markersize=3, linewidth=1.2, label="Re f(t)")
    if unmet.any():
        top.plot(t[unmet], f[unmet], "x", color=UNMET_COLOR, markersize=8, mew=2,
                 label="request not met")
    if exact_values is not None:
        top.plot(dense, exact_values / scale, ":", color="black", linewidth=1, label="exact")
    top.set_ylabel("f(t)" if scale == 1.0 else f"f(t) / {scale:.0e}")
    top.legend(loc="best", fontsize="small")
    top.grid(True, alpha=0.3)
    if title:
        top.set_title(title)

    # Relative errors. Zeros (an exact hit) sit on the floor of the axis.
    shown = [v[np.isfinite(v) & (v > 0)] for v in (rel_err,)]
    true_rel = None
    if exact is not None:
        e = _exact_values(exact, t)
        with np.errstate(divide="ignore", invalid="ignore"):
            true_rel = np.abs(np.asarray(result.f)[order] - e) / np.abs(e)
        shown.append(true_rel[np.isfinite(true_rel) & (true_rel > 0)])
    if requested is not None:
        shown.append(requested[np.isfinite(requested) & (requested > 0)])
    values = np.concatenate(shown) if shown else np.empty(0)
    # A decade of room either side, within what a log axis can draw.
    low = max(values.min() / 10, 1e-300) if values.size else 1e-16
    high = min(values.max() * 10, LARGEST_DRAWN) if values.size else 1.0
    high = max(high, low * 10)
    bottom.set_yscale("log")
    bottom.set_ylim(low, high)

    finite_rel = np.isfinite(rel_err)
    bottom.plot(t[finite_rel], np.maximum(rel_err[finite_rel], low), "-o", color=MET_COLOR, markersize=3,
                linewidth=1.2, label="predicted relative error")
    if (~finite_rel).any():
        bottom.plot(t[~finite_rel], np.full((~finite_rel).sum(), high), "^", color=UNMET_COLOR,
                    markersize=7, clip_on=False, label="no value (inf)")
    marked = unmet & finite_rel
    if marked.any():
        bottom.plot(t[marked], np.maximum(rel_err[marked], low), "x", color=UNMET_COLOR, markersize=8, mew=2,
                    label="request not met")
    if true_rel is not None:
        ok = np.isfinite(true_rel)
        bottom.plot(t[ok], np.maximum(true_rel[ok], low), "s--", color="black", markersize=3, linewidth=0.8,
                    fillstyle="none", label="true relative error")
    if requested is not None:
        if np.all(requested == requested[0]):
            bottom.axhline(requested[0], color="tab:green", linewidth=1.2, label="requested")
        else:
            bottom.step(t, requested, where="mid", color="tab:green", linewidth=1.2, label="requested")
    bottom.set_xlabel("t")
    bottom.set_ylabel("relative error")
    bottom.legend(loc="best", fontsize="small")
    bottom.grid(True, which="major", alpha=0.3)
    return fig
