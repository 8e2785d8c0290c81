"""The exceptions of the package. Every failure of orvane is an OrvaneError;
bad input is also a ValueError and a failure of the engine or the device also
a RuntimeError, so that `except ValueError` keeps catching what it caught."""
from __future__ import annotations

from typing import Any, Dict, Optional

__all__ = ["OrvaneError", "InputError", "EngineError"]


class OrvaneError(Exception):
    """Base class of the errors orvane raises.

    Attributes
    ----------
    kind : str or None
        The engine's name for the failure ("parameters", "parameter file", "no device",
        "allocation", ...), or None for a check made in Python before the engine ran.
    refusal : dict or None
        For an option the engine refused: its ``field``, ``index``, ``found`` and
        ``expected`` values.
    """

    def __init__(self, message: str, kind: Optional[str] = None,
                 refusal: Optional[Dict[str, Any]] = None) -> None:
        super().__init__(message)
        self.kind = kind
        self.refusal = refusal

    def __reduce__(self):
        # Kind and refusal travel too (a Dask worker's failure reaches the client whole).
        return (type(self), (str(self), self.kind, self.refusal))


class InputError(OrvaneError, ValueError):
    """Bad input: an argument, an expression that does not parse or compile, a
    parameter file, a grid beyond the machine's memory."""


class EngineError(OrvaneError, RuntimeError):
    """The engine or the device failed: no usable device, a failed allocation,
    FFT or device call."""


def from_engine(error: BaseException) -> BaseException:
    """The engine's ValueError or RuntimeError (which carry a ``kind``) as an
    InputError or EngineError with the same message; anything else unchanged
    (an exception raised by a Python F is raised again as it was)."""
    kind = getattr(error, "kind", None)
    if isinstance(error, OrvaneError) or kind is None:
        return error
    cls = InputError if isinstance(error, ValueError) else EngineError if isinstance(error, RuntimeError) else None
    if cls is None:
        return error
    return cls(str(error), kind=kind, refusal=getattr(error, "refusal", None))
