"""A session with one board: deve-cli's ``session`` command, driven one
line at a time.

The Session starts ``deve-cli --json [global options] session`` in a
process group of its own, writes one command line per call and reads the
line's records up to its ``line_end`` record.  deve-cli does the work:
the open sequence, limits, the staged burns, the store and the radio made
safe on every way out.  The client only turns the records into typed
results and exceptions.
"""

from __future__ import annotations

import json
import os
import re
import selectors
import signal
import subprocess
import time

from dataclasses import dataclass
from typing import IO, Any, Callable, ClassVar, Mapping, Optional, TypeVar, Union

from . import records as _records
from .errors import (
    DeveError,
    DeveTimeout,
    Failed,
    Interrupted,
    Refused,
    SchemaMismatch,
    SessionEnded,
    UsageError,
    from_error_record,
)
from .results import (
    Burn,
    Cal,
    Close,
    Dpd,
    EfuseRead,
    End,
    Info,
    Mac,
    Open,
    PoolResult,
    Register,
    Result,
    RxResult,
    Temp,
    TrimResult,
    Tune,
    TxResult,
)

Json = Mapping[str, Any]
R = TypeVar("R", bound=Result)
PathLike = Union[str, "os.PathLike[str]"]

# How long deve-cli may take, after a SIGINT, to stop the radio, close the
# link and write its end record.
STOP_GRACE_S = 30.0
# What a call waits besides the time its own command asks for.
CALL_MARGIN_S = 30.0

# Words a session line carries without quotes.
_PLAIN = re.compile(r"[A-Za-z0-9_.,:/+=@%-]+")


def _quote(word: str) -> str:
    if any(c in word for c in "\n\r\0"):
        raise UsageError(f"a session line cannot carry a line break or NUL: {word[:40]!r}")
    if _PLAIN.fullmatch(word):
        return word
    if "'" not in word:
        return f"'{word}'"
    if '"' not in word:
        return f'"{word}"'
    raise UsageError(f"a word cannot hold both kinds of quote: {word[:40]!r}")


def _number(value: float) -> str:
    return str(int(value)) if float(value).is_integer() else repr(float(value))


