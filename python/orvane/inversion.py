"""orvane.invert and its result: the arguments checked and converted, the
engine called (with the interpreter lock released), the records as numpy
arrays of the shape of t."""
from __future__ import annotations

import math
import numbers
import operator
import os
import re
import stat
from typing import Any, Callable, Dict, Iterator, List, Mapping, NamedTuple, Optional, Sequence, Tuple, Union

import numpy as np
import numpy.typing as npt

from . import _orvane
from .errors import InputError, from_engine

#: What F may be: an expression in s, or a function of a complex array of points.
Transform = Union[str, Callable[..., Any]]
#: A time or times, a request or requests: a real number or an array of them.
Reals = Union[float, Sequence[float], npt.NDArray[np.floating]]

__all__ = ["invert", "InversionResult", "Row", "read_csv", "read_parameters"]

COLUMNS = ("t", "re", "im", "sigma", "b", "abs_err", "rel_err", "flag", "N", "method")
METHODS = tuple(_orvane.methods)  # the engine's registry, "auto" last


class Row(NamedTuple):
    """One time of an `InversionResult`: ``r[i]`` and ``for row in r``."""
    t: float
    f: complex
    abs_err: float
    rel_err: float
    met: bool
    method: str
    N: int
    sigma: float
    b: float


# The rows a repr shows: all of up to ROWS_SHOWN, else the first and last half of them.
ROWS_SHOWN = 10


