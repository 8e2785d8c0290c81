"""orvane.invert: the command line's numbers and csv for the same inputs,
Python transforms against expressions, the result object, threads, and the
errors of bad input."""
import math
import threading

import numpy as np
import pytest

import orvane

T = [0.25, 1.0, 2.5, 7.0]


# ---- the same inputs give the command line's bytes ------------------------------------

CASES = {
    "search, two tolerances": dict(expr="1/(s+a)^2", params={"a": 0.5}, t=T, rel_err=1e-10),
    "two sizes, one tolerance": dict(expr="w/((s+d)^2+w^2)", params={"d": 0.25, "w": 3.0}, t=T,
                                     rel_err=[1e-6, 1e-8, 1e-10, 1e-12], sizes=(32, 64),
                                     resolutions=((0.5, 0.5),), sigma=(0.0, 10.0), b_max=12.0),
    "the user's pair": dict(expr="1/(s+a)^2", params={"a": 0.5}, t=T, rel_err=1e-9, sizes=(32, 128),
                            user_sigma=0.5, user_b=2.0),
    "unmet requests": dict(expr="(s+0.6)^(-9/11)", t=[0.5, 3.0], rel_err=1e-15, sizes=(16,)),
}


@pytest.mark.parametrize("case", sorted(CASES))
def test_results_and_csv_equal_the_command_line(case, run_program, tmp_path):
    c = dict(CASES[case])
    expr, params, t = c.pop("expr"), c.pop("params", None), c.pop("t")
    code, stdout, stderr = run_program(expr, t, params=params, **c)
    assert code == 0, stderr
    result = orvane.invert(expr, t, params=params, method="weeks", **c)
    assert result.csv_text() == stdout
    path = tmp_path / "python.csv"
    result.to_csv(path)
    assert path.read_bytes() == stdout.encode()
    # The csv read back is the result, number for number.
    back = orvane.read_csv(path)
    for name in ("t", "f", "sigma", "b", "abs_err", "rel_err", "flag", "N", "method"):
        np.testing.assert_array_equal(getattr(back, name), getattr(result, name), err_msg=name)


@pytest.mark.parametrize("method", ["talbot", "dehoog", "auto"])
def test_every_method_gives_the_command_lines_bytes(method, run_program):
    # A branch point near the origin at a request of 1e-10.
    c = dict(t=T, rel_err=1e-10, sizes=(64,))
    code, stdout, stderr = run_program("(s+0.6)^(-9/11)", method=method, **c)
    assert code == 0, stderr
    result = orvane.invert("(s+0.6)^(-9/11)", method=method, **c)
    assert result.csv_text() == stdout
    assert set(result.method) & {"talbot", "dehoog"}
    exact = [t ** (-2 / 11) * math.exp(-0.6 * t) / math.gamma(9 / 11) for t in T]
    np.testing.assert_allclose(result.f.real, exact, rtol=1e-10)
    # Every value is vouched for by another method (Talbot's by de Hoog's), to
    # that method's precision at most: most times meet the request.
    assert (result.flag == 0).sum() >= len(T) - 1


def test_non_finite_predictions_are_spelled_as_the_command_line_does(run_program):
    # A pole right of the search range: the prediction is inf and the flag 1.
    code, stdout, stderr = run_program("1/(s-40)", [1.0], rel_err=1e-8, sizes=(16,))
    assert code == 0, stderr
    result = orvane.invert("1/(s-40)", 1.0, rel_err=1e-8, sizes=(16,), method="weeks")
    assert result.csv_text() == stdout
    assert ",inf," in stdout and result.flag == 1  # a scalar time: scalars


# ---- Python transforms -----------------------------------------------------------------