class Session:
    """One board, one link, for the ``with`` block.

    Keyword arguments are deve-cli's global options: ``meta`` (a mapping of
    --meta pairs), ``limits`` (a limit file), ``store`` (a store URL),
    ``port``, ``supply``, ``crystal``, ``open`` ("full"/"quick"),
    ``stop_on_fail``, ``unjudged_ok``, ``library_log``.  ``cli`` is the
    program (default: $DEVE_CLI, else ``deve-cli`` on the PATH); ``env``
    adds variables for it (XOLT_FUSE_FILE, XOLT_LIBRARY, ...); ``stderr``
    takes its standard error (default: this process's).

    ``timeout`` caps every call (default: the command's own time plus 30 s);
    ``open_timeout`` the open.  ``raise_on_fail``: a result that fails (a
    broken limit, a failed burn) is raised as LimitFailed or Failed instead
    of being returned; each call may override it.
    """

    def __init__(
        self,
        *,
        cli: Optional[PathLike] = None,
        meta: Optional[Mapping[str, str]] = None,
        limits: Optional[PathLike] = None,
        store: Optional[str] = None,
        port: Optional[str] = None,
        supply: Optional[str] = None,
        crystal: Optional[str] = None,
        open: Optional[str] = None,
        stop_on_fail: bool = False,
        unjudged_ok: bool = False,
        library_log: Optional[PathLike] = None,
        env: Optional[Mapping[str, str]] = None,
        stderr: Optional[IO[Any]] = None,
        timeout: Optional[float] = None,
        open_timeout: float = 120.0,
        raise_on_fail: bool = False,
    ) -> None:
        self.cli = os.fspath(cli) if cli is not None else os.environ.get("DEVE_CLI") or "deve-cli"
        args = ["--json"]
        for key, value in (meta or {}).items():
            args += ["--meta", f"{key}={value}"]
        settings: tuple[tuple[str, Optional[PathLike]], ...] = (
            ("--limits", limits),
            ("--store", store),
            ("--port", port),
            ("--supply", supply),
            ("--crystal", crystal),
            ("--open", open),
            ("--library-log", library_log),
        )
        for option, setting in settings:
            if setting is not None:
                args += [option, os.fspath(setting)]
        if stop_on_fail:
            args.append("--stop-on-fail")
        if unjudged_ok:
            args.append("--unjudged-ok")
        self.args: list[str] = args + ["session"]
        self.env = dict(env or {})
        self.stderr = stderr
        self.timeout = timeout
        self.open_timeout = open_timeout
        self.raise_on_fail = raise_on_fail
        #: The open record, once the link is open.
        self.opened: Optional[Open] = None
        #: The end record, once deve-cli has ended (after the with block).
        self.end: Optional[End] = None
        #: The close record: the radio's state read back at the close.
        self.closed: Optional[Close] = None
        #: Every record of the run, in order.
        self.records: list[Json] = []
        #: deve-cli's exit status once it ended (negative: ended by a signal).
        self.returncode: Optional[int] = None
        self._process: Optional[subprocess.Popen[bytes]] = None
        self._buffer = b""
        self._eof = False

    # The link.

    def __enter__(self) -> "Session":
        self.start()
        return self

    def __exit__(self, *exc: object) -> None:
        self.close()

    def start(self) -> Open:
        """Starts deve-cli and waits for the link to open.  Raises the
        open's error (LinkError, BoardBusy, Refused, ...) when it does not."""
        if self._process is not None:
            raise DeveError("the session was started already")
        env = dict(os.environ)
        env.update(self.env)
        try:
            self._process = subprocess.Popen(
                [self.cli, *self.args],
                stdin=subprocess.PIPE,
                stdout=subprocess.PIPE,
                stderr=self.stderr,
                env=env,
                process_group=0,  # Ctrl-C reaches deve-cli through this client, once
            )
        except OSError as e:
            raise DeveError(f"deve-cli could not be started ({self.cli}): {e.strerror or e}") from None
        deadline = time.monotonic() + self.open_timeout
        try:
            while self.opened is None:
                record = self._next(deadline)
                if record is None:
                    self._finish()
                    raise self._ended_error("deve-cli ended before the link opened")
                if record.get("type") == "open":
                    self._check_session_schema(record)
                    if record.get("opened"):
                        self.opened = Open.parse(record)
                elif record.get("type") == "error":
                    self._drain(time.monotonic() + STOP_GRACE_S)
                    self._finish()
                    raise from_error_record(record)
        except DeveTimeout:
            self._stop(signal.SIGINT)
            raise DeveTimeout(f"the link did not open within {self.open_timeout:g} s") from None
        except SchemaMismatch:
            self.close()
            raise
        except BaseException:
            self._stop(signal.SIGINT)
            raise
        return self.opened

    def close(self) -> Optional[End]:
        """Ends the session: deve-cli stops the radio, closes the link and
        writes the end record (``self.end``).  Safe to call twice."""
        process = self._process
        if process is None:
            return self.end
        if process.poll() is None and process.stdin is not None and not process.stdin.closed:
            try:
                process.stdin.close()
            except OSError:
                pass
        try:
            self._drain(time.monotonic() + STOP_GRACE_S)
        except BaseException:
            self._stop(signal.SIGINT)
            raise
        self._finish()
        return self.end

    @property
    def running(self) -> bool:
        """True while lines can be sent."""
        return self._process is not None and self.end is None and not self._eof

    # The commands.

    def info(self, *, timeout: Optional[float] = None) -> Info:
        return self._one(Info, ["info"], timeout)

    def reg_read(self, address: int, *, timeout: Optional[float] = None) -> int:
        """The 32-bit register at ``address``."""
        return self._one(Register, ["reg", "read", f"0x{address:08x}"], timeout).value

    def reg_write(self, address: int, value: int, *, timeout: Optional[float] = None) -> Register:
        return self._one(Register, ["reg", "write", f"0x{address:08x}", f"0x{value:08x}"], timeout)

    def tune(
        self,
        *,
        band: Optional[str] = None,
        channel: Union[int, str, None] = None,
        mode: Optional[str] = None,
        rate: Optional[str] = None,
        rf_gain: Optional[int] = None,
        dac: Optional[float] = None,
        b_gain: Optional[float] = None,
        offset: Optional[int] = None,
        timeout: Optional[float] = None,
    ) -> Tune:
        words = ["tune"] + _options(
            band=band, channel=channel, mode=mode, rate=rate, rf_gain=rf_gain, dac=dac, b_gain=b_gain, offset=offset
        )
        return self._one(Tune, words, timeout)

    def tx(
        self,
        *,
        seconds: Optional[int] = None,
        frames: Optional[int] = None,
        pit: Optional[int] = None,
        min_frames: Optional[int] = None,
        min_fps: Optional[float] = None,
        sequential: Optional["Sequential"] = None,
        timeout: Optional[float] = None,
        raise_on_fail: Optional[bool] = None,
    ) -> TxResult:
        words = ["tx"] + _options(seconds=seconds, frames=frames, pit=pit, min_frames=min_frames, min_fps=min_fps)
        words += _sequential_words(sequential)
        return self._judged(TxResult, words, timeout, 10 if seconds is None else seconds, raise_on_fail)

    def rx(
        self,
        *,
        seconds: Optional[int] = None,
        frames: Optional[int] = None,
        max_per: Optional[float] = None,
        min_frames: Optional[int] = None,
        max_errors: Optional[int] = None,
        sequential: Optional["Sequential"] = None,
        timeout: Optional[float] = None,
        raise_on_fail: Optional[bool] = None,
    ) -> RxResult:
        words = ["rx"] + _options(
            seconds=seconds, frames=frames, max_per=max_per, min_frames=min_frames, max_errors=max_errors
        )
        words += _sequential_words(sequential)
        return self._judged(RxResult, words, timeout, 10 if seconds is None else seconds, raise_on_fail)

    def trim_find(
        self,
        *,
        band: Optional[str] = None,
        channel: Union[int, str, None] = None,
        mode: Optional[str] = None,
        rate: Optional[str] = None,
        from_: Optional[int] = None,
        to: Optional[int] = None,
        frames: Optional[int] = None,
        max_per: Optional[float] = None,
        min_trim: Optional[int] = None,
        max_trim: Optional[int] = None,
        burn: bool = False,
        yes: bool = False,
        if_blank: bool = False,
        expect: Optional[int] = None,
        dry_run: bool = False,
        timeout: Optional[float] = None,
        raise_on_fail: Optional[bool] = None,
    ) -> TrimResult:
        """The frequency-offset trim with the lowest packet error rate; with
        ``burn=True`` (and ``yes=True``) the best trim is burnt and the
        radio runs with it."""
        words = ["trim", "find"] + _options(
            band=band,
            channel=channel,
            mode=mode,
            rate=rate,
            from_=from_,
            to=to,
            frames=frames,
            max_per=max_per,
            min_trim=min_trim,
            max_trim=max_trim,
        )
        if burn:
            words += ["--burn"] + _burn_flags("trim find --burn", yes, if_blank, expect, dry_run)
        return self._judged(TrimResult, words, timeout, 600, raise_on_fail)

    def cal(self, *, timeout: Optional[float] = None, raise_on_fail: Optional[bool] = None) -> Cal:
        return self._checked(self._one(Cal, ["cal"], timeout), raise_on_fail)

    def dpd(self, on: bool, *, timeout: Optional[float] = None, raise_on_fail: Optional[bool] = None) -> Dpd:
        return self._checked(self._one(Dpd, ["dpd", "on" if on else "off"], timeout), raise_on_fail)

    def temp(self, *, timeout: Optional[float] = None, raise_on_fail: Optional[bool] = None) -> Temp:
        return self._checked(self._one(Temp, ["temp"], timeout), raise_on_fail)

    def efuse_read(self, item: Optional[str] = None, *, timeout: Optional[float] = None) -> EfuseRead:
        return self._one(EfuseRead, ["efuse", "read"] + ([item] if item else []), timeout)

    def efuse_burn(
        self,
        item: str,
        *values: Union[int, str],
        yes: bool = False,
        if_blank: bool = False,
        expect: Union[int, str, None] = None,
        dry_run: bool = False,
        timeout: Optional[float] = None,
        raise_on_fail: Optional[bool] = None,
    ) -> Burn:
        """A staged, verified burn of an eFuse item.  Needs ``yes=True`` (or
        ``dry_run=True``): the client never answers the confirmation."""
        words = ["efuse", "burn", item, *map(str, values)] + _burn_flags(
            f"efuse burn {item}", yes, if_blank, expect, dry_run
        )
        return self._checked(self._one(Burn, words, timeout), raise_on_fail)

    def mac_read(self, *, timeout: Optional[float] = None) -> Mac:
        return self._one(Mac, ["mac", "read"], timeout)

    def mac_write(
        self,
        mac: str,
        *,
        yes: bool = False,
        if_blank: bool = False,
        expect: Optional[str] = None,
        dry_run: bool = False,
        timeout: Optional[float] = None,
        raise_on_fail: Optional[bool] = None,
    ) -> Burn:
        """Burns the MAC address (a staged, verified burn; ``yes=True``)."""
        words = ["mac", "write", mac] + _burn_flags("mac write", yes, if_blank, expect, dry_run)
        return self._checked(self._one(Burn, words, timeout), raise_on_fail)

    def mac_write_from_pool(
        self,
        pool: str,
        *,
        yes: bool = False,
        adopt: bool = False,
        dry_run: bool = False,
        timeout: Optional[float] = None,
        raise_on_fail: Optional[bool] = None,
    ) -> PoolResult:
        """Burns the pool's next free address (the store of ``store=``, the
        board known by ``meta={"serial": ...}``)."""
        words = ["mac", "write", "--from-pool", pool] + (["--adopt"] if adopt else [])
        words += _burn_flags(f"mac write --from-pool {pool}", yes, False, None, dry_run)
        return self._checked(self._one(PoolResult, words, timeout), raise_on_fail)

    def run(self, *words: str, timeout: Optional[float] = None) -> list[Result]:
        """Any session line, as words (``run("efuse", "summary")``): its
        results in order.  Errors are raised as for the other calls; a burn
        without --yes or --dry-run is refused, as for efuse_burn."""
        if ("burn" in words or "write" in words and "mac" in words) and not (
            "--yes" in words or "--dry-run" in words
        ):
            raise Refused("a burn needs --yes (or --dry-run): the client never answers the confirmation")
        return self._line(list(words), timeout or self.timeout or CALL_MARGIN_S)

    # The line protocol.

    def _judged(
        self, cls: type[R], words: list[str], timeout: Optional[float], seconds: float, raise_on_fail: Optional[bool]
    ) -> R:
        limit = timeout if timeout is not None else self.timeout or seconds + CALL_MARGIN_S
        return self._checked(self._pick(cls, self._line(words, limit), words), raise_on_fail)

    def _one(self, cls: type[R], words: list[str], timeout: Optional[float]) -> R:
        limit = timeout if timeout is not None else self.timeout or CALL_MARGIN_S
        return self._pick(cls, self._line(words, limit), words)

    def _checked(self, result: R, raise_on_fail: Optional[bool]) -> R:
        __tracebackhide__ = True
        should_raise = self.raise_on_fail if raise_on_fail is None else raise_on_fail
        judge: Optional[Callable[[], Optional[Failed]]] = getattr(result, "failure", None)
        failure = judge() if judge is not None else None
        if should_raise and failure is not None:
            raise failure
        return result

    @staticmethod
    def _pick(cls: type[R], results: list[Result], words: list[str]) -> R:
        for r in results:
            if isinstance(r, cls):
                return r
        raise DeveError(f"deve-cli gave no {cls.__name__} for: {' '.join(words)}")

    def _line(self, words: list[str], timeout: float) -> list[Result]:
        """Sends one line and returns its results; raises its error."""
        __tracebackhide__ = True
        line = " ".join(_quote(w) for w in words) + "\n"
        if not self.running or self._process is None or self._process.stdin is None:
            raise SessionEnded(self._over_text(), self._end_record())
        deadline = time.monotonic() + timeout
        got: list[Json] = []
        try:
            try:
                self._process.stdin.write(line.encode("utf-8"))
                self._process.stdin.flush()
            except (BrokenPipeError, OSError):
                pass  # deve-cli has ended: its records say why
            while True:
                record = self._next(deadline)
                if record is None:
                    break
                if record.get("type") in ("close", "end"):
                    self._drain(time.monotonic() + STOP_GRACE_S)
                    break
                got.append(record)
                if record.get("type") == "line_end":
                    break
        except DeveTimeout:
            self._stop(signal.SIGINT)
            raise DeveTimeout(
                f"{' '.join(words)}: no end of the line within {timeout:g} s; deve-cli was stopped "
                f"(radio {'safe' if self.closed and self.closed.safe else 'state unknown'})",
                self._end_record(),
            ) from None
        except BaseException:
            # Ctrl-C (KeyboardInterrupt) or any other way out: deve-cli stops
            # the radio on its own SIGINT, and the records are read to the end.
            self._stop(signal.SIGINT)
            raise
        errors = [r for r in got if r.get("type") == "error"]
        if errors:
            # An error ends the session: deve-cli closes the link and ends.
            self._drain(time.monotonic() + STOP_GRACE_S)
            self._finish()
            raise from_error_record(errors[0])
        if not any(r.get("type") == "line_end" for r in got):
            self._finish()
            raise self._ended_error(f"{' '.join(words)}: the session ended before the line did")
        return _records.compose(got)

    def _next(self, deadline: float) -> Optional[Json]:
        """The next record, or None at the end of deve-cli's output; raises
        DeveTimeout at the deadline."""
        process = self._process
        assert process is not None and process.stdout is not None
        fd = process.stdout.fileno()
        while b"\n" not in self._buffer:
            if self._eof:
                return None
            left = deadline - time.monotonic()
            if left <= 0:
                raise DeveTimeout("deve-cli did not answer in time")
            with selectors.DefaultSelector() as selector:
                selector.register(fd, selectors.EVENT_READ)
                if not selector.select(left):
                    continue
            chunk = os.read(fd, 65536)
            if not chunk:
                self._eof = True
                if self._buffer.strip():
                    self._buffer += b"\n"
                    break
                return None
            self._buffer += chunk
        raw, _, self._buffer = self._buffer.partition(b"\n")
        try:
            record = json.loads(raw)
        except ValueError:
            raise DeveError(f"deve-cli wrote a line that is not a record: {raw[:80]!r}") from None
        if not isinstance(record, dict):
            raise DeveError(f"deve-cli wrote a line that is not a record: {raw[:80]!r}")
        self.records.append(record)
        if record.get("type") == "close":
            self.closed = Close.parse(record)
        elif record.get("type") == "end":
            self.end = End.parse(record)
        return record

    def _drain(self, deadline: float) -> None:
        """Reads the records up to deve-cli's end."""
        while not self._eof:
            if self._next(deadline) is None:
                break

    def _stop(self, sig: int) -> None:
        """Stops deve-cli as Ctrl-C does (the radio made safe, the records
        written) and reads its records to the end; kills it only when it
        does not end in time."""
        process = self._process
        if process is None:
            return
        if process.poll() is None and self.end is None:
            try:
                process.send_signal(sig)
            except OSError:
                pass
        try:
            self._drain(time.monotonic() + STOP_GRACE_S)
        except DeveTimeout:
            process.kill()
        except DeveError:
            pass
        self._finish()

    def _finish(self) -> None:
        process = self._process
        if process is None:
            return
        for stream in (process.stdin, process.stdout):
            if stream is not None and not stream.closed:
                try:
                    stream.close()
                except OSError:
                    pass
        self._eof = True
        try:
            self.returncode = process.wait(timeout=STOP_GRACE_S)
        except subprocess.TimeoutExpired:
            process.kill()
            self.returncode = process.wait()

    def _check_session_schema(self, record: Json) -> None:
        _records.check_schema(record)
        if int(record.get("schema", 0)) < _records.SESSION_SCHEMA:
            raise SchemaMismatch(
                f"deve-cli writes record schema {record.get('schema')}, older than the "
                f"{_records.SESSION_SCHEMA} a session needs (its lines have no line_end record): "
                "install deve-cli of the same release as the deve package",
                record,
            )

    def _end_record(self) -> Json:
        return self.end.record if self.end is not None else {}

    def _over_text(self) -> str:
        if self.end is None:
            return "the session is not running"
        return f"the session has ended ({self.end.verdict}, exit code {self.end.exit_code})"

    def _ended_error(self, text: str) -> DeveError:
        if self.end is not None and self.end.verdict == "interrupted":
            signals = [r.get("signal") for r in self.records if r.get("type") == "interrupted"]
            return Interrupted(f"{text}: interrupted by {signals[0] if signals else 'a signal'}", self.end.record)
        if self.end is not None:
            return SessionEnded(f"{text}: {self._over_text()}", self.end.record)
        return SessionEnded(f"{text} (exit status {self.returncode})")


