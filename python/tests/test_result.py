"""The result at a prompt and in a notebook: its repr and HTML table, rows,
columns, the reasons of unmet times in the table's words, progress, and the
faults read_csv refuses."""
import subprocess
import sys
import tracemalloc

import numpy as np
import pytest

import orvane

# The command line's options in the advice, and the arguments of invert that say the same.
SPELLINGS = [("--sigma LO,HI", "sigma=(LO, HI)"), ("(--sigma)", "(sigma=(LO, HI))"),
             ("--sizes 64,128,256", "sizes=(64, 128, 256)"), ("--method talbot", 'method="talbot"'),
             ("--method weeks", 'method="weeks"'), ("--rel-err", "rel_err")]


@pytest.fixture(scope="module")
def unmet():
    # A branch point at a request beyond reach: Weeks at t = 0, de Hoog elsewhere, none met.
    return orvane.invert("(s+0.6)^(-9/11)", [0.0, 0.5, 3.0], rel_err=1e-15, sizes=(16,))


def test_repr_shows_the_summary_and_the_first_and_last_rows():
    one = orvane.invert("1/(s+1)", 2.0, rel_err=1e-10)
    lines = repr(one).splitlines()
    assert lines[0].startswith("<InversionResult: 1 time, 1 met, 0 not met, methods [")
    assert lines[1].split() == ["t", "f(t)", "real", "f(t)", "imaginary", "rel.", "err.", "met", "method", "N",
                                "sigma", "b"]
    row = one[0]
    assert lines[2].split()[:5] == ["2", "%.14e" % row.f.real, "%.14e" % row.f.imag, "%.1e" % row.rel_err, "yes"]
    many = orvane.invert("1/(s+1)", np.arange(1, 13) / 4, rel_err=1e-10)
    lines = repr(many).splitlines()
    assert lines[0].startswith("<InversionResult: 12 times, 12 met")
    assert [line.split()[0] for line in lines[2:]] == ["0.25", "0.5", "0.75", "1", "1.25", "...", "2", "2.25",
                                                        "2.5", "2.75", "3"]
    assert repr(orvane.invert("1/(s+1)", [])) == "<InversionResult: 0 times, 0 met, 0 not met, methods []>"


def test_rows_index_iterate_and_slice():
    t = np.array([[0.5, 1.0], [2.0, 4.0]])
    r = orvane.invert("1/(s+1)", t, rel_err=1e-10)
    rows = list(r)
    assert [row.t for row in rows] == t.ravel().tolist() and len(rows) == len(r) == 4
    assert rows[3] == r[-1] == r[np.int64(3)]
    assert isinstance(rows[0], orvane.Row) and rows[0]._fields == ("t", "f", "abs_err", "rel_err", "met", "method",
                                                                 "N", "sigma", "b")
    assert rows[1].f == complex(r.f[0, 1]) and rows[1].met is True and rows[1].N == int(r.N[0, 1])
    part = r[1:3]
    assert part.t.tolist() == [1.0, 2.0] and part.requested.tolist() == [1e-10, 1e-10]
    for index, error in [(4, IndexError), (-5, IndexError), (1.0, TypeError), ("t", TypeError), ((0, 1), TypeError)]:
        with pytest.raises(error):
            r[index]


def test_reasons_are_the_words_of_the_command_lines_table(unmet, program):
    assert not unmet.met.any() and set(unmet.method) == {"weeks", "dehoog"}
    done = subprocess.run([program, "--expr", "(s+0.6)^(-9/11)", "--t", "0,0.5,3", "--rel-err", "1e-15",
                           "--sizes", "16"], capture_output=True, text=True, stdin=subprocess.DEVNULL, timeout=120)
    assert done.returncode == 0, done.stderr
    advice = [line for line in done.stdout.splitlines() if line.startswith("t = ")]
    assert len(advice) == 3
    for line, reason in zip(advice, unmet.reasons):
        for option, argument in SPELLINGS:
            line = line.replace(option, argument)
        assert reason and line.endswith("). " + reason), (line, reason)
    met = orvane.invert("1/(s+1)", [1.0], rel_err=1e-8)
    assert met.reasons.tolist() == [""]
    # A result read back knows its reasons too; a pole right of the range says so.
    assert "singularity right of sigma = 0" in orvane.invert("1/(s-40)", 1.0, sizes=(16,), method="weeks").reasons


def test_html_table_escapes_and_carries_the_reasons(unmet):
    html = unmet._repr_html_()
    assert html.count("<tr>") == 1 + len(unmet) and "<th>why not met</th>" in html
    assert "&#x27;dehoog&#x27;" in html and "'" not in html.split("<table>")[0]
    assert "why not met" not in orvane.invert("1/(s+1)", [1.0])._repr_html_()