class InversionResult:
    """The results of one inversion, one entry per time.

    Each field is a numpy array of the shape of the times given to `invert` (a
    numpy scalar where `t` was a scalar). ``r[i]`` and iteration give the
    times one `Row` at a time, in the order of ``np.ravel(t)``; ``r[i:j]`` is
    a 1-D result of those times.

    Attributes
    ----------
    t : ndarray of float64
        The times.
    f : ndarray of complex128
        f(t).
    sigma, b : ndarray of float64
        The (sigma, b) used. For a Talbot or de Hoog value, sigma is the shift and b is 0.
    abs_err, rel_err : ndarray of float64
        The predicted absolute and relative error (``inf``: no value, F has a
        singularity right of sigma).
    flag : ndarray of int64
        0 where the requested relative error was met, 1 where not.
    N : ndarray of int64
        The expansion size (Talbot: the node count; de Hoog: the steps of its fraction).
    method : ndarray of str
        The method that made each value (one of METHODS other than "auto").
    requested : ndarray of float64 or None
        The requested relative error of each time (None when unknown, as for a
        result read back from csv).
    engine_seconds : float
        The engine's own time for the run (0 when read back).
    evaluations : int
        The points at which the run evaluated F, for every method and check
        (0 when read back): the bill of an expensive F.

    See Also
    --------
    invert : makes one.
    read_csv : reads one back from ``orvane --format csv``.
    """

    def __init__(self, t: Any, f: Any, sigma: Any, b: Any, abs_err: Any, rel_err: Any, flag: Any, N: Any,
                 method: Any, requested: Any = None, engine_seconds: float = 0.0,
                 shape: Optional[Tuple[int, ...]] = None, evaluations: int = 0) -> None:
        self.t = np.asarray(t, dtype=np.float64)
        self.f = np.asarray(f, dtype=np.complex128)
        self.sigma = np.asarray(sigma, dtype=np.float64)
        self.b = np.asarray(b, dtype=np.float64)
        self.abs_err = np.asarray(abs_err, dtype=np.float64)
        self.rel_err = np.asarray(rel_err, dtype=np.float64)
        self.flag = np.asarray(flag, dtype=np.int64)
        self.N = np.asarray(N, dtype=np.int64)
        self.method = np.asarray(method, dtype=str)
        self.requested = None if requested is None else np.asarray(requested, dtype=np.float64)
        self.engine_seconds = float(engine_seconds)
        self.evaluations = int(evaluations)
        self._reasons = None
        if shape is not None:
            # The times' own shape; a scalar time gives numpy scalars.
            for name in ("t", "f", "sigma", "b", "abs_err", "rel_err", "flag", "N", "method", "requested"):
                value = getattr(self, name)
                if value is not None:
                    value = value.reshape(shape)
                    setattr(self, name, value[()] if shape == () else value)

    def __len__(self) -> int:
        """The number of times."""
        return int(np.size(self.t))

    def ravel(self) -> "InversionResult":
        """The same results as 1-D arrays, in the order of ``np.ravel(t)``."""
        flat = [np.ravel(getattr(self, name)) for name in ("t", "f", "sigma", "b", "abs_err", "rel_err",
                                                           "flag", "N", "method")]
        requested = None if self.requested is None else np.ravel(self.requested)
        return InversionResult(*flat, requested=requested, engine_seconds=self.engine_seconds,
                               evaluations=self.evaluations)

    @property
    def met(self) -> Any:
        """True where the requested relative error was met (of the shape of t)."""
        return self.flag == 0

    @property
    def reasons(self) -> Any:
        """Per time, what limited a request that was not met and what to try, in the
        words of the command line's table (with invert's argument names); "" where
        met. Of the shape of t."""
        if self._reasons is None:
            r = self.ravel()
            words = _orvane.unmet_reasons(r.t, r.f, r.sigma, r.b, r.abs_err, r.rel_err, r.flag.tolist(),
                                          r.N.tolist(), r.method.tolist())
            reasons = np.array(words, dtype=object).reshape(np.shape(self.t))
            self._reasons = reasons[()] if reasons.ndim == 0 else reasons
        return self._reasons

    # ---- rows ------------------------------------------------------------------------

    def _row(self, k: int) -> Row:
        def at(name):
            return np.ravel(getattr(self, name))[k]
        return Row(float(at("t")), complex(at("f")), float(at("abs_err")), float(at("rel_err")),
                   bool(at("flag") == 0), str(at("method")), int(at("N")), float(at("sigma")), float(at("b")))

    def __getitem__(self, index: Any) -> Any:
        """Row `index` (in the order of ``np.ravel(t)``), or for a slice a 1-D result of those rows."""
        if isinstance(index, slice):
            r = self.ravel()
            part = [getattr(r, name)[index] for name in ("t", "f", "sigma", "b", "abs_err", "rel_err", "flag",
                                                          "N", "method")]
            requested = None if r.requested is None else r.requested[index]
            return InversionResult(*part, requested=requested)
        try:
            k = operator.index(index)
        except TypeError:
            raise TypeError(f"InversionResult indices are integers or slices, not {type(index).__name__}") from None
        n = len(self)
        if not -n <= k < n:
            raise IndexError(f"row {k} of a result of {n} {'time' if n == 1 else 'times'}")
        return self._row(k % n)

    def __iter__(self) -> Iterator[Row]:
        """The rows, in the order of ``np.ravel(t)``."""
        return (self._row(k) for k in range(len(self)))

    # ---- columns ---------------------------------------------------------------------

    def to_dict(self) -> Dict[str, Any]:
        """Every column by name, as numpy arrays of the shape of t: t, f, sigma, b, abs_err,
        rel_err, flag, N, method (those of the csv), then met, requested (nan where unknown)
        and reason (see `reasons`). ``pandas.DataFrame(result.ravel().to_dict())`` is
        `to_pandas`."""
        requested = self.requested if self.requested is not None else np.full(np.shape(self.t), np.nan)
        columns = {"t": self.t, "f": self.f, "sigma": self.sigma, "b": self.b, "abs_err": self.abs_err,
                   "rel_err": self.rel_err, "flag": self.flag, "N": self.N, "method": self.method,
                   "met": self.met, "requested": requested, "reason": self.reasons}
        return {name: np.array(value, copy=True) for name, value in columns.items()}

    def to_pandas(self) -> Any:
        """A pandas.DataFrame of one row per time (in the order of ``np.ravel(t)``) and the
        columns of `to_dict`; needs pandas, imported only here."""
        try:
            import pandas
        except ImportError:
            raise ImportError("to_pandas needs pandas, which is not installed (pip install pandas, or "
                              "apt-get install python3-pandas); to_dict gives the same columns as numpy "
                              "arrays") from None
        return pandas.DataFrame(self.ravel().to_dict())

    def csv_text(self) -> str:
        """The csv of `orvane --format csv`, as text."""
        r = self.ravel()
        return _orvane.csv_text(r.t, r.f, r.sigma, r.b, r.abs_err, r.rel_err,
                                r.flag.tolist(), r.N.tolist(), r.method.tolist())

    def to_csv(self, path):
        """Writes the csv of `orvane --format csv` (header t,re,im,sigma,b,abs_err,rel_err,flag,N,method,
        17 significant digits, nan/inf/-inf) to `path`, whole or not at all, or to an open
        text file (anything with a write method)."""
        text = self.csv_text()
        if hasattr(path, "write"):
            path.write(text)
        else:
            # As bytes, so that any name the file system takes (undecodable ones too) is written.
            _orvane.write_file(os.fsencode(path), text)

    # ---- at a prompt -----------------------------------------------------------------

    def _summary(self) -> str:
        n, unmet = len(self), int(np.count_nonzero(self.flag))
        return (f"InversionResult: {n} {'time' if n == 1 else 'times'}, {n - unmet} met, {unmet} not met, "
                f"methods {sorted(set(np.ravel(self.method).tolist()))}")

    def _shown_rows(self) -> List[Optional[int]]:
        """The rows a repr shows; None stands for the rows left out."""
        n = len(self)
        if n <= ROWS_SHOWN:
            return list(range(n))
        half = ROWS_SHOWN // 2
        return list(range(half)) + [None] + list(range(n - half, n))

    def _cells(self, k: int) -> List[str]:
        row = self._row(k)
        b = _number("%.6g", row.b) if row.method == "weeks" else "-"
        return [_number("%.10g", row.t), _number("%.14e", row.f.real), _number("%.14e", row.f.imag),
                _number("%.1e", row.rel_err), "yes" if row.met else "no", row.method, str(row.N),
                _number("%.6g", row.sigma), b]

    def __repr__(self) -> str:
        lines = ["<" + self._summary() + ">"]
        if len(self) == 0:
            return lines[0]
        rows = [_TABLE_HEADER] + [self._cells(k) if k is not None else ["..."] for k in self._shown_rows()]
        widths = [max(len(r[c]) for r in rows if len(r) > c) for c in range(len(_TABLE_HEADER))]
        for r in rows:
            if len(r) == 1:
                lines.append(r[0])
                continue
            lines.append("  ".join(cell.ljust(w) if c in (0, 4, 5) else cell.rjust(w)
                                   for c, (cell, w) in enumerate(zip(r, widths))).rstrip())
        if np.any(self.flag != 0):
            lines.append("(.reasons says, per time, why a request was not met and what to try)")
        return "\n".join(lines)

    def _repr_html_(self) -> str:
        """An HTML table of the rows (the first and last ones of a long result) for notebooks,
        with the reason of each unmet time."""
        import html
        unmet = bool(np.any(self.flag != 0))
        header = _TABLE_HEADER + (["why not met"] if unmet else [])
        reasons = np.ravel(self.reasons) if unmet else None
        out = [f"<div><p>{html.escape(self._summary())}</p>", "<table>", "<thead><tr>"
               + "".join(f"<th>{html.escape(h)}</th>" for h in header) + "</tr></thead>", "<tbody>"]
        for k in self._shown_rows():
            if k is None:
                out.append(f'<tr><td colspan="{len(header)}">&#8230;</td></tr>')
                continue
            # The table's columns on one line each (numbers do not break); the reason wraps.
            cells = [f'<td style="white-space: nowrap; text-align: right">{html.escape(c)}</td>'
                     for c in self._cells(k)]
            if unmet:
                cells.append(f'<td style="text-align: left">{html.escape(str(reasons[k]))}</td>')
            out.append("<tr>" + "".join(cells) + "</tr>")
        out += ["</tbody>", "</table>", "</div>"]
        return "\n".join(out)


