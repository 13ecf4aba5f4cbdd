"""Typed results, built from deve-cli's line-JSON records.

Every result is a frozen dataclass.  The fields are the record's, with the
same names (``per``, ``frames``, ``verdict``, ...) and units (per cent,
frames, seconds, dB); ``record`` holds the record itself for anything not
typed here.  Register words and the chip identifier are numbers, not the
records' ``0x%08x`` strings.
"""

from __future__ import annotations

from dataclasses import dataclass, field
from typing import Any, Mapping, Optional, Sequence

from .errors import Failed, LimitFailed

Json = Mapping[str, Any]


def _opt_int(v: Any) -> Optional[int]:
    return int(v) if isinstance(v, (int, float)) and not isinstance(v, bool) else None


def _opt_float(v: Any) -> Optional[float]:
    return float(v) if isinstance(v, (int, float)) and not isinstance(v, bool) else None


def _opt_str(v: Any) -> Optional[str]:
    return v if isinstance(v, str) else None


def _word(v: Any) -> Optional[int]:
    """A register word or chip identifier, "0x7c000000" or a number."""
    if isinstance(v, str):
        try:
            return int(v, 16)
        except ValueError:
            return None
    return _opt_int(v)


@dataclass(frozen=True, kw_only=True)
class Result:
    """What every record gives: its step (position in the session, from 1;
    0 for open, close and end), its command and the record itself."""

    step: int
    command: str
    record: Json = field(repr=False, compare=False)

    @property
    def type(self) -> str:
        return str(self.record.get("type", ""))

    @staticmethod
    def base(r: Json) -> dict[str, Any]:
        return {"step": int(r.get("step", 0)), "command": str(r.get("command", "")), "record": r}


@dataclass(frozen=True, kw_only=True)
class Limit:
    """One limit as judged: ``value`` (measured) ``relation`` ``limit``."""

    name: str
    relation: str
    limit: float
    value: Optional[float]
    unit: Optional[str]
    source: Optional[str]
    passed: bool

    @staticmethod
    def parse(r: Json) -> "Limit":
        return Limit(
            name=str(r.get("name", "")),
            relation=str(r.get("relation", "")),
            limit=float(r.get("limit", 0)),
            value=_opt_float(r.get("value")),
            unit=_opt_str(r.get("unit")),
            source=_opt_str(r.get("source")),
            passed=bool(r.get("pass", False)),
        )

    def __str__(self) -> str:
        unit = f" {self.unit}" if self.unit else ""
        value = "nothing measured" if self.value is None else f"{self.value:g}{unit}"
        return f"{self.name} {value}, limit {self.relation} {self.limit:g}{unit}" + (
            f" ({self.source})" if self.source else ""
        )


@dataclass(frozen=True, kw_only=True)
class OperatingPoint:
    """The radio's operating point, as tune, tx and rx give it."""

    band: str
    channel: int
    channel_label: str
    frequency: Optional[int]
    mode: str
    rate: str
    rate_code: Optional[int]
    rf_gain: Optional[float]
    dac: Optional[float]
    b_gain: Optional[float]
    offset: Optional[int]

    @staticmethod
    def parse(r: Json) -> "OperatingPoint":
        return OperatingPoint(
            band=str(r.get("band", "")),
            channel=int(r.get("channel", 0)),
            channel_label=str(r.get("channel_label", "")),
            frequency=_opt_int(r.get("frequency")),
            mode=str(r.get("mode", "")),
            rate=str(r.get("rate", "")),
            rate_code=_opt_int(r.get("rate_code")),
            rf_gain=_opt_float(r.get("rf_gain")),
            dac=_opt_float(r.get("dac")),
            b_gain=_opt_float(r.get("b_gain")),
            offset=_opt_int(r.get("offset")),
        )


@dataclass(frozen=True, kw_only=True)
class Judged(Result):
    """A result judged against limits: tx, rx and trim find."""

    limit_set: Optional[str]
    limits: tuple[Limit, ...]
    verdict: str

    @property
    def passed(self) -> bool:
        return self.verdict == "pass"

    def failure(self) -> Optional[Failed]:
        """The exception this result stands for, or None when it passed:
        LimitFailed when limits broke, Failed otherwise (a run cut short,
        a measurement no limit judges under a limit file)."""
        if self.passed:
            return None
        broken = tuple(lim for lim in self.limits if not lim.passed)
        where = f"step {self.step} {self.command}"
        if broken:
            return LimitFailed(f"{where}: " + "; ".join(str(lim) for lim in broken), self, broken, self.record)
        if self.record.get("complete") is False:
            why = f"the run did not complete (ended by {self.record.get('ended_by', 'unknown')})"
        elif self.record.get("best", 0) is None:
            why = "no trim to trust"
        else:
            why = "no limit judges it"
        return Failed(f"{where}: {why}", self, self.record)

    def check(self) -> "Judged":
        """Raises failure() when the result did not pass; returns itself."""
        __tracebackhide__ = True
        failure = self.failure()
        if failure is not None:
            raise failure
        return self


