"""Docs that cannot drift: every `$ orvane ...` block and every Python snippet
of README.md and docs/*.md is run, and what it prints is compared with what the
page shows.

A block is an indented code block. `$ orvane ARGS` lines run the program of
this build (in the clone's root, so that examples/ resolves), and the lines
below them are its standard output; a line `...` stands for any lines left
out. Python blocks run as a script in a fresh folder; those of `>>>` prompts
run as a doctest. Printed lines are compared word by word: values exactly,
error figures of two significant digits (`4.3e-13`, the table's rel. err.)
within a factor of 1.5. A block that cannot run here (a cluster, a shell
session) has the comment `<!-- docs-test: skip REASON -->` above it.

A figure that prose quotes is checked by a comment beside it,
`<!-- docs-test: figure 1.3e-9 = EXPRESSION -->`: the Python expression (with
orvane, numpy as np and math) gives the figure, within the same factor."""
import doctest
import math
import os
import re
import shlex
import subprocess
import sys

import pytest

import orvane

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
PAGES = ["README.md"] + sorted(os.path.join("docs", name) for name in os.listdir(os.path.join(ROOT, "docs"))
                               if name.endswith(".md"))
SKIP = re.compile(r"<!--\s*docs-test:\s*skip\b(.*?)-->")
ERROR_FIGURE = re.compile(r"[0-9]\.[0-9]e[+-][0-9]+")
ERROR_FACTOR = 1.5


def _indent(line):
    return len(line) - len(line.lstrip(" "))


def code_blocks(text):
    """(line number, lines, skip reason or None) of each indented code block of a page."""
    lines = text.split("\n")
    k = 0
    while k < len(lines):
        indent = _indent(lines[k])
        if not lines[k].strip() or indent < 4 or (k > 0 and lines[k - 1].strip()):
            k += 1
            continue
        start, body = k, []
        while k < len(lines) and (not lines[k].strip() or _indent(lines[k]) >= indent):
            body.append(lines[k][indent:].rstrip())
            k += 1
        while body and not body[-1]:
            body.pop()
        before = start - 1
        while before >= 0 and not lines[before].strip():
            before -= 1
        skip = SKIP.search(lines[before]) if before >= 0 else None
        yield start + 1, body, (skip.group(1).strip() or "marked") if skip else None


def _kind(body):
    first = body[0]
    if first.startswith("$ orvane"):
        return "command"
    if first.startswith(">>>"):
        return "session"
    if first.startswith(("import ", "from ")):
        return "script"
    return None


BLOCKS = [(page, number, body, skip, _kind(body))
          for page in PAGES
          for number, body, skip in code_blocks(open(os.path.join(ROOT, page), encoding="utf-8").read())
          if _kind(body)]

FIGURE = re.compile(r"<!--\s*docs-test:\s*figure\s+(\S+)\s*=\s*(.*?)\s*-->")
FIGURES = [(page, text.count("\n", 0, m.start()) + 1, m.group(1), m.group(2))
           for page in PAGES
           for text in [open(os.path.join(ROOT, page), encoding="utf-8").read()]
           for m in FIGURE.finditer(text)]


def same_word(shown, printed):
    if shown == printed:
        return True
    if ERROR_FIGURE.fullmatch(shown) and ERROR_FIGURE.fullmatch(printed):
        a, b = float(shown), float(printed)
        return a > 0 and b > 0 and max(a, b) / min(a, b) <= ERROR_FACTOR
    return False


def same_line(shown, printed):
    a, b = shown.split(), printed.split()
    return len(a) == len(b) and all(same_word(x, y) for x, y in zip(a, b))


def differences(shown, printed):
    """Why the printed lines are not those shown ("" when they are): the shown lines in
    runs between `...` lines, each run found whole and in order, the first at the start
    and the last at the end unless a `...` stands there."""
    runs, run = [], []
    for line in shown:
        if line.strip() == "...":
            runs.append(run)
            run = []
        else:
            run.append(line)
    runs.append(run)
    at = 0
    for k, run in enumerate(runs):
        if not run:
            continue
        last = k == len(runs) - 1
        starts = [at] if k == 0 else range(at, len(printed) - len(run) + 1)
        if last:
            starts = [s for s in starts if s == len(printed) - len(run)]
        found = next((s for s in starts if at <= s and s + len(run) <= len(printed)
                      and all(same_line(x, y) for x, y in zip(run, printed[s:]))), None)
        if found is None:
            return ("the lines\n  " + "\n  ".join(run) + "\nare not in what was printed:\n  "
                    + "\n  ".join(printed))
        at = found + len(run)
    return ""