# The columns of a repr: those of the command line's table.
_TABLE_HEADER = ["t", "f(t) real", "f(t) imaginary", "rel. err.", "met", "method", "N", "sigma", "b"]


def _number(pattern: str, value: float) -> str:
    """A real as the command line's table spells it ("nan", "inf", "-inf" where not finite)."""
    if math.isnan(value):
        return "nan"
    if math.isinf(value):
        return "inf" if value > 0 else "-inf"
    return pattern % value


# read_csv reads files as the engine reads parameter files: regular files of at most this size.
MAX_CSV_BYTES = 64 << 20


def _read_regular_file(path):
    """The text of `path`, a regular file of at most MAX_CSV_BYTES (no FIFO wait, no device)."""
    try:
        fd = os.open(path, os.O_RDONLY | os.O_NONBLOCK | getattr(os, "O_CLOEXEC", 0))
    except OSError as error:
        raise OSError(f"{path}: cannot be read: {error.strerror}") from None
    try:
        info = os.fstat(fd)
        if stat.S_ISDIR(info.st_mode):
            raise ValueError(f"{path} is a folder; expected a csv file")
        if not stat.S_ISREG(info.st_mode):
            raise ValueError(f"{path} is not a regular file (a FIFO, a device or a socket); expected a csv file")
        if info.st_size > MAX_CSV_BYTES:
            raise ValueError(f"{path} is larger than {MAX_CSV_BYTES >> 20} MiB; expected a csv of results")
        with os.fdopen(os.dup(fd), "rb") as stream:
            data = stream.read(MAX_CSV_BYTES + 1)
    finally:
        os.close(fd)
    if len(data) > MAX_CSV_BYTES:
        raise ValueError(f"{path} is larger than {MAX_CSV_BYTES >> 20} MiB; expected a csv of results")
    try:
        return data.decode("utf-8")
    except UnicodeDecodeError as error:
        raise ValueError(f"{path}: byte {error.start} is not UTF-8 text; expected a csv of results") from None