def test_a_numpy_transform_agrees_with_its_expression():
    expected = orvane.invert("w/((s+d)^2+w^2)", T, params={"d": 0.25, "w": 3.0}, rel_err=1e-10, method="weeks")
    plain = orvane.invert(lambda s: 3.0 / ((s + 0.25) ** 2 + 9.0), T, rel_err=1e-10, method="weeks")
    keyed = orvane.invert(lambda s, d, w: w / ((s + d) ** 2 + w ** 2), T, params={"d": 0.25, "w": 3.0},
                          rel_err=1e-10, method="weeks")
    scale = np.max(np.abs(expected.f))
    for got in (plain, keyed):
        assert np.max(np.abs(got.f - expected.f)) <= 1e-12 * scale
        np.testing.assert_array_equal(got.flag, expected.flag)
        np.testing.assert_array_equal(got.N, expected.N)
    exact = np.exp(-0.25 * np.array(T)) * np.sin(3.0 * np.array(T))
    assert np.max(np.abs(plain.f.real - exact)) < 1e-9


def test_a_transform_is_called_with_whole_batches():
    calls = []

    def F(s):
        calls.append(s.size)
        assert s.dtype == np.complex128 and s.ndim == 1
        return 1.0 / (s + 1.0)

    result = orvane.invert(F, T, rel_err=1e-10, method="weeks")
    assert np.all(result.flag == 0)
    # Two tolerances: at most a grid per tolerance, plus the inversions of the times.
    assert len(calls) <= 2 + 4 * len(T)
    assert max(calls) >= 30 * 30 * 4 * 64


def test_a_transform_may_return_reals_and_non_finite_values():
    # F = 1/s^2 as a real-valued guess is wrong, but must run; nan and inf are the engine's to handle.
    reals = orvane.invert(lambda s: np.ones(s.shape), [1.0], sizes=(16,), method="weeks")
    assert reals.f.shape == (1,)
    with np.errstate(all="ignore"):
        poles = orvane.invert(lambda s: np.where(abs(s) < 1e300, np.nan, 0), [1.0], sizes=(16,), method="weeks")
    assert poles.flag[0] == 1


@pytest.mark.parametrize("F, message", [
    (lambda s: s[:3], r"F returned an array of shape \(3,\) for \d+ points"),
    (lambda s: "text", "F returned values of dtype <U4"),
    (lambda s: [object()] * s.size, "F returned values of dtype object"),
])
def test_a_transform_that_returns_the_wrong_thing_is_named(F, message):
    with pytest.raises(ValueError, match=message):
        orvane.invert(F, [1.0], method="weeks")


def test_the_exception_of_a_transform_is_raised_again_as_it_was():
    class Broken(Exception):
        pass

    def F(s):
        raise Broken("no value at these points")

    with pytest.raises(Broken, match="no value at these points"):
        orvane.invert(F, T, method="weeks")
    # The engine and its solvers are fine afterwards.
    assert orvane.invert("1/(s+1)", [1.0], method="weeks").flag[0] == 0


# ---- the result object ---------------------------------------------------------------

def test_result_arrays_and_dict():
    r = orvane.invert("1/(s+1)", [2.0], rel_err=1e-10)
    assert len(r) == 1 and r.t.shape == (1,)
    assert r.f.dtype == np.complex128 and r.flag.dtype.kind == "i" and r.N.dtype.kind == "i"
    assert abs(r.f[0] - math.exp(-2.0)) < 1e-10
    assert r.method[0] in ("weeks", "talbot", "dehoog")
    assert list(r.to_dict()) == ["t", "f", "sigma", "b", "abs_err", "rel_err", "flag", "N", "method", "met",
                                 "requested", "reason"]
    assert r.requested.tolist() == [1e-10] and r.met.all()
    empty = orvane.invert("1/(s+1)", [])
    assert len(empty) == 0 and empty.csv_text() == "t,re,im,sigma,b,abs_err,rel_err,flag,N,method\n"


