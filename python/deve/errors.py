"""The exceptions of the deve package, one per kind of failure.

Every exception holds the record that caused it (``record``: the JSON object
deve-cli wrote, as a dictionary), and ``exit_code`` is the exit code deve-cli
gives that kind of failure.
"""

from __future__ import annotations

from typing import Any, Mapping, Optional

Json = Mapping[str, Any]


class DeveError(Exception):
    """Any failure deve-cli reported, or one of the client itself."""

    exit_code: Optional[int] = None

    def __init__(self, message: str, record: Optional[Json] = None) -> None:
        super().__init__(message)
        self.message = message
        self.record: Json = record if record is not None else {}

    @property
    def kind(self) -> Optional[str]:
        """The error record's kind (``link``, ``usage``, ...), when it has one."""
        kind = self.record.get("kind")
        return kind if isinstance(kind, str) else None


class LinkError(DeveError):
    """The link or the board: the link did not open, the board did not
    answer, or the store of a pool burn could not be reached (exit code 3)."""

    exit_code = 3


class BoardBusy(LinkError):
    """Another process holds the board; ``holder`` is its process id (None
    when the board cannot tell)."""

    def __init__(self, message: str, record: Optional[Json] = None) -> None:
        super().__init__(message, record)
        holder = self.record.get("holder")
        self.holder: Optional[int] = holder if isinstance(holder, int) else None


class UsageError(DeveError):
    """A mistyped command or a value out of its range (exit code 2).  Raised
    by the client too, before anything is sent, for words a session line
    cannot carry."""

    exit_code = 2


class Refused(DeveError):
    """A refusal: a refused tune or burn, a store that cannot take the run,
    output that could not be written (exit code 2).  A burn without
    ``yes=True`` is refused by the client before anything is sent."""

    exit_code = 2


class Failed(DeveError):
    """A result that failed (exit code 1): a burn that failed its read-back,
    a calibration that failed, a run cut short.  ``result`` is the typed
    result."""

    exit_code = 1

    def __init__(self, message: str, result: Any, record: Optional[Json] = None) -> None:
        super().__init__(message, record)
        self.result = result


class LimitFailed(Failed):
    """A measurement broke its limits.  ``limits`` are the broken limits,
    each with the value measured."""

    def __init__(self, message: str, result: Any, limits: tuple[Any, ...], record: Optional[Json] = None) -> None:
        super().__init__(message, result, record)
        self.limits = limits


class SessionEnded(DeveError):
    """The session is over (an error or a signal ended it, or the block
    closed it): no further line can be sent.  ``session.end`` says why."""


class SchemaMismatch(DeveError):
    """deve-cli writes a record schema this package does not read."""


class DeveTimeout(DeveError, TimeoutError):
    """A call did not finish in its time.  deve-cli was stopped as by Ctrl-C,
    which leaves the radio safe, and the session is over."""


class Interrupted(DeveError):
    """deve-cli was stopped by a signal that did not come from this client
    (SIGTERM, SIGHUP, or Ctrl-C at the terminal of a shared process group)."""

    exit_code = 130


# The exception of each error record's kind.
ERROR_KINDS: dict[str, type[DeveError]] = {
    "usage": UsageError,
    "refused": Refused,
    "store": Refused,
    "output": Refused,
    "internal": Refused,
    "link": LinkError,
    "board": LinkError,
    "pool": LinkError,
    "busy": BoardBusy,
}


def from_error_record(record: Json) -> DeveError:
    """The exception for an ``error`` record of deve-cli."""
    kind = str(record.get("kind", ""))
    message = str(record.get("message", "error"))
    cls = ERROR_KINDS.get(kind, DeveError)
    return cls(f"{record.get('command', '')}: {message}" if record.get("command") else message, record)