# The range of each integer column: (lowest, highest, what is expected).
_COLUMN_RANGES = {"flag": (0, 1, "0 or 1"), "N": (1, 2**31 - 1, "an integer from 1 to 2147483647")}
# The numbers the csv writer writes: digits with an optional point and exponent, nan, inf, -inf.
_INTEGER = re.compile(r"[+-]?[0-9]+")
_REAL = re.compile(r"[+-]?(?:(?:[0-9]+\.?[0-9]*|\.[0-9]+)(?:[eE][+-]?[0-9]+)?|inf)|nan")
_LINE = re.compile(r"[^\n]+")
# The methods a record may name: every method but the chooser.
_RECORD_METHODS = tuple(m for m in METHODS if m != "auto")


def _field(path, number, name, text):
    """The value of one csv field, or a ValueError naming the line and the column."""
    if name in _COLUMN_RANGES:
        low, high, expected = _COLUMN_RANGES[name]
        if not _INTEGER.fullmatch(text):
            raise ValueError(f"{path}, line {number}: {name} is {_short(text)}; expected {expected}")
        value = int(text)
        if not low <= value <= high:
            raise ValueError(f"{path}, line {number}: {name} is {_short(text)}; expected {expected}")
        return value
    if name == "method":
        if text not in _RECORD_METHODS:
            raise ValueError(f"{path}, line {number}: method is {_short(text)}; expected "
                             f"{', '.join(_RECORD_METHODS[:-1])} or {_RECORD_METHODS[-1]}")
        return text
    if not _REAL.fullmatch(text):
        raise ValueError(f"{path}, line {number}: {name} is {_short(text)}; expected a number")
    value = float(text)
    if math.isinf(value) and "inf" not in text:
        raise ValueError(f"{path}, line {number}: {name} is {_short(text)}; expected a number within the "
                         "range of a double (about 1.8e308)")
    if name == "t" and not (math.isfinite(value) and value >= 0):
        raise ValueError(f"{path}, line {number}: t is {_short(text)}; expected a finite number of at least 0")
    if name in ("abs_err", "rel_err") and value < 0:
        raise ValueError(f"{path}, line {number}: {name} is {_short(text)}; expected an error of at least 0, "
                         "inf or nan")
    return value


