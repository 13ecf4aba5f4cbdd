"""deve-cli's line-JSON records as typed results.

``read(path)`` reads a log that deve-cli wrote (``--json``, one record a
line; several runs may follow each other in one file) into runs, each with
its open, its results, its close and its end, as the Session gives them.
"""

from __future__ import annotations

import json
from dataclasses import dataclass, field
from pathlib import Path
from typing import Any, Iterable, Mapping, Optional, Union

from .errors import DeveError, SchemaMismatch
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
    Other,
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

# The newest record schema this package reads, and the oldest a session can
# be driven with (4 added the line_end record that says a line is done).
SCHEMA = 5
SESSION_SCHEMA = 4

# Record types whose result is built from the record alone.
_SIMPLE = {
    "info": Info.parse,
    "reg_read": Register.parse,
    "reg_write": Register.parse,
    "tune": Tune.parse,
    "cal": Cal.parse,
    "temp": Temp.parse,
    "dpd": Dpd.parse,
    "efuse_read": EfuseRead.parse,
    "mac": Mac.parse,
}

# Records that belong to another result of their step, or to none.
_PARTS = {"tx_sample", "rx_sample", "efuse_preview", "line_end", "library", "interrupted"}


def check_schema(record: Json) -> None:
    """Refuses a record of a schema newer than this package reads."""
    schema = record.get("schema")
    if not isinstance(schema, int) or schema > SCHEMA:
        raise SchemaMismatch(
            f"deve-cli writes record schema {schema}, newer than the {SCHEMA} this deve package reads: "
            "install the deve package of the same release as deve-cli",
            record,
        )


def compose(records: Iterable[Json]) -> list[Result]:
    """The typed results of a sequence of records, in order: samples go in
    their tx or rx result, a preview in its burn, a burn in its trim search
    or pool result.  Error records are left out (see ``Run.errors``)."""
    by_step: dict[int, list[Json]] = {}
    order: list[int] = []
    for r in records:
        step = int(r.get("step", 0))
        if step == 0 or r.get("type") == "error":
            continue
        if step not in by_step:
            by_step[step] = []
            order.append(step)
        by_step[step].append(r)
    out: list[Result] = []
    for step in order:
        out.extend(_step_results(by_step[step]))
    return out


def _step_results(records: list[Json]) -> list[Result]:
    def of(kind: str) -> list[Json]:
        return [r for r in records if r.get("type") == kind]

    previews = of("efuse_preview")
    burns = [Burn.parse(b, previews[i] if i < len(previews) else None) for i, b in enumerate(of("efuse_burn"))]
    out: list[Result] = []
    for r in records:
        kind = str(r.get("type", ""))
        if kind == "tx":
            out.append(TxResult.parse(r, of("tx_sample")))
        elif kind == "rx":
            out.append(RxResult.parse(r, of("rx_sample")))
        elif kind == "trim":
            out.append(TrimResult.parse(r, burns.pop(0) if burns else None))
        elif kind == "mac_pool":
            out.append(PoolResult.parse(r, burns.pop(0) if burns else None))
        elif kind in _SIMPLE:
            out.append(_SIMPLE[kind](r))
        elif kind not in _PARTS and kind != "efuse_burn":
            out.append(Other.parse(r))
    # Burns of their own (efuse burn, mac write), in their place.
    if not any(r.get("type") in ("trim", "mac_pool") for r in records):
        out.extend(burns)
    return out


@dataclass(frozen=True, kw_only=True)
class Run:
    """One run of deve-cli: one link, from its open to its end."""

    run_id: str
    open: Optional[Open]
    results: tuple[Result, ...]
    errors: tuple[DeveError, ...]
    close: Optional[Close]
    end: Optional[End]
    records: tuple[Json, ...] = field(repr=False, compare=False)

    def of(self, cls: type[Result]) -> list[Any]:
        """The results of one type, in order (``run.of(RxResult)``)."""
        return [r for r in self.results if isinstance(r, cls)]


def runs(records: Iterable[Json]) -> list[Run]:
    """Records split into runs by their run id, each composed."""
    from .errors import from_error_record

    grouped: dict[str, list[Json]] = {}
    for r in records:
        check_schema(r)
        grouped.setdefault(str(r.get("run_id", "")), []).append(r)
    out = []
    for run_id, rs in grouped.items():
        opens = [r for r in rs if r.get("type") == "open"]
        closes = [r for r in rs if r.get("type") == "close"]
        ends = [r for r in rs if r.get("type") == "end"]
        out.append(
            Run(
                run_id=run_id,
                open=Open.parse(opens[0]) if opens else None,
                results=tuple(compose(rs)),
                errors=tuple(from_error_record(r) for r in rs if r.get("type") == "error"),
                close=Close.parse(closes[0]) if closes else None,
                end=End.parse(ends[-1]) if ends else None,
                records=tuple(rs),
            )
        )
    return out


def read(path: Union[str, Path]) -> list[Run]:
    """Reads a line-JSON log of deve-cli into its runs.  A line that is not
    a JSON object is refused with its line number (ValueError)."""
    records: list[Json] = []
    with open(path, encoding="utf-8") as f:
        for number, line in enumerate(f, 1):
            if not line.strip():
                continue
            try:
                record = json.loads(line)
            except ValueError as e:
                raise ValueError(f"{path}:{number}: not a JSON record ({e})") from None
            if not isinstance(record, dict):
                raise ValueError(f"{path}:{number}: not a JSON object")
            records.append(record)
    return runs(records)
