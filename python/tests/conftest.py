"""Shared fixtures: a private cache of compiled transforms for the whole run
(so that the suite neither reads nor fills the user's), the command line
program of the same build, and a parameter file writer for it."""
import os
import subprocess
import tempfile

import pytest

# Set before the first compilation, and inherited by Dask's worker processes
# and the command line program the tests start.
_cache = tempfile.mkdtemp(prefix="orvane-pytest-cache-")
os.environ["XDG_CACHE_HOME"] = _cache

import orvane  # noqa: E402

BUILD = os.environ.get("ORVANE_BUILD_DIR") or os.path.dirname(
    os.path.dirname(os.path.dirname(os.path.abspath(orvane.__file__))))
PROGRAM = os.path.join(BUILD, "orvane")


def pytest_sessionfinish(session, exitstatus):
    import shutil
    shutil.rmtree(_cache, ignore_errors=True)


@pytest.fixture(scope="session")
def program():
    if not os.access(PROGRAM, os.X_OK):
        pytest.fail(f"the command line program {PROGRAM} is not built")
    return PROGRAM


def _numbers(values):
    return " ".join(repr(float(v)) if isinstance(v, float) else str(v) for v in values)


def parameter_text(t, rel_err, sizes=(64,), sigma=(0.0, 30.0), b_max=30.0, resolutions=((1.0, 1.0), (0.5, 0.5)),
                   user_sigma=None, user_b=None):
    """The parameter file of the same inputs as orvane.invert's arguments."""
    search = user_sigma is None
    n = len(t)
    rel = [float(rel_err)] * n if isinstance(rel_err, float) else [float(r) for r in rel_err]
    su = [0.0] * n if search else [float(user_sigma)] * n
    bu = [1.0] * n if search else [float(user_b)] * n
    lines = ["# parameters", "#", "#", "#", "#", "# times", str(n), "# t", "#", _numbers([float(x) for x in t]),
             "# rel", "#", _numbers(rel), "# search", "#", "1" if search else "0", "# sizes", "#", str(len(sizes)),
             "# N", "#", _numbers(sizes), "#", "#", "#", "# sigma user", _numbers(su), "# b user", "#", _numbers(bu),
             "#", "#", "#", "# Ntol", str(len(resolutions)), "# sigmin", "#", repr(float(sigma[0])), "# sigmax",
             "#", repr(float(sigma[1])), "# tols", "#", _numbers([float(r[0]) for r in resolutions]), "# bmax", "#",
             repr(float(b_max)), "# tolb", "#", _numbers([float(r[1]) for r in resolutions]), "# end"]
    return "\n".join(lines) + "\n"


@pytest.fixture
def run_program(program, tmp_path):
    """Runs the command line on the inputs of an invert call; returns (exit code, stdout, stderr)."""
    def run(expr, t, params=None, method="weeks", **inputs):
        path = tmp_path / "parameters.txt"
        path.write_text(parameter_text(t, **inputs))
        argv = [program, str(path), "--expr", expr, "--method", method, "--format", "csv", "--quiet"]
        for name, value in (params or {}).items():
            argv += ["--param", f"{name}={value!r}"]
        done = subprocess.run(argv, capture_output=True, text=True, stdin=subprocess.DEVNULL, timeout=120)
        return done.returncode, done.stdout, done.stderr
    return run