@dataclass(frozen=True, kw_only=True)
class Open(Result):
    """The open record: the link's settings and whether it opened."""

    port: str
    supply: str
    crystal: str
    open: str
    status: str
    opened: bool
    chip_id: Optional[int]
    freq_offset: Optional[int]
    version: str
    host: str
    meta: Mapping[str, str]
    limits_file: Optional[str]
    schema: int

    @staticmethod
    def parse(r: Json) -> "Open":
        return Open(
            **Result.base(r),
            port=str(r.get("port", "")),
            supply=str(r.get("supply", "")),
            crystal=str(r.get("crystal", "")),
            open=str(r.get("open", "")),
            status=str(r.get("status", "")),
            opened=bool(r.get("opened", False)),
            chip_id=_word(r.get("chip_id")),
            freq_offset=_opt_int(r.get("freq_offset")),
            version=str(r.get("version", "")),
            host=str(r.get("host", "")),
            meta=dict(r.get("meta") or {}),
            limits_file=_opt_str(r.get("limits_file")),
            schema=int(r.get("schema", 0)),
        )


@dataclass(frozen=True, kw_only=True)
class Info(Result):
    """info: the chip's identity and the free eFuse bits."""

    chip_id: Optional[int]
    revision: Optional[int]
    revision_text: str
    transport_requested: str
    transport_loaded: Optional[str]
    free_bits: int

    @staticmethod
    def parse(r: Json) -> "Info":
        return Info(
            **Result.base(r),
            chip_id=_word(r.get("chip_id")),
            revision=_word(r.get("revision")),
            revision_text=str(r.get("revision_text", "")),
            transport_requested=str(r.get("transport_requested", "")),
            transport_loaded=_opt_str(r.get("transport_loaded")),
            free_bits=int(r.get("free_bits", 0)),
        )


@dataclass(frozen=True, kw_only=True)
class Register(Result):
    """reg read and reg write: one 32-bit register."""

    address: int
    value: int

    @staticmethod
    def parse(r: Json) -> "Register":
        return Register(**Result.base(r), address=_word(r.get("address")) or 0, value=_word(r.get("value")) or 0)


@dataclass(frozen=True, kw_only=True)
class Tune(Result):
    """tune: the operating point now, and the settings this call changed."""

    point: OperatingPoint
    applied: tuple[str, ...]

    @staticmethod
    def parse(r: Json) -> "Tune":
        return Tune(**Result.base(r), point=OperatingPoint.parse(r), applied=tuple(r.get("applied") or ()))


@dataclass(frozen=True, kw_only=True)
class TxSample:
    """One second of a transmit run."""

    second: int
    frames: int
    frames_per_second: float
    total_frames: int


@dataclass(frozen=True, kw_only=True)
class RxSample:
    """One reading of a receive run: that second's counts and the run's."""

    second: int
    errors: int
    frames: int
    per: Optional[float]
    total_errors: int
    total_frames: int
    total_per: Optional[float]


@dataclass(frozen=True, kw_only=True)
class TxResult(Judged):
    """tx: frames transmitted [frame], rate [frame/s], which ended the run;
    ``ending`` "decided pass", "decided fail", "maximum" (a sequential run
    undecided at its maximum) or "fixed" (a fixed count; records before
    schema 5)."""

    point: OperatingPoint
    pit: Optional[int]
    frames_wanted: Optional[int]
    ended_by: str
    seconds: int
    elapsed: float
    frames: int
    frames_per_second: Optional[float]
    complete: bool
    ending: str
    samples: tuple[TxSample, ...]

    @staticmethod
    def parse(r: Json, samples: Sequence[Json] = ()) -> "TxResult":
        return TxResult(
            **Result.base(r),
            **_judged(r),
            point=OperatingPoint.parse(r),
            pit=_opt_int(r.get("pit")),
            frames_wanted=_opt_int(r.get("frames_wanted")),
            ended_by=str(r.get("ended_by", "")),
            seconds=int(r.get("seconds", 0)),
            elapsed=float(r.get("elapsed", 0)),
            frames=int(r.get("frames", 0)),
            frames_per_second=_opt_float(r.get("frames_per_second")),
            complete=bool(r.get("complete", False)),
            ending=str(r.get("ending", "fixed")),
            samples=tuple(
                TxSample(
                    second=int(s.get("second", 0)),
                    frames=int(s.get("frames", 0)),
                    frames_per_second=float(s.get("frames_per_second", 0)),
                    total_frames=int(s.get("total_frames", 0)),
                )
                for s in samples
            ),
        )


