"""What the package refuses and never destroys: csv files that are not csv files
of results, outputs onto devices and links, values beyond a double, text that
is not text, and an empty result to plot."""
import os
import stat
import subprocess
import sys

import numpy as np
import pytest

import orvane

HEADER = "t,re,im,sigma,b,abs_err,rel_err,flag,N,method\n"
ROW = "0.5,0.25,0,0,1,1e-12,4e-12,{flag},{N},weeks\n"


@pytest.fixture(scope="module")
def result():
    return orvane.invert("1/(s+1)", [0.5, 1.0], sizes=(16,), method="weeks")


# ---- read_csv ---------------------------------------------------------------------------

def test_read_csv_takes_only_regular_files_of_bounded_size(tmp_path):
    fifo = tmp_path / "pipe.csv"
    os.mkfifo(fifo)
    huge = tmp_path / "huge.csv"
    with open(huge, "wb") as stream:
        stream.truncate((64 << 20) + 1)
    for path, message in [("/dev/zero", "not a regular file"), (fifo, "not a regular file"),
                          (tmp_path, "is a folder"), (huge, "larger than 64 MiB")]:
        with pytest.raises(ValueError, match=message):
            orvane.read_csv(path)
    with pytest.raises(OSError, match="cannot be read"):
        orvane.read_csv(tmp_path / "missing.csv")


@pytest.mark.parametrize("row, message", [
    (ROW.format(flag=2, N=16), "line 2: flag is '2'; expected 0 or 1"),
    (ROW.format(flag=-1, N=16), "flag is '-1'; expected 0 or 1"),
    (ROW.format(flag=0, N=0), "line 2: N is '0'; expected an integer from 1 to 2147483647"),
    ("-1" + ROW.format(flag=0, N=16)[3:], "line 2: t is '-1'; expected a finite number of at least 0"),
    ("nan" + ROW.format(flag=0, N=16)[3:], "t is 'nan'"),
])
def test_read_csv_checks_the_range_of_every_column(tmp_path, row, message):
    path = tmp_path / "r.csv"
    path.write_text(HEADER + row)
    with pytest.raises(ValueError, match=message):
        orvane.read_csv(path)


def test_read_csv_refuses_bytes_that_are_not_text(tmp_path):
    path = tmp_path / "r.csv"
    path.write_bytes(HEADER.encode() + b"\xff\xfe")
    with pytest.raises(ValueError, match="not UTF-8 text"):
        orvane.read_csv(path)


# ---- to_csv -----------------------------------------------------------------------------

def test_to_csv_never_writes_through_a_link_or_onto_a_device(result, tmp_path):
    target = tmp_path / "target.csv"
    target.write_text("keep")
    link = tmp_path / "link.csv"
    link.symlink_to(target)
    with pytest.raises(OSError, match="is a symbolic link"):
        result.to_csv(link)
    assert link.is_symlink() and target.read_text() == "keep"
    with pytest.raises(OSError, match="not a regular file"):
        result.to_csv("/dev/null")
    assert stat.S_ISCHR(os.stat("/dev/null").st_mode)
    with pytest.raises(OSError, match="empty name"):
        result.to_csv("")
    assert sorted(p.name for p in tmp_path.iterdir()) == ["link.csv", "target.csv"]


def test_to_csv_keeps_the_mode_and_takes_any_name(result, tmp_path):
    private = tmp_path / "private.csv"
    private.write_text("old")
    private.chmod(0o600)
    result.to_csv(private)
    assert stat.S_IMODE(os.stat(private).st_mode) == 0o600
    assert private.read_text() == result.csv_text()
    # A name that is not UTF-8 and one of 250 bytes.
    odd = os.fsdecode(os.fsencode(str(tmp_path)) + b"/r\xff.csv")
    result.to_csv(odd)
    long = tmp_path / ("n" * 250)
    result.to_csv(long)
    assert os.path.exists(odd) and long.read_text() == result.csv_text()


# ---- values and text --------------------------------------------------------------------

@pytest.mark.parametrize("kwargs, message", [
    (dict(params={"a": 10 ** 400}), r"params\['a'\] is 1000.*; expected a number within the range of a double"),
    (dict(params={"a": float("inf")}), r"params\['a'\] is inf; expected a finite real number"),
    (dict(b_max=10 ** 400), "b_max is 1000.*; expected a number within the range of a double"),
    (dict(params={"a\udc80": 1.0}), "lone surrogate"),
])
def test_values_beyond_a_double_and_lone_surrogates_are_value_errors(kwargs, message):
    with pytest.raises(ValueError, match=message):
        orvane.invert("1/(s+a)", [1.0], **kwargs)


def test_a_formula_with_a_lone_surrogate_is_a_value_error():
    with pytest.raises(ValueError, match="F holds '\\\\udcff' at index 4"):
        orvane.invert("1/(s\udcff+1)", [1.0])


# ---- plotting ---------------------------------------------------------------------------

def test_plotting_an_empty_result_says_so(tmp_path):
    pytest.importorskip("matplotlib")
    empty = orvane.read_csv((tmp_path / "e.csv", (tmp_path / "e.csv").write_text(HEADER))[0])
    assert len(empty) == 0
    with pytest.raises(ValueError, match="no times; there is nothing to plot"):
        orvane.plot(empty)
    done = subprocess.run([sys.executable, "-m", "orvane", "plot", str(tmp_path / "e.csv"), "-o",
                           str(tmp_path / "e.png")], capture_output=True, text=True)
    assert done.returncode == 1 and "nothing to plot" in done.stderr
    assert not (tmp_path / "e.png").exists()


def test_command_line_plot_into_a_folder(result, tmp_path):
    pytest.importorskip("matplotlib")
    csv = tmp_path / "results.csv"
    result.to_csv(csv)
    folder = tmp_path / "pictures"
    folder.mkdir()
    done = subprocess.run([sys.executable, "-m", "orvane", "plot", str(csv), "-o", str(folder)],
                          capture_output=True, text=True)
    assert done.returncode == 0, done.stderr
    assert (folder / "results.png").read_bytes().startswith(b"\x89PNG")
    assert not (tmp_path / "pictures.png").exists()
