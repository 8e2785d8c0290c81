"""orvane.distributed.invert_many on a LocalCluster of two worker processes:
the serial run's results, in input order, with failures in their own slots."""
import numpy as np
import pytest

import orvane
import orvane.distributed

distributed = pytest.importorskip("distributed")

T = [0.5, 1.0, 2.0]
OPTIONS = dict(rel_err=1e-10, sizes=(32,), resolutions=((1.0, 1.0),), sigma=(0.0, 10.0), b_max=10.0, method="weeks")


@pytest.fixture(scope="module")
def client():
    cluster = distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                                       dashboard_address=None, silence_logs=40)
    with distributed.Client(cluster) as c:
        yield c
    cluster.close()


def _same(a, b):
    assert isinstance(a, orvane.InversionResult) and isinstance(b, orvane.InversionResult)
    assert a.csv_text() == b.csv_text()


def test_a_sweep_on_the_cluster_equals_the_serial_run(client):
    sets = [{"a": 0.25 * k, "w": 1.0 + k % 3} for k in range(1, 13)]
    expr = "w/((s+a)^2+w^2)"
    serial = orvane.distributed.invert_many(None, expr, T, params=sets, **OPTIONS)
    spread = orvane.distributed.invert_many(client, expr, T, params=sets, batch_size=2, **OPTIONS)
    assert len(spread) == len(sets)
    for a, b in zip(serial, spread):
        _same(a, b)
    # Both workers took part.
    assert len(client.run(lambda: 1)) == 2
    # In input order: each slot is its own parameter set's inversion.
    for p, r in zip(sets, spread):
        exact = np.exp(-p["a"] * np.array(T)) * np.sin(p["w"] * np.array(T))
        assert np.max(np.abs(r.f.real - exact)) < 1e-8


def test_failures_stay_in_their_slots(client):
    transforms = ["1/(s+1)", "1/(s+", lambda s: 1 / (s + 2.0), "exp(-s)/(s+q)"]
    params = [None, None, None, {"q": -1.0}]
    out = orvane.distributed.invert_many(client, transforms, T, params=params, **OPTIONS)
    assert isinstance(out[0], orvane.InversionResult)
    assert isinstance(out[1], ValueError) and "expression, column" in str(out[1])
    _same(out[2], orvane.invert(transforms[2], T, **OPTIONS))
    assert isinstance(out[3], orvane.InversionResult)
    with pytest.raises(ValueError, match="expression, column"):
        orvane.distributed.invert_many(client, transforms, T, params=params, errors="raise", **OPTIONS)


def test_structural_mistakes_are_refused_before_anything_runs():
    with pytest.raises(ValueError, match="2 transforms and 3 parameter sets"):
        orvane.distributed.invert_many(None, ["1/s", "1/s^2"], T, params=[{}, {}, {}])
    with pytest.raises(ValueError, match="expected a list of parameter sets"):
        orvane.distributed.invert_many(None, "1/(s+a)", T, params={"a": 1.0})
    with pytest.raises(ValueError, match=r"params\[1\] is int"):
        orvane.distributed.invert_many(None, "1/(s+a)", T, params=[{"a": 1.0}, 3])
    with pytest.raises(TypeError, match="unexpected keyword argument 'rel_error'"):
        orvane.distributed.invert_many(None, "1/(s+a)", T, params=[{"a": 1.0}], rel_error=1e-8)
    assert orvane.distributed.invert_many(None, "1/(s+a)", T, params=[]) == []


def test_a_batch_whose_worker_dies_is_run_again(client, tmp_path):
    marker = tmp_path / "died-once"

    def F(s):
        if not marker.exists():  # the first call ends its worker process
            marker.write_text("")
            import os
            os._exit(1)
        return 1 / (s + 1.0)

    out = orvane.distributed.invert_many(client, [F, "1/(s+1)"], T, batch_size=1, **OPTIONS)
    assert marker.exists()
    _same(out[0], orvane.invert(F, T, **OPTIONS))
    _same(out[1], orvane.invert("1/(s+1)", T, **OPTIONS))