@dataclass(frozen=True, kw_only=True)
class RxResult(Judged):
    """rx: errors and frames received [frame], packet error rate ``per`` [%]
    (None when nothing was received), which ended the run; ``ending`` as
    for ``TxResult``."""

    point: OperatingPoint
    frames_wanted: Optional[int]
    ended_by: str
    seconds: int
    elapsed: float
    errors: int
    frames: int
    per: Optional[float]
    per_text: str
    complete: bool
    ending: str
    samples: tuple[RxSample, ...]

    @staticmethod
    def parse(r: Json, samples: Sequence[Json] = ()) -> "RxResult":
        return RxResult(
            **Result.base(r),
            **_judged(r),
            point=OperatingPoint.parse(r),
            frames_wanted=_opt_int(r.get("frames_wanted")),
            ended_by=str(r.get("ended_by", "")),
            seconds=int(r.get("seconds", 0)),
            elapsed=float(r.get("elapsed", 0)),
            errors=int(r.get("errors", 0)),
            frames=int(r.get("frames", 0)),
            per=_opt_float(r.get("per")),
            per_text=str(r.get("per_text", "")),
            complete=bool(r.get("complete", False)),
            ending=str(r.get("ending", "fixed")),
            samples=tuple(
                RxSample(
                    second=int(s.get("second", 0)),
                    errors=int(s.get("errors", 0)),
                    frames=int(s.get("frames", 0)),
                    per=_opt_float(s.get("per")),
                    total_errors=int(s.get("total_errors", 0)),
                    total_frames=int(s.get("total_frames", 0)),
                    total_per=_opt_float(s.get("total_per")),
                )
                for s in samples
            ),
        )


@dataclass(frozen=True, kw_only=True)
class Preview:
    """What a burn will program: the record, the value before and after,
    the free bits before and after."""

    item: str
    record_type: int
    position: int
    bits: Optional[int]
    data: str
    value_before: Optional[str]
    value_after: str
    free_bits_before: int
    free_bits_after: int
    dry_run: bool

    @staticmethod
    def parse(r: Json) -> "Preview":
        return Preview(
            item=str(r.get("item", "")),
            record_type=int(r.get("record_type", 0)),
            position=int(r.get("position", 0)),
            bits=_opt_int(r.get("bits")),
            data=str(r.get("data", "")),
            value_before=_opt_str(r.get("value_before")),
            value_after=str(r.get("value_after", "")),
            free_bits_before=int(r.get("free_bits_before", 0)),
            free_bits_after=int(r.get("free_bits_after", 0)),
            dry_run=bool(r.get("dry_run", False)),
        )


@dataclass(frozen=True, kw_only=True)
class Burn(Result):
    """A staged, verified eFuse burn (efuse burn, mac write, trim find's
    burn).  ``outcome``: ``burned``, ``unchanged`` and ``dry-run`` pass;
    ``failed`` and ``declined`` fail; ``refused`` is raised as Refused."""

    item: str
    outcome: str
    reason: Optional[str]
    value: Optional[str]
    free_bits: Optional[int]
    verified: Optional[bool]
    detail: Optional[str]
    applied_offset: Optional[int]
    preview: Optional[Preview]

    @property
    def passed(self) -> bool:
        return self.outcome in ("burned", "unchanged", "dry-run")

    @property
    def verdict(self) -> str:
        return "pass" if self.passed else "error" if self.outcome == "refused" else "fail"

    def failure(self) -> Optional[Failed]:
        if self.passed:
            return None
        why = self.detail or self.reason or self.outcome
        return Failed(f"step {self.step} {self.command}: burn of {self.item} {self.outcome}: {why}", self, self.record)

    @staticmethod
    def parse(r: Json, preview: Optional[Json] = None) -> "Burn":
        return Burn(
            **Result.base(r),
            item=str(r.get("item", "")),
            outcome=str(r.get("outcome", "")),
            reason=_opt_str(r.get("reason")),
            value=None if r.get("value") is None else str(r.get("value")),
            free_bits=_opt_int(r.get("free_bits")),
            verified=r.get("verified") if isinstance(r.get("verified"), bool) else None,
            detail=_opt_str(r.get("detail")),
            applied_offset=_opt_int(r.get("applied_offset")),
            preview=Preview.parse(preview) if preview is not None else None,
        )


