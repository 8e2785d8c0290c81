"""The examples the README points to, run as a user runs them."""
import os
import re
import subprocess
import sys

import pytest

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))


def test_the_dask_script_runs_to_its_end():
    pytest.importorskip("distributed")
    script = os.path.join(ROOT, "examples", "dask_sweep.py")
    # Run as a file, the way that hangs without the main-module guard (the timeout catches that).
    done = subprocess.run([sys.executable, script, "2", "4"], capture_output=True, text=True, timeout=300,
                          env=dict(os.environ, PYTHONPATH=os.pathsep.join(sys.path)))
    assert done.returncode == 0, done.stderr[-3000:]
    summary = re.search(r"^16 parameter sets, 0 failed, (\d+) of 480 times met their request$", done.stdout, re.M)
    assert summary, done.stdout
    # Only times next to a zero of f(t) may miss a relative request.
    assert int(summary.group(1)) >= 470