def read_csv(path):
    """Reads the csv that orvane --format csv or to_csv wrote back into an InversionResult.
    The file must be a regular file of at most 64 MiB; lines end at a line feed (a carriage
    return before it is dropped), blank lines are skipped, and every line is checked: ten
    fields, numbers as the writer spells them (digits, nan, inf, -inf), flag 0 or 1 and 0
    only with a finite rel_err, N from 1 to 2^31 - 1, t at least 0, errors at least 0, a
    method other than auto. A ValueError names the line and the column."""
    text = _read_regular_file(os.fspath(path))
    first = text.find("\n")
    header = text if first < 0 else text[:first]
    if header.strip() != ",".join(COLUMNS):
        raise ValueError(f"{path}, line 1: expected the header {','.join(COLUMNS)}")
    columns = {name: [] for name in COLUMNS}
    # Lines that are not blank, found without a list of every line (a file of blank
    # lines would make one of millions).
    number, counted = 1, first
    for match in _LINE.finditer(text, first + 1) if first >= 0 else ():
        number += text.count("\n", counted, match.start())
        counted = match.start()
        line = match.group()
        if line.endswith("\r"):
            line = line[:-1]
        if not line.strip():
            continue
        fields = line.split(",")
        if len(fields) != len(COLUMNS):
            raise ValueError(f"{path}, line {number}: expected {len(COLUMNS)} fields, found {len(fields)}")
        values = {name: _field(path, number, name, text) for name, text in zip(COLUMNS, fields)}
        if values["flag"] == 0 and not math.isfinite(values["rel_err"]):
            raise ValueError(f"{path}, line {number}: flag is 0 with rel_err {fields[6]}; expected flag 1 "
                             "(a request is met only with a finite predicted error)")
        for name in COLUMNS:
            columns[name].append(values[name])
    # Part by part: re + 1j * im would make nan of an infinite part.
    f = np.empty(len(columns["re"]), dtype=np.complex128)
    f.real, f.imag = columns["re"], columns["im"]
    return InversionResult(columns["t"], f, columns["sigma"], columns["b"], columns["abs_err"],
                           columns["rel_err"], columns["flag"], columns["N"], columns["method"])


def read_parameters(path):
    """The arguments of invert() that a parameter file (the command line's UserParameters.txt
    format) holds, as a dict: orvane.invert(F, **orvane.read_parameters(path)) runs what
    `orvane path --expr F` runs. The file is read and checked as the command line does,
    with its messages (ValueError). A SearchSwitch other than 0 or 1 is refused."""
    try:
        p = _orvane.read_parameters(os.fspath(path))
    except (ValueError, RuntimeError) as error:
        raise from_engine(error) from None
    args = dict(t=np.array(p["t"]), rel_err=np.array(p["rel_err"]), sizes=tuple(p["sizes"]),
                sigma=p["sigma"], b_max=p["b_max"], resolutions=p["resolutions"])
    if "user_sigma" in p:
        args.update(user_sigma=np.array(p["user_sigma"]), user_b=np.array(p["user_b"]))
    return args


# ---- argument checks ------------------------------------------------------------------

def _reals(name, value, allow_scalar=True):
    """A 1-D float64 array of `value` (a real scalar or a sequence of reals)."""
    if isinstance(value, (str, bytes)):
        raise ValueError(f"{name} is {value!r}; expected a real number or an array of them")
    try:
        array = np.asarray(value)
    except Exception:
        raise ValueError(f"{name} is not a number or an array of numbers") from None
    if array.dtype.kind in "mM":
        # numpy counts a timedelta64 as an integer of its unit; which unit t means is not ours to guess.
        raise ValueError(f"{name} has values of type {array.dtype}; expected real numbers (for a duration "
                         f"in seconds, divide it by np.timedelta64(1, 's'))")
    if array.dtype == bool or not (np.issubdtype(array.dtype, np.integer) or np.issubdtype(array.dtype, np.floating)):
        kind = "complex" if np.iscomplexobj(array) else str(array.dtype)
        raise ValueError(f"{name} has values of type {kind}; expected real numbers")
    if array.ndim == 0:
        if not allow_scalar:
            raise ValueError(f"{name} is a scalar; expected a sequence")
        array = array.reshape(1)
    if array.ndim != 1:
        raise ValueError(f"{name} has shape {array.shape}; expected a scalar or a 1-D array")
    return np.ascontiguousarray(array, dtype=np.float64)


def _real(name, value):
    if isinstance(value, bool) or not isinstance(value, numbers.Real):
        raise ValueError(f"{name} is {value!r}; expected a real number")
    return _float(name, value)


def _float(name, value):
    """float(value), or a ValueError where it is beyond the range of a double."""
    try:
        return float(value)
    except OverflowError:
        raise ValueError(f"{name} is {_short(value)}; expected a number within the range of a "
                         "double (about 1.8e308)") from None


def _short(value):
    text = repr(value)
    return text if len(text) <= 40 else text[:37] + "..."