@dataclass(frozen=True, kw_only=True)
class TrimPoint:
    """One trim measured by the search (``stage``: coarse or fine)."""

    trim: int
    stage: str
    errors: int
    frames: int
    per: Optional[float]
    stopped_early: bool
    rejected: bool


@dataclass(frozen=True, kw_only=True)
class TrimResult(Judged):
    """trim find: the best frequency-offset trim (None when none could be
    trusted), how it was found, every point measured, and the burn when one
    was asked for."""

    point: OperatingPoint
    best: Optional[int]
    method: str
    centre: Optional[float]
    best_per: Optional[float]
    window_from: Optional[int]
    window_to: Optional[int]
    points: tuple[TrimPoint, ...]
    elapsed: float
    burn: Optional[Burn]

    @staticmethod
    def parse(r: Json, burn: Optional[Burn] = None) -> "TrimResult":
        return TrimResult(
            **Result.base(r),
            **_judged(r),
            point=OperatingPoint.parse(r),
            best=_opt_int(r.get("best")),
            method=str(r.get("method", "")),
            centre=_opt_float(r.get("centre")),
            best_per=_opt_float(r.get("best_per")),
            window_from=_opt_int(r.get("window_from")),
            window_to=_opt_int(r.get("window_to")),
            points=tuple(
                TrimPoint(
                    trim=int(p.get("trim", 0)),
                    stage=str(p.get("pass", "")),
                    errors=int(p.get("errors", 0)),
                    frames=int(p.get("frames", 0)),
                    per=_opt_float(p.get("per")),
                    stopped_early=bool(p.get("stopped_early", False)),
                    rejected=bool(p.get("rejected", False)),
                )
                for p in r.get("points") or ()
            ),
            elapsed=float(r.get("elapsed", 0)),
            burn=burn,
        )


@dataclass(frozen=True, kw_only=True)
class EfuseItem:
    """What the library's readers return for one eFuse item."""

    item: str
    found: bool
    values: tuple[int, ...]
    text: str
    mac: Optional[str]


@dataclass(frozen=True, kw_only=True)
class EfuseRead(Result):
    """efuse read: every item (or the one asked for) and the free bits."""

    items: tuple[EfuseItem, ...]
    free_bits: int

    def item(self, name: str) -> EfuseItem:
        for i in self.items:
            if i.item == name:
                return i
        raise KeyError(name)

    @staticmethod
    def parse(r: Json) -> "EfuseRead":
        return EfuseRead(
            **Result.base(r),
            items=tuple(
                EfuseItem(
                    item=str(i.get("item", "")),
                    found=bool(i.get("found", False)),
                    values=tuple(int(v) for v in i.get("values") or ()),
                    text=str(i.get("text", "")),
                    mac=_opt_str(i.get("mac")),
                )
                for i in r.get("items") or ()
            ),
            free_bits=int(r.get("free_bits", 0)),
        )


@dataclass(frozen=True, kw_only=True)
class Mac(Result):
    """mac read: the MAC address ("02:00:00:00:00:42"), None when none."""

    found: bool
    mac: Optional[str]

    @staticmethod
    def parse(r: Json) -> "Mac":
        return Mac(**Result.base(r), found=bool(r.get("found", False)), mac=_opt_str(r.get("mac")))


@dataclass(frozen=True, kw_only=True)
class PoolResult(Result):
    """mac write --from-pool: the pool's address for this board, what became
    of it (``outcome``: burned, unchanged, adopted, duplicate, ...) and the
    burn itself when there was one."""

    pool: str
    outcome: str
    mac: Optional[str]
    state: Optional[str]
    serial: Optional[str]
    message: str
    burn: Optional[Burn]

    @property
    def passed(self) -> bool:
        return self.outcome in ("burned", "unchanged", "adopted", "dry-run")

    def failure(self) -> Optional[Failed]:
        if self.passed:
            return None
        return Failed(f"step {self.step} {self.command}: pool {self.pool}: {self.message}", self, self.record)

    @staticmethod
    def parse(r: Json, burn: Optional[Burn] = None) -> "PoolResult":
        return PoolResult(
            **Result.base(r),
            pool=str(r.get("pool", "")),
            outcome=str(r.get("outcome", "")),
            mac=_opt_str(r.get("mac")),
            state=_opt_str(r.get("state")),
            serial=_opt_str(r.get("serial")),
            message=str(r.get("message", "")),
            burn=burn,
        )