@dataclass(frozen=True)
class Sequential:
    """The sequential test of a tx or rx (deve-cli's --sequential and its
    settings; see docs/deve-cli.md): the run stops as soon as its counts
    decide its limit.  Unset settings take the limit set's, else deve-cli's
    defaults.  ``Sequential.FIXED`` counts the fixed frames even when the
    limit set chooses the sequential test (--fixed)."""

    false_pass: Optional[float] = None  # %, at the limit
    false_fail: Optional[float] = None  # %, at the limit minus the zone
    zone: Optional[float] = None
    decide_after: Optional[int] = None
    max_frames: Optional[int] = None
    fixed: bool = False

    FIXED: ClassVar["Sequential"]


Sequential.FIXED = Sequential(fixed=True)


def _sequential_words(sequential: Optional[Sequential]) -> list[str]:
    if sequential is None:
        return []
    if sequential.fixed:
        return ["--fixed"]
    return ["--sequential"] + _options(
        false_pass=sequential.false_pass,
        false_fail=sequential.false_fail,
        zone=sequential.zone,
        decide_after=sequential.decide_after,
        max_frames=sequential.max_frames,
    )


def _options(**values: Any) -> list[str]:
    """Command options from keyword arguments: max_per=5 -> --max-per 5,
    from_=100 -> --from 100; None leaves an option out."""
    words: list[str] = []
    for name, value in values.items():
        if value is None:
            continue
        words.append("--" + name.rstrip("_").replace("_", "-"))
        words.append(_number(value) if isinstance(value, (int, float)) and not isinstance(value, bool) else str(value))
    return words


def _burn_flags(what: str, yes: bool, if_blank: bool, expect: Union[int, str, None], dry_run: bool) -> list[str]:
    if not (yes or dry_run):
        raise Refused(f"{what}: a burn needs yes=True (or dry_run=True): the client never answers the confirmation")
    words = ["--yes"] if yes else []
    if dry_run:
        words.append("--dry-run")
    if if_blank:
        words.append("--if-blank")
    if expect is not None:
        words += ["--expect", str(expect)]
    return words


__all__ = ["Session", "STOP_GRACE_S", "CALL_MARGIN_S"]
