"""orvane.plot and python3 -m orvane plot: pictures that render, with the
panels, lines and marks the results call for."""
import math
import subprocess
import sys

import numpy as np
import pytest

import orvane

PNG = b"\x89PNG\r\n\x1a\n"


@pytest.fixture(scope="module")
def mixed():
    # Two sizes too small for the request at late times: some met, some not.
    return orvane.invert("1/(s+1)^2", np.linspace(0.1, 12.0, 15), rel_err=1e-12, sizes=(16,), method="weeks")


def test_plot_has_the_value_and_error_panels_and_renders(mixed, tmp_path):
    assert mixed.flag.any() and not mixed.flag.all()
    exact = lambda t: t * np.exp(-t)  # noqa: E731
    fig = orvane.plot(mixed, exact=exact)
    top, bottom = fig.axes
    assert bottom.get_yscale() == "log" and top.get_yscale() == "linear"
    labels = [line.get_label() for line in bottom.get_lines()]
    for label in ("predicted relative error", "true relative error", "requested", "request not met"):
        assert label in labels
    requested = [line for line in bottom.get_lines() if line.get_label() == "requested"][0]
    assert requested.get_ydata()[0] == pytest.approx(1e-12)
    unmet = [line for line in top.get_lines() if line.get_label() == "request not met"][0]
    assert len(unmet.get_xdata()) == int(mixed.flag.sum())
    path = tmp_path / "f.png"
    fig.savefig(path)
    assert path.read_bytes().startswith(PNG)


def test_plot_copes_with_infinite_predictions_and_scalar_exact_functions(tmp_path):
    result = orvane.invert("1/(s-40)", [0.5, 1.0], sizes=(16,), method="weeks")
    assert np.isinf(result.rel_err).all()
    fig = orvane.plot(result, exact=lambda t: math.exp(40 * t))
    assert "no value (inf)" in [line.get_label() for line in fig.axes[1].get_lines()]
    fig.savefig(tmp_path / "inf.svg")
    assert (tmp_path / "inf.svg").read_text().lstrip().startswith("<?xml")


def test_command_line_plot_of_a_csv(mixed, tmp_path):
    csv = tmp_path / "results.csv"
    mixed.to_csv(csv)
    out = tmp_path / "f.png"
    done = subprocess.run([sys.executable, "-m", "orvane", "plot", str(csv), "-o", str(out), "--rel-err", "1e-12"],
                          capture_output=True, text=True, timeout=120)
    assert done.returncode == 0, done.stderr
    assert out.read_bytes().startswith(PNG)

    bad = tmp_path / "bad.csv"
    bad.write_text("t,re\n1,2\n")
    done = subprocess.run([sys.executable, "-m", "orvane", "plot", str(bad), "-o", str(out)],
                          capture_output=True, text=True, timeout=120)
    assert done.returncode == 1 and "line 1: expected the header" in done.stderr
    done = subprocess.run([sys.executable, "-m", "orvane", "plot", str(csv)], capture_output=True, text=True,
                          timeout=120)
    assert done.returncode == 2 and "-o" in done.stderr


@pytest.mark.parametrize("expr", ["1e308/s", "1e-300/s"])
def test_plot_draws_values_near_the_ends_of_a_double(expr, tmp_path):
    # matplotlib's margins and ticks overflow near 1.8e308: such values are drawn over a power of ten.
    result = orvane.invert(expr, [0.5, 1.0, 2.0])
    fig = orvane.plot(result, exact=lambda t: float(expr.split("/")[0]) + 0 * t)
    fig.savefig(tmp_path / "f.png")
    assert (tmp_path / "f.png").read_bytes().startswith(PNG)
    assert fig.axes[0].get_ylabel() == ("f(t) / 1e+308" if expr.startswith("1e308") else "f(t)")