@dataclass(frozen=True, kw_only=True)
class Cal(Result):
    """cal: the library's result and its text ("success"/"fail")."""

    result: int
    status: str

    @property
    def passed(self) -> bool:
        return self.status == "success"

    def failure(self) -> Optional[Failed]:
        return None if self.passed else Failed(f"step {self.step} cal: {self.status}", self, self.record)

    @staticmethod
    def parse(r: Json) -> "Cal":
        return Cal(**Result.base(r), result=int(r.get("result", 0)), status=str(r.get("status", "")))


@dataclass(frozen=True, kw_only=True)
class Temp(Result):
    """temp: die temperature [degC] (None when not read) and sensor code."""

    celsius: Optional[float]
    sensor_code: Optional[int]
    result: int

    @property
    def passed(self) -> bool:
        return self.celsius is not None

    def failure(self) -> Optional[Failed]:
        return None if self.passed else Failed(f"step {self.step} temp: not read", self, self.record)

    @staticmethod
    def parse(r: Json) -> "Temp":
        return Temp(
            **Result.base(r),
            celsius=_opt_float(r.get("celsius")),
            sensor_code=_opt_int(r.get("sensor_code")),
            result=int(r.get("result", 0)),
        )


@dataclass(frozen=True, kw_only=True)
class Dpd(Result):
    """dpd on/off: the status text and the state read back."""

    requested: str
    status: str
    enabled: Optional[bool]
    verdict: str

    @property
    def passed(self) -> bool:
        return self.verdict == "pass"

    def failure(self) -> Optional[Failed]:
        return None if self.passed else Failed(f"step {self.step} dpd: {self.status}", self, self.record)

    @staticmethod
    def parse(r: Json) -> "Dpd":
        enabled = r.get("enabled")
        return Dpd(
            **Result.base(r),
            requested=str(r.get("requested", "")),
            status=str(r.get("status", "")),
            enabled=enabled if isinstance(enabled, bool) else None,
            verdict=str(r.get("verdict", "")),
        )


@dataclass(frozen=True, kw_only=True)
class Failure:
    """One failure of the end record: a limit broken (``limit``, with the
    value measured), a fail, an interruption or an error of a kind."""

    step: int
    command: str
    kind: str
    reason: str
    limit: Optional[Limit]


@dataclass(frozen=True, kw_only=True)
class Close(Result):
    """close: the radio's state read back before the link closed."""

    transmitter: str
    receiver: str
    radio_mode: str
    confirmed: bool
    safe: bool

    @staticmethod
    def parse(r: Json) -> "Close":
        return Close(
            **Result.base(r),
            transmitter=str(r.get("transmitter", "")),
            receiver=str(r.get("receiver", "")),
            radio_mode=str(r.get("radio_mode", "")),
            confirmed=bool(r.get("confirmed", False)),
            safe=bool(r.get("safe", False)),
        )


@dataclass(frozen=True, kw_only=True)
class End(Result):
    """The end record: the run's verdict (pass, fail, error, interrupted),
    deve-cli's exit code, every failure, and with a store its state
    (``stored``, ``spooled`` with ``spool``, or ``lost``)."""

    verdict: str
    exit_code: int
    failures: tuple[Failure, ...]
    meta: Mapping[str, str]
    store: Optional[str]
    spool: Optional[str]
    run_id: str

    @property
    def passed(self) -> bool:
        return self.verdict == "pass"

    @staticmethod
    def parse(r: Json) -> "End":
        return End(
            **Result.base(r),
            verdict=str(r.get("verdict", "")),
            exit_code=int(r.get("exit_code", 0)),
            failures=tuple(
                Failure(
                    step=int(f.get("step", 0)),
                    command=str(f.get("command", "")),
                    kind=str(f.get("kind", "")),
                    reason=str(f.get("reason", "")),
                    limit=Limit.parse(f["limit"]) if isinstance(f.get("limit"), Mapping) else None,
                )
                for f in r.get("failures") or ()
            ),
            meta=dict(r.get("meta") or {}),
            store=_opt_str(r.get("store")),
            spool=_opt_str(r.get("spool")),
            run_id=str(r.get("run_id", "")),
        )


@dataclass(frozen=True, kw_only=True)
class Other(Result):
    """A record this package has no type for (efuse summary, script, ...):
    the record is in ``record``."""

    @staticmethod
    def parse(r: Json) -> "Other":
        return Other(**Result.base(r))


def _judged(r: Json) -> dict[str, Any]:
    return {
        "limit_set": _opt_str(r.get("limit_set")),
        "limits": tuple(Limit.parse(x) for x in r.get("limits") or ()),
        "verdict": str(r.get("verdict", "")),
    }
