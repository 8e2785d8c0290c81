"""orvane.invert and its result: the arguments checked and converted, the
engine called (with the interpreter lock released), the records as numpy
arrays."""
import math
import numbers
import os
import stat

import numpy as np

from . import _orvane

__all__ = ["invert", "InversionResult", "read_csv", "read_parameters"]

COLUMNS = ("t", "re", "im", "sigma", "b", "abs_err", "rel_err", "flag", "N", "method")
METHODS = tuple(_orvane.methods)  # the engine's registry, "auto" last


class InversionResult:
    """The results of one inversion, one entry per time, as numpy arrays.

    t        the times (float64)
    f        f(t) (complex128)
    sigma, b the (sigma, b) used (for a Talbot record: the contour's shift and b = 0)
    abs_err  the predicted absolute error
    rel_err  the predicted relative error
    flag     0 where the requested relative error was met, 1 where not (int)
    N        the expansion size (the node count for Talbot) of the record kept
    method   the method that produced each record (one of METHODS but "auto")
    requested        the requested relative error of each time (None when unknown,
                     as for a result read back from csv)
    engine_seconds   the engine's own time for the run (0 when read back)
    """

    def __init__(self, t, f, sigma, b, abs_err, rel_err, flag, N, method, requested=None,
                 engine_seconds=0.0):
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

    def __len__(self):
        return len(self.t)

    @property
    def met(self):
        """True where the requested relative error was met."""
        return self.flag == 0

    def to_dict(self):
        """The columns by name (t, f, sigma, b, abs_err, rel_err, flag, N, method)
        as numpy arrays, e.g. for pandas.DataFrame(result.to_dict())."""
        return {"t": self.t.copy(), "f": self.f.copy(), "sigma": self.sigma.copy(), "b": self.b.copy(),
                "abs_err": self.abs_err.copy(), "rel_err": self.rel_err.copy(), "flag": self.flag.copy(),
                "N": self.N.copy(), "method": self.method.copy()}

    def csv_text(self):
        """The csv of `orvane --format csv`, as text."""
        return _orvane.csv_text(self.t, self.f, self.sigma, self.b, self.abs_err, self.rel_err,
                                self.flag.tolist(), self.N.tolist(), self.method.tolist())

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

    def __repr__(self):
        unmet = int(np.count_nonzero(self.flag))
        return (f"<InversionResult: {len(self)} times, {len(self) - unmet} met, {unmet} not met, "
                f"methods {sorted(set(self.method.tolist()))}>")


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


# The range of each integer column: (lowest, highest or None, what is expected).
_COLUMN_RANGES = {"flag": (0, 1, "0 or 1"), "N": (1, None, "an integer of at least 1")}


def read_csv(path):
    """Reads the csv that orvane --format csv or to_csv wrote back into an InversionResult.
    The file must be a regular file of at most 64 MiB; every line is checked (flag 0 or 1,
    N at least 1, t at least 0), and a ValueError names the line and the column."""
    lines = _read_regular_file(os.fspath(path)).splitlines()
    if not lines or lines[0].strip() != ",".join(COLUMNS):
        raise ValueError(f"{path}, line 1: expected the header {','.join(COLUMNS)}")
    columns = {name: [] for name in COLUMNS}
    for number, line in enumerate(lines[1:], start=2):
        if not line.strip():
            continue
        fields = line.split(",")
        if len(fields) != len(COLUMNS):
            raise ValueError(f"{path}, line {number}: expected {len(COLUMNS)} fields, found {len(fields)}")
        for name, text in zip(COLUMNS, fields):
            try:
                if name in ("flag", "N"):
                    value = int(text)
                elif name == "method":
                    if text not in METHODS:
                        raise ValueError
                    value = text
                else:
                    value = float(text)
            except ValueError:
                raise ValueError(f"{path}, line {number}: {name} is {text!r}; expected "
                                 + ("an integer" if name in ("flag", "N") else
                                    "a method name" if name == "method" else "a number")) from None
            if name == "t" and not (math.isfinite(value) and value >= 0):
                raise ValueError(f"{path}, line {number}: t is {text!r}; expected a finite number of at least 0")
            if name in _COLUMN_RANGES:
                low, high, expected = _COLUMN_RANGES[name]
                if value < low or (high is not None and value > high):
                    raise ValueError(f"{path}, line {number}: {name} is {text!r}; expected {expected}")
            columns[name].append(value)
    f = np.array(columns["re"], dtype=np.float64) + 1j * np.array(columns["im"], dtype=np.float64)
    return InversionResult(columns["t"], f, columns["sigma"], columns["b"], columns["abs_err"],
                           columns["rel_err"], columns["flag"], columns["N"], columns["method"])