def _ids():
    return [f"{page}:{number}" for page, number, _, _, _ in BLOCKS]


@pytest.fixture
def environment():
    return dict(os.environ, PYTHONPATH=os.pathsep.join(p for p in sys.path if p))


def test_the_pages_have_blocks_to_run():
    kinds = {kind for _, _, _, _, kind in BLOCKS}
    assert kinds == {"command", "session", "script"}, kinds
    assert FIGURES


@pytest.mark.parametrize("page, number, body, skip, kind", BLOCKS, ids=_ids())
def test_a_block_prints_what_its_page_shows(page, number, body, skip, kind, program, environment, tmp_path):
    if skip:
        pytest.skip(skip)
    if kind == "command":
        commands = [k for k, line in enumerate(body) if line.startswith("$ ")] + [len(body)]
        for k, end in zip(commands, commands[1:]):
            argv = shlex.split(body[k][2:])
            done = subprocess.run([program] + argv[1:], cwd=ROOT, capture_output=True, text=True,
                                  stdin=subprocess.DEVNULL, timeout=300, env=environment)
            assert done.returncode == 0, f"{page}:{number + k}: {body[k]}\n{done.stderr}"
            wrong = differences(body[k + 1:end], done.stdout.rstrip("\n").split("\n"))
            assert not wrong, f"{page}:{number + k}: {body[k]}: {wrong}"
    elif kind == "script":
        script = tmp_path / "snippet.py"
        script.write_text("\n".join(body) + "\n")
        done = subprocess.run([sys.executable, str(script)], cwd=tmp_path, capture_output=True, text=True,
                              stdin=subprocess.DEVNULL, timeout=300, env=environment)
        assert done.returncode == 0, f"{page}:{number}:\n{done.stderr[-3000:]}"
    else:
        _run_session(page, number, "\n".join(body) + "\n", tmp_path)


@pytest.mark.parametrize("page, number, figure, expression", FIGURES,
                         ids=[f"{page}:{number}" for page, number, _, _ in FIGURES])
def test_a_quoted_figure_is_what_the_program_gives(page, number, figure, expression):
    import numpy as np
    value = float(eval(expression, {"orvane": orvane, "np": np, "math": math}))
    assert same_word(figure, "%.1e" % value), f"{page}:{number}: quoted {figure}, computed {value:.2e}"


class _WordChecker(doctest.OutputChecker):
    """The comparison of printed lines above, for doctests."""

    def check_output(self, want, got, optionflags):
        return not differences(want.rstrip("\n").split("\n"), got.rstrip("\n").split("\n"))


def _run_session(name, number, text, folder):
    test = doctest.DocTestParser().get_doctest(text, {}, name, name, number - 1)
    runner = doctest.DocTestRunner(checker=_WordChecker(), optionflags=doctest.REPORT_NDIFF)
    out = []
    here = os.getcwd()
    os.chdir(folder)
    try:
        runner.run(test, out=out.append)
    finally:
        os.chdir(here)
    assert runner.failures == 0, "".join(out)


def test_the_examples_of_invert_print_what_they_show(tmp_path):
    for test in doctest.DocTestFinder().find(orvane.inversion, globs={"orvane": orvane}):
        if test.examples:
            runner = doctest.DocTestRunner(checker=_WordChecker())
            out = []
            runner.run(test, out=out.append)
            assert runner.failures == 0, "".join(out)


@pytest.mark.parametrize("shown, printed, same", [
    (["a 4.3e-13 yes", "...", "end"], ["a 4.4e-13 yes", "b", "end"], True),
    (["a 4.3e-13 yes"], ["a 9.9e-13 yes"], False),                        # an error beyond the factor
    (["a 7.61394433245753e-01"], ["a 7.61394433245754e-01"], False),      # a value: exact
    (["a", "end"], ["a", "b", "end"], False),                              # a line left out without ...
    (["...", "end"], ["a", "end", "more"], False),                         # the last run ends the output
    (["x 1 yes"], ["x 1 no"], False),
])
def test_the_comparison_of_printed_lines(shown, printed, same):
    assert (differences(shown, printed) == "") == same