def _text(name, value):
    """A str that can be passed on as UTF-8 (no lone surrogates), or a ValueError."""
    try:
        value.encode("utf-8")
    except UnicodeEncodeError as error:
        raise ValueError(f"{name} holds {value[error.start]!r} at index {error.start}, which is not a "
                         "character (a lone surrogate); expected text") from None
    return value


def _per_time(name, value, count):
    """A real per time: a scalar for all, or one per time."""
    array = _reals(name, value)
    if array.size == 1 and count != 1:
        return np.full(count, array[0])
    if array.size != count:
        raise ValueError(f"{name} has {array.size} values for {count} times; expected one, or one per time")
    return array


def _sizes(sizes):
    if isinstance(sizes, numbers.Integral) and not isinstance(sizes, bool):
        sizes = (sizes,)
    try:
        items = list(sizes)
    except TypeError:
        raise ValueError(f"sizes is {sizes!r}; expected a sequence of positive integers") from None
    out = []
    for k, n in enumerate(items):
        if isinstance(n, bool) or not isinstance(n, numbers.Integral):
            raise ValueError(f"sizes[{k}] is {n!r}; expected a positive integer")
        if not -2**31 <= n <= 2**31 - 1:  # smaller ones are the engine's to check
            raise ValueError(f"sizes[{k}] is {n}; expected a positive integer below 2^31")
        out.append(int(n))
    if not out:
        raise ValueError("sizes is empty; expected at least one expansion size")
    return out


def _resolutions(resolutions):
    try:
        pairs = [tuple(r) for r in resolutions]
    except TypeError:
        raise ValueError(f"resolutions is {resolutions!r}; expected a sequence of (sigma step, b step) pairs") from None
    if not pairs:
        raise ValueError("resolutions is empty; expected at least one (sigma step, b step) pair")
    for k, pair in enumerate(pairs):
        if len(pair) != 2:
            raise ValueError(f"resolutions[{k}] is {pair!r}; expected a (sigma step, b step) pair")
    return ([_real(f"resolutions[{k}][0]", p[0]) for k, p in enumerate(pairs)],
            [_real(f"resolutions[{k}][1]", p[1]) for k, p in enumerate(pairs)])


def _params(params):
    if params is None:
        return []
    if not isinstance(params, dict):
        raise ValueError(f"params is {params!r}; expected a dict of names and real values")
    out = []
    for name, value in params.items():
        if not isinstance(name, str):
            raise ValueError(f"params: the name {name!r} is not a string")
        _text(f"params: the name {name!r}", name)
        if isinstance(value, bool) or not isinstance(value, numbers.Real):
            raise ValueError(f"params[{name!r}] is {_short(value)}; expected a finite real number")
        number = _float(f"params[{name!r}]", value)
        if not math.isfinite(number):
            raise ValueError(f"params[{name!r}] is {value!r}; expected a finite real number")
        out.append((name, number))
    return out


# The engine's refusals name the fields of its options; these are the arguments of
# invert() that carry them, as functions of the index.
_ARGUMENTS = {
    "t": lambda k: f"t[{k}]",
    "rel_err": lambda k: "rel_err",
    "rel_errs": lambda k: f"rel_err[{k}]" if k >= 0 else "rel_err",
    "sizes": lambda k: f"sizes[{k}]" if k >= 0 else "sizes",
    "pairs.sigma": lambda k: f"user_sigma[{k}]",
    "pairs.b": lambda k: f"user_b[{k}]",
    "pairs": lambda k: "user_sigma",
    "sigma": lambda k: "sigma",
    "sigma_min": lambda k: "sigma[0]",
    "sigma_max": lambda k: "sigma[1]",
    "b_max": lambda k: "b_max",
    "resolutions.sigma": lambda k: f"resolutions[{k}][0]",
    "resolutions.b": lambda k: f"resolutions[{k}][1]",
    "resolutions": lambda k: f"resolutions[{k}]" if k >= 0 else "resolutions",
    "method": lambda k: "method",
}


