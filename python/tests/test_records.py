"""records.read: a log deve-cli wrote, read into the Session's dataclasses."""

from __future__ import annotations

import json
from pathlib import Path
from typing import Any, Callable

import pytest

import deve
from deve import records

from conftest import run_cli

STATION = """info
efuse read
trim find --from 100 --to 200 --burn --yes
mac write 02:00:00:00:00:42 --if-blank --yes
tune --band 5G --channel 36 --mode 11g-OFDM --rate 7-OFDM-54M
tx --frames 1000 --seconds 5 --min-frames 500
rx --frames 500 --seconds 5 --max-per 0
"""


def test_a_log_of_deve_cli_reads_into_its_runs(cli: str, fuse_file: Path, tmp_path: Path) -> None:
    log = tmp_path / "SN1.jsonl"
    session = run_cli(cli, "--json", "--meta", "serial=SN1", "session", input=STATION)
    assert session.returncode == 1, session.stderr  # the rx limit cannot pass
    # A second run appended to the same log, as a station's verifying open is.
    verify = run_cli(cli, "--json", "--open", "quick", "mac", "write", "02:00:00:00:00:42", "--expect",
                     "02:00:00:00:00:42", "--yes")
    assert verify.returncode == 0, verify.stderr
    log.write_text(session.stdout + verify.stdout)
    raw = [json.loads(line) for line in log.read_text().splitlines()]

    first, second = records.read(log)
    assert first.run_id == raw[0]["run_id"] and second.run_id != first.run_id
    assert first.open is not None and first.open.meta == {"serial": "SN1"}
    assert [type(r).__name__ for r in first.results] == [
        "Info", "EfuseRead", "TrimResult", "Burn", "Tune", "TxResult", "RxResult"
    ]
    trim = first.of(deve.TrimResult)[0]
    raw_trim = next(r for r in raw if r["type"] == "trim")
    assert trim.best == raw_trim["best"] and len(trim.points) == len(raw_trim["points"])
    assert trim.burn is not None and trim.burn.outcome == "burned" and trim.burn.applied_offset == trim.best
    rx = first.of(deve.RxResult)[0]
    assert len(rx.samples) == len([r for r in raw if r["type"] == "rx_sample" and r["run_id"] == first.run_id])
    assert rx.frames == sum(s.frames for s in rx.samples)
    assert isinstance(rx.failure(), deve.LimitFailed)
    assert first.end is not None and first.end.exit_code == 1
    assert [(f.step, f.kind, f.limit.name if f.limit else None) for f in first.end.failures] == [(7, "fail", "max-per")]
    assert first.close is not None and first.close.safe
    assert second.of(deve.Burn)[0].outcome == "unchanged" and second.end is not None and second.end.passed


def test_what_a_session_returns_is_what_its_log_reads(open_session: Callable[..., deve.Session], tmp_path: Path) -> None:
    s = open_session()
    returned: list[Any] = [
        s.info(),
        s.trim_find(from_=100, to=200, burn=True, yes=True),
        s.tune(band="2G", channel=6, mode="11n-HT20"),
        s.tx(frames=500, seconds=5),
        s.rx(frames=500, seconds=5, max_per=50),
        s.efuse_read(),
        s.temp(),
    ]
    s.close()
    log = tmp_path / "session.jsonl"
    log.write_text("".join(json.dumps(r) + "\n" for r in s.records))
    (run,) = records.read(log)
    assert list(run.results) == returned
    assert run.end == s.end and run.close == s.closed


def test_a_log_that_is_not_one_is_refused_with_its_line(tmp_path: Path) -> None:
    log = tmp_path / "bad.jsonl"
    good = {"schema": 4, "seq": 1, "run_id": "r", "type": "info", "step": 1, "command": "info"}
    log.write_text(json.dumps(good) + "\n{not json\n")
    with pytest.raises(ValueError, match=r"bad.jsonl:2: not a JSON record"):
        records.read(log)
    log.write_text(json.dumps(dict(good, schema=6)) + "\n")
    with pytest.raises(deve.SchemaMismatch, match="schema 6, newer than the 5"):
        records.read(log)
    # An older schema reads: a version only adds.
    log.write_text(json.dumps(dict(good, schema=2, revision="0x30303643")) + "\n")
    (run,) = records.read(log)
    info = run.of(deve.Info)[0]
    assert info.revision == 0x30303643 and info.step == 1
