"""What a SciPy user relies on: the shape of t carried to the results, the
exceptions' classes, the typing marker."""
import math
import os

import numpy as np
import pytest

import orvane


def test_scalar_t_gives_scalars_and_arrays_keep_their_shape():
    r = orvane.invert("1/(s+1)", 2.0, rel_err=1e-10)
    for name in ("t", "f", "sigma", "b", "abs_err", "rel_err", "flag", "N", "method", "requested"):
        assert np.ndim(getattr(r, name)) == 0, name
    assert abs(complex(r.f) - math.exp(-2.0)) < 1e-10 and bool(r.met) and len(r) == 1
    assert r.csv_text().count("\n") == 2  # the header and one line

    t = np.array([[0.5, 1.0, 1.5], [2.0, 2.5, 3.0]])
    grid = orvane.invert("1/(s+1)", t, rel_err=1e-10)
    assert grid.f.shape == grid.met.shape == grid.method.shape == (2, 3)
    assert np.allclose(grid.f.real, np.exp(-t), rtol=1e-9, atol=0)
    # The flat result is the one of the flat times, in ravel's order.
    assert grid.ravel().csv_text() == orvane.invert("1/(s+1)", t.ravel(), rel_err=1e-10).csv_text()


@pytest.mark.parametrize("call, kind", [
    (lambda: orvane.invert("1/(s+1", [1.0]), None),                 # the expression's parser
    (lambda: orvane.invert("1/(s+1)", [-1.0]), "parameters"),       # the engine's refusal
    (lambda: orvane.invert("1/(s+1)", [1.0], sizes=()), None),      # a check in Python
    (lambda: orvane.read_parameters("no/such/UserParameters.txt"), "parameter file"),
])
def test_bad_input_is_an_orvane_error_and_a_value_error(call, kind):
    with pytest.raises(orvane.OrvaneError) as raised:
        call()
    assert isinstance(raised.value, ValueError) and isinstance(raised.value, orvane.InputError)
    assert not isinstance(raised.value, RuntimeError)
    if kind is not None:
        assert raised.value.kind == kind


def test_an_exception_of_a_python_transform_is_not_rewrapped():
    class Broken(Exception):
        pass

    def F(s):
        raise Broken("no value")

    with pytest.raises(Broken):
        orvane.invert(F, [1.0], method="weeks")


def test_engine_errors_are_runtime_errors():
    assert issubclass(orvane.EngineError, RuntimeError) and issubclass(orvane.EngineError, orvane.OrvaneError)
    assert not issubclass(orvane.EngineError, ValueError)


def test_the_package_is_typed():
    assert os.path.exists(os.path.join(os.path.dirname(orvane.__file__), "py.typed"))