def read_parameters(path):
    """The arguments of invert() that a parameter file (the command line's UserParameters.txt
    format) holds, as a dict: orvane.invert(F, **orvane.read_parameters(path)) runs what
    `orvane path --expr F` runs. The file is read and checked as the command line does,
    with its messages (ValueError). A SearchSwitch other than 0 or 1 is refused."""
    p = _orvane.read_parameters(os.fspath(path))
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
    "sigma_min": lambda k: "sigma[0]",
    "sigma_max": lambda k: "sigma[1]",
    "b_max": lambda k: "b_max",
    "resolutions.sigma": lambda k: f"resolutions[{k}][0]",
    "resolutions.b": lambda k: f"resolutions[{k}][1]",
    "resolutions": lambda k: "resolutions",
    "method": lambda k: "method",
}


def _reworded(error):
    """The engine's refusal of an option as a ValueError naming the argument of invert()."""
    refusal = getattr(error, "refusal", None)
    if refusal is None or refusal["field"] not in _ARGUMENTS:
        return error
    name = _ARGUMENTS[refusal["field"]](refusal["index"])
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


def invert(F, t, rel_err=1e-8, sizes=(64,), sigma=(0.0, 30.0), b_max=30.0,
           resolutions=((1.0, 1.0), (0.5, 0.5)), method="auto", params=None, user_sigma=None,
           user_b=None):
    """The inverse Laplace transform f(t) of F(s) at the times t.

    F            an expression in s (the command line's --expr grammar, e.g. "1/(s+a)^2"),
                 compiled at run time and cached on disk; or a Python function that takes a
                 complex numpy array of points and returns F at them (called with whole
                 batches; with `params` it gets them as keyword arguments)
    t            a time or an array of times (each 0 or more)
    rel_err      the requested relative error: one for all times, or one per time
    sizes        the expansion sizes N to try, in order
    sigma        the (lower, upper) ends of the sigma search range
    b_max        the upper end of the b search range (b starts above 0)
    resolutions  the (sigma step, b step) of each tolerance, tried in order
    method       one of METHODS: "weeks", "talbot" or "auto" (each method in turn for the
                 times the ones before it do not meet)
    params       a dict of real constants for the expression (name: value)
    user_sigma, user_b   given (both; one for all times or one per time): no search, the
                 inversion uses this (sigma, b)

    Returns an InversionResult. Bad input raises ValueError with the command line's message
    (naming the argument); a failed device raises RuntimeError; an exception raised by a
    Python F is raised again.
    """
    times = _reals("t", t)
    requested = _per_time("rel_err", rel_err, times.size)
    size_list = _sizes(sizes)
    try:
        sigmin, sigmax = sigma
    except (TypeError, ValueError):
        raise ValueError(f"sigma is {sigma!r}; expected a (lower, upper) search range") from None
    sigmin, sigmax = _real("sigma[0]", sigmin), _real("sigma[1]", sigmax)
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

    if isinstance(F, str):
        transform = _text("F", F)
    elif callable(F):
        transform = _batch_function(F, param_list)
    else:
        raise ValueError(f"F is {type(F).__name__}; expected an expression string or a callable")

    try:
        out = _orvane.invert(transform, times, requested, size_list, sigmin, sigmax, list(zip(tols, tolb)),
                             bmax, sigma_user, b_user, method, param_list if isinstance(F, str) else [])
    except ValueError as error:
        reworded = _reworded(error)
        if reworded is error:
            raise
        raise reworded from None
    return InversionResult(out["t"], out["f"], out["sigma"], out["b"], out["abs_err"], out["rel_err"],
                           out["flag"], out["N"], out["method"], requested=requested,
                           engine_seconds=out["engine_seconds"])