def test_to_dict_has_every_column_and_to_pandas_is_lazy(unmet, monkeypatch):
    d = unmet.to_dict()
    assert d["met"].tolist() == [False] * 3 and d["requested"].tolist() == [1e-15] * 3
    assert d["reason"].tolist() == unmet.reasons.tolist()
    d["t"][0] = 99.0
    assert unmet.t[0] == 0.0  # copies
    assert "pandas" not in sys.modules or sys.modules["pandas"] is not None
    monkeypatch.setitem(sys.modules, "pandas", None)
    with pytest.raises(ImportError, match="to_pandas needs pandas"):
        unmet.to_pandas()


def test_to_pandas_gives_one_row_per_time(unmet):
    pytest.importorskip("pandas")
    frame = unmet.to_pandas()
    assert list(frame.columns) == list(unmet.to_dict()) and len(frame) == 3


def test_progress_hears_every_time_and_can_stop_the_run():
    heard = []
    orvane.invert("1/(s+1)", [1.0, 2.0, 3.0], method="weeks", progress=lambda done, total: heard.append((done, total)))
    assert heard == [(1, 3), (2, 3), (3, 3)]

    class Stop(Exception):
        pass

    def stop(done, total):
        raise Stop(done)

    with pytest.raises(Stop):
        orvane.invert("1/(s+1)", [1.0, 2.0, 3.0], method="weeks", progress=stop)


# ---- read_csv -------------------------------------------------------------------------

HEADER = "t,re,im,sigma,b,abs_err,rel_err,flag,N,method\n"


@pytest.mark.parametrize("row, message", [
    ("0.5,0.25,0,0,1,1e-12,4e-12,0,99999999999999999999999,weeks", "N is '9999.*'; expected an integer from 1 to"),
    ("0.5,0.25,0,0,1,1e-12,4e-12,0,1_0,weeks", "N is '1_0'; expected an integer"),
    ("0.5,0.2_5,0,0,1,1e-12,4e-12,0,16,weeks", "re is '0.2_5'; expected a number"),
    (" 0.5,0.25,0,0,1,1e-12,4e-12,0,16,weeks", "t is ' 0.5'; expected a number"),
    ("0.5,0.25,0,0,1,1e-12,4e-12,0,16,auto", "method is 'auto'; expected weeks, talbot or dehoog"),
    ("0.5,0.25,0,0,1,1e-12,4e-12,0,16,we\u2028eks", r"line 3: method is 'we\\u2028eks'"),
    ("0.5,0.25,0,0,1,1e-12,inf,0,16,weeks", "flag is 0 with rel_err inf; expected flag 1"),
    ("0.5,0.25,0,0,1,1e-12,nan,0,16,weeks", "flag is 0 with rel_err nan"),
    ("0.5,1e999,0,0,1,1e-12,4e-12,0,16,weeks", "re is '1e999'; expected a number within the range of a double"),
    ("0.5,0.25,0,0,1,-1e-12,4e-12,0,16,weeks", "abs_err is '-1e-12'; expected an error of at least 0"),
])
def test_read_csv_refuses_what_the_writer_never_writes(tmp_path, row, message):
    path = tmp_path / "r.csv"
    path.write_text(HEADER + "\n" + row + "\n", encoding="utf-8")
    with pytest.raises(ValueError, match=message):
        orvane.read_csv(path)


def test_read_csv_keeps_the_writers_spellings_and_skips_blank_lines_cheaply(tmp_path):
    path = tmp_path / "r.csv"
    rows = "0.5,0.25,-0,0,1,1e-12,4e-12,0,16,weeks\r\n1,-inf,nan,0,1,inf,inf,1,16,dehoog\n"
    path.write_text(HEADER + rows + "\n" * (60 << 20) + "2,.5,0,0,1,1E-3,2e-3,1,32,talbot\n")
    tracemalloc.start()
    try:
        r = orvane.read_csv(path)
        peak = tracemalloc.get_traced_memory()[1]
    finally:
        tracemalloc.stop()
    assert r.t.tolist() == [0.5, 1.0, 2.0] and r.method.tolist() == ["weeks", "dehoog", "talbot"]
    assert np.isneginf(r.f[1].real) and np.isnan(r.f[1].imag) and r.f[2] == 0.5
    assert peak < 200 << 20  # the file's bytes and text (120 MiB), not a list of every line
    path.write_text(HEADER + "\n" * 5 + "0.5,0.25,0,0,1,1e-12,4e-12,0,0,weeks\n")
    with pytest.raises(ValueError, match=", line 7: N is '0'"):
        orvane.read_csv(path)


def test_the_result_states_the_bill_of_f():
    seen = []

    def F(s):
        seen.append(np.size(s))
        return 1.0 / (s + 1.0)

    for method in ("dehoog", "talbot", "weeks", "auto"):
        seen.clear()
        r = orvane.invert(F, [0.5, 1.0, 2.0], method=method)
        assert r.evaluations == sum(seen) > 0, method
    assert orvane.invert("1/(s+1)", 1.0).evaluations > 0