def test_threads_run_side_by_side_and_match_a_serial_run():
    jobs = [("1/(s+a)^2", {"a": a}) for a in (0.25, 0.5, 1.0, 2.0)] + [(lambda s: 1 / (s + 3.0), None)]
    serial = [orvane.invert(F, T, params=p, rel_err=1e-10, method="weeks") for F, p in jobs]
    parallel = [None] * len(jobs)
    failures = []

    def work(k):
        try:
            parallel[k] = orvane.invert(jobs[k][0], T, params=jobs[k][1], rel_err=1e-10, method="weeks")
        except Exception as error:  # reported below
            failures.append(error)

    threads = [threading.Thread(target=work, args=(k,)) for k in range(len(jobs))]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join(timeout=120)
    assert not failures and not any(thread.is_alive() for thread in threads)
    for a, b in zip(serial, parallel):
        assert a.csv_text() == b.csv_text()


# ---- bad input -----------------------------------------------------------------------------

def test_a_bad_expression_gives_the_command_lines_message(run_program):
    for expr in ("1/(s+a", "exp(s,", "1/(s+b)"):
        code, _, stderr = run_program(expr, [1.0], params={"a": 1.0}, rel_err=1e-8)
        assert code == 1
        with pytest.raises(ValueError) as raised:
            orvane.invert(expr, [1.0], params={"a": 1.0}, method="weeks")
        assert str(raised.value) == stderr.strip()
        assert raised.value.kind == "parameters"


@pytest.mark.parametrize("arguments, message", [
    (dict(t=[1.0, -2.0]), r"^parameters: t\[1\] is -2; expected"),
    (dict(t=[[1.0], [1.0, 2.0]]), r"t is not a number or an array of numbers"),
    (dict(t=[1j]), "t has values of type complex; expected real numbers"),
    (dict(t="1.0"), "t is '1.0'; expected a real number"),
    (dict(rel_err=[1e-8, 1e-8]), "rel_err has 2 values for 3 times"),
    (dict(rel_err=float("nan")), r"^parameters: rel_err is nan; expected"),
    (dict(rel_err=[1e-8, float("inf"), 1e-8]), r"^parameters: rel_err\[1\] is inf; expected"),
    (dict(sizes=(64, 0)), r"^parameters: sizes\[1\] is 0; expected"),
    (dict(sizes=(64.0,)), r"sizes\[0\] is 64.0; expected a positive integer"),
    (dict(sizes=()), "sizes is empty"),
    (dict(sigma=(30, 0)), r"^sigma is \(30, 0\); expected a \(lower, upper\) search range with lower below upper"),
    (dict(t=np.array([1, 2], dtype="timedelta64[s]")), r"t has values of type timedelta64\[s\]; expected real"),
    (dict(progress="yes"), "progress is 'yes'; expected a function of"),
    (dict(max_grid_points=0), "max_grid_points is 0; expected a positive integer"),
    (dict(sizes=2**22), r"^parameters: sizes\[0\] is 4194304; expected an integer from 1 to 512"),
    (dict(rel_err=0.0), r"^parameters: rel_err is 0; expected a positive"),
    (dict(sigma=3.0), r"sigma is 3.0; expected a \(lower, upper\) search range"),
    (dict(resolutions=((0.0, 0.5),)), r"^parameters: resolutions\[0\]\[0\] is 0; expected"),
    (dict(resolutions=((0.5,),)), r"resolutions\[0\] is \(0.5,\); expected a \(sigma step, b step\) pair"),
    (dict(b_max=float("inf")), r"^parameters: b_max is inf; expected"),
    (dict(user_sigma=0.5), "user_sigma and user_b go together"),
    (dict(user_sigma=0.5, user_b=-1.0), r"^parameters: user_b\[0\] is -1; expected"),
    (dict(method="fastest"), "method is 'fastest'; expected weeks, talbot, dehoog or auto"),
    (dict(params={"s": 1.0}), "parameter name 's' is reserved"),
    (dict(params={"a": float("nan")}), r"params\['a'\] is nan; expected a finite real number"),
    (dict(F=42), "F is int; expected an expression string or a callable"),
])
def test_bad_input_raises_value_error_naming_it(arguments, message):
    call = dict(F="1/(s+1)", t=[0.5, 1.0, 2.0])
    call.update(arguments)
    with pytest.raises(ValueError, match=message):
        orvane.invert(call.pop("F"), call.pop("t"), **call)