def _reworded(error, one_request=False):
    """The engine's refusal of an option as a ValueError naming the argument of invert();
    `one_request`: rel_err was one number for every time."""
    refusal = getattr(error, "refusal", None)
    if refusal is None or refusal["field"] not in _ARGUMENTS:
        return error
    name = _ARGUMENTS[refusal["field"]](refusal["index"])
    if refusal["field"] == "rel_errs" and one_request:
        name = "rel_err"
    if refusal["length"]:
        name = f"the size of {name}"
    prefix = "" if refusal["field"] == "method" else "parameters: "
    renamed = ValueError(f"{prefix}{name} is {refusal['found']}; expected {refusal['expected']}")
    renamed.kind = error.kind
    renamed.refusal = refusal
    return renamed


def _batch_function(F, params):
    """The engine's view of a Python transform: a complex128 array of points in,
    a C-contiguous complex128 array of as many values out, or a ValueError."""
    kwargs = dict(params)

    def batch(s):
        values = F(s, **kwargs) if kwargs else F(s)
        try:
            out = np.asarray(values)
        except Exception:
            raise ValueError(f"F returned {type(values).__name__}; expected an array of complex numbers") from None
        if out.dtype == object or not (np.issubdtype(out.dtype, np.number) or out.dtype == bool):
            raise ValueError(f"F returned values of dtype {out.dtype}; expected complex numbers")
        if out.shape != s.shape:
            raise ValueError(f"F returned an array of shape {out.shape} for {s.size} points; "
                             f"expected shape {s.shape}")
        return np.ascontiguousarray(out, dtype=np.complex128)

    return batch


def invert(F: Transform, t: Reals, rel_err: Reals = 1e-8, sizes: Union[int, Sequence[int], None] = None,
           sigma: Tuple[float, float] = (0.0, 30.0), b_max: float = 30.0,
           resolutions: Sequence[Tuple[float, float]] = ((1.0, 1.0), (0.5, 0.5)), method: str = "auto",
           params: Optional[Mapping[str, float]] = None, user_sigma: Optional[Reals] = None,
           user_b: Optional[Reals] = None, max_grid_points: int = _orvane.max_grid_points,
           progress: Optional[Callable[[int, int], Any]] = None) -> InversionResult:
    """Inverse Laplace transform f(t) of F(s) at the times t, with predicted errors.

    Parameters
    ----------
    F : str or callable
        An expression in ``s`` (the grammar of the command line's ``--expr``, e.g.
        ``"1/(s+a)**2"``), evaluated without a C++ compiler; or a Python
        function that takes a complex128 array of points and returns F at them
        (an array of the same shape), called with whole batches, with `params`
        as keyword arguments.
    t : float or array_like
        The time or times, each 0 or more. The result has the shape of `t`.
    rel_err : float or array_like, optional
        The requested relative error: one for every time, or one per time.
    sizes : int or sequence of int, optional
        The expansion sizes N of the Weeks method, tried in order. None (the
        default): 64, then 128 and 256 for the times that 64 leaves unmet
        (under "auto"), so that the default follows the request; sizes given
        are exactly what is tried.
    sigma : (float, float), optional
        The sigma search range [lower, upper); every singularity of F must lie
        left of its lower end.
    b_max : float, optional
        The upper end of the b search range (0, b_max].
    resolutions : sequence of (float, float), optional
        The (sigma step, b step) of each search, tried in order.
    method : {"auto", "weeks", "talbot", "dehoog"}, optional
        One of METHODS. "auto" inverts with de Hoog's method first, each value vouched
        for by independent checks, then runs the Weeks search for the times de Hoog
        leaves unmet, and keeps the best vouched-for value of each time.
    params : dict of str to float, optional
        Real constants of the expression (or keyword arguments of the function).
    user_sigma, user_b : float or array_like, optional
        Given together (one for every time, or one per time): no search, each time
        is inverted at this (sigma, b).
    max_grid_points : int, optional
        The most (sigma, b) points of one search grid (floor(width / step) along
        each axis multiplied); a finer search is refused before any work.
    progress : callable, optional
        Called as ``progress(done, total)`` from the calling thread as times are
        done (after each time of a search); an exception it raises ends the run
        and is raised again. None (the default): quiet.

    Returns
    -------
    InversionResult
        f(t), the (sigma, b), N and method used, the predicted absolute and
        relative errors, whether each request was met and, where not, why
        (``reasons``).

    Raises
    ------
    InputError
        (a ValueError and an OrvaneError) for bad input, refused before any work,
        with the command line's message naming the argument, e.g.
        ``parameters: t[1] is -2; expected ...``.
    EngineError
        (a RuntimeError and an OrvaneError) when the engine or the device fails.

    Notes
    -----
    An exception raised by a Python `F` is raised again as it was. The
    interpreter lock is released while the engine works.

    Examples
    --------
    >>> r = orvane.invert("1/(s+1)", [0.5, 1.0], rel_err=1e-10)
    >>> r.f.real, r.met
    (array([0.60653066, 0.36787944]), array([ True,  True]))
    >>> r = orvane.invert("1/s^2", 2.0)          # a scalar t: scalars
    >>> round(float(r.f.real), 10), bool(r.met)
    (2.0, True)
    """
    larger_sizes = [128, 256] if sizes is None else []
    if sizes is None:
        sizes = (64,)
    try:
        checked = _checked(t, rel_err, sizes, sigma, b_max, resolutions, method, params, user_sigma, user_b)
    except InputError:
        raise
    except ValueError as error:
        raise InputError(str(error)) from None
    shape, times, requested, size_list, sigmin, sigmax, tols, tolb, bmax, param_list, sigma_user, b_user = checked
    if isinstance(max_grid_points, bool) or not isinstance(max_grid_points, numbers.Integral) \
            or not 1 <= max_grid_points <= 2**63 - 1:
        raise InputError(f"max_grid_points is {_short(max_grid_points)}; expected a positive integer")
    if progress is not None and not callable(progress):
        raise InputError(f"progress is {_short(progress)}; expected a function of (done, total) or None")

    if isinstance(F, str):
        try:
            transform = _text("F", F)
        except ValueError as error:
            raise InputError(str(error)) from None
    elif callable(F):
        transform = _batch_function(F, param_list)
    else:
        raise InputError(f"F is {type(F).__name__}; expected an expression string or a callable")

    try:
        out = _orvane.invert(transform, times, requested, size_list, sigmin, sigmax, list(zip(tols, tolb)),
                             bmax, sigma_user, b_user, method, param_list if isinstance(F, str) else [],
                             int(max_grid_points), progress, larger_sizes)
    except (ValueError, RuntimeError) as error:
        raised = from_engine(_reworded(error, one_request=np.ndim(rel_err) == 0))
        if raised is error:
            raise
        raise raised from None
    return InversionResult(out["t"], out["f"], out["sigma"], out["b"], out["abs_err"], out["rel_err"],
                           out["flag"], out["N"], out["method"], requested=requested,
                           engine_seconds=out["engine_seconds"], shape=shape, evaluations=out["evaluations"])