def test_a_grid_beyond_the_machine_is_refused_before_any_work():
    with pytest.raises(ValueError) as raised:
        orvane.invert("1/(s+1)", [1.0], resolutions=((1e-9, 1e-9),), sizes=(64,), method="weeks")
    assert raised.value.kind in ("resources", "parameters")
    # The bound is the caller's: a grid of 60 x 60 points passes 3600 and not 3599.
    fine = dict(sigma=(0.0, 3.0), b_max=3.0, resolutions=((0.05, 0.05),), sizes=(16,), method="weeks")
    with pytest.raises(ValueError, match=r"^parameters: resolutions\[0\] is .*; expected a grid of at most "
                                         r"max_grid_points = 3599 points"):
        orvane.invert("1/(s+1)", [1.0], max_grid_points=3599, **fine)
    assert orvane.invert("1/(s+1)", [1.0], max_grid_points=3600, **fine).met.all()


# ---- parameter files -------------------------------------------------------------------

def test_a_parameter_file_runs_as_on_the_command_line(program, tmp_path):
    import subprocess
    from conftest import parameter_text
    path = tmp_path / "user.txt"
    path.write_text(parameter_text([0.5, 2.0], [1e-8, 1e-10], sizes=(32, 64), user_sigma=0.25, user_b=1.5))
    done = subprocess.run([program, str(path), "--expr", "1/(s+1)^3", "--method", "weeks", "--format", "csv",
                           "--quiet"], capture_output=True, text=True, stdin=subprocess.DEVNULL, timeout=120)
    assert done.returncode == 0, done.stderr
    args = orvane.read_parameters(path)
    assert args["user_b"].tolist() == [1.5, 1.5]
    assert orvane.invert("1/(s+1)^3", method="weeks", **args).csv_text() == done.stdout

    path.write_text(parameter_text([0.5], [1e-8]).replace("\n64\n", "\nabc\n"))
    done = subprocess.run([program, str(path), "--expr", "1/s", "--format", "csv", "--quiet"],
                          capture_output=True, text=True, stdin=subprocess.DEVNULL, timeout=120)
    with pytest.raises(ValueError) as raised:
        orvane.read_parameters(path)
    assert done.returncode == 1 and str(raised.value) == done.stderr.strip()
    with pytest.raises(ValueError, match="Unable to open the input parameters file!"):
        orvane.read_parameters(tmp_path / "missing.txt")


def test_methods_and_refusals_come_from_the_engine():
    assert orvane.inversion.METHODS == ("weeks", "talbot", "dehoog", "auto")
    with pytest.raises(ValueError) as raised:
        orvane.invert("1/(s+1)", [1.0], sizes=(64, 0))
    assert raised.value.refusal == {"field": "sizes", "index": 1, "length": False, "found": "0",
                                    "expected": "an integer of at least 1"}


def test_default_sizes_follow_the_request_and_given_sizes_are_kept():
    t = np.linspace(0.1, 20, 60)
    F = "1/((s+1)^8*(s^2+0.2*s+25))"
    assert orvane.invert(F, t).met.all()
    # At 1e-10 de Hoog leaves times to the Weeks search, which goes on to
    # larger sizes by default, and only there.
    r = orvane.invert(F, t, rel_err=1e-10)
    assert set(r.N[r.method == "weeks"]) <= {64, 128, 256}
    assert 256 in set(r.N[r.method == "weeks"])
    given = orvane.invert(F, t, sizes=(64,), rel_err=1e-10)
    assert set(given.N[given.method == "weeks"]) <= {64}
    assert given.met.sum() < r.met.sum()