def _checked(t, rel_err, sizes, sigma, b_max, resolutions, method, params, user_sigma, user_b):
    """The arguments of invert() checked and converted; ValueError names the one at fault."""
    try:
        shape = np.shape(t)
    except Exception:  # a ragged list: refused below with _reals' message
        shape = (-1,)
    times = _reals("t", np.ravel(t) if len(shape) > 1 else t)
    requested = _per_time("rel_err", rel_err, times.size)
    size_list = _sizes(sizes)
    try:
        sigmin, sigmax = sigma
    except (TypeError, ValueError):
        raise ValueError(f"sigma is {sigma!r}; expected a (lower, upper) search range") from None
    sigmin, sigmax = _real("sigma[0]", sigmin), _real("sigma[1]", sigmax)
    if user_sigma is None and not sigmin < sigmax and math.isfinite(sigmin) and math.isfinite(sigmax):
        raise ValueError(f"sigma is ({sigmin:g}, {sigmax:g}); expected a (lower, upper) search range with "
                         "lower below upper")
    bmax = _real("b_max", b_max)
    tols, tolb = _resolutions(resolutions)
    if not isinstance(method, str):
        raise ValueError(f"method is {method!r}; expected {', '.join(METHODS[:-1])} or {METHODS[-1]}")
    param_list = _params(params)
    if (user_sigma is None) != (user_b is None):
        raise ValueError("user_sigma and user_b go together: give both (no search) or neither")
    if user_sigma is None:
        sigma_user, b_user = np.empty(0), np.empty(0)
    else:
        sigma_user = _per_time("user_sigma", user_sigma, times.size)
        b_user = _per_time("user_b", user_b, times.size)
    return shape, times, requested, size_list, sigmin, sigmax, tols, tolb, bmax, param_list, sigma_user, b_user
