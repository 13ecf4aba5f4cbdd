"""A Session against the simulated board: every command, each exception, the
burn's confirmation, the timeout and Ctrl-C."""

from __future__ import annotations

import os
import re
import signal
import sys
import threading
import time
from pathlib import Path
from typing import Any, Callable

import pytest

import deve

Opener = Callable[..., deve.Session]

MODE_REGISTER = 0xCCB0A400
RX_COUNTERS_OFDM = "0xCCB0F3F8"


def test_every_command_returns_its_typed_result(open_session: Opener, fuse_file: Path) -> None:
    s = open_session(meta={"serial": "SN-1"})
    assert s.opened is not None and s.opened.opened and s.opened.meta == {"serial": "SN-1"}

    info = s.info()
    assert isinstance(info, deve.Info) and info.revision == 0x30303643 and info.revision_text == "C600"
    free = info.free_bits

    s.reg_write(0xCCB0AD1C, 0x1)
    assert s.reg_read(0xCCB0AD1C) & 1 == 1
    s.reg_write(0xCCB0AD1C, 0x0)
    assert s.reg_read(0xCCB0AD1C) & 1 == 0

    tune = s.tune(band="5G", channel=36, mode="11g-OFDM", rate="7-OFDM-54M")
    assert (tune.point.band, tune.point.channel, tune.point.frequency) == ("5G", 36, 5180)
    assert set(tune.applied) == {"channel", "mode", "rate"}

    tx = s.tx(frames=1000, seconds=5, min_frames=500)
    assert isinstance(tx, deve.TxResult) and tx.passed and tx.ended_by == "frames" and tx.frames >= 1000
    assert [lim.name for lim in tx.limits] == ["min-frames"] and tx.limits[0].value == tx.frames
    assert tx.point.channel == 36

    rx = s.rx(frames=1000, seconds=5, max_per=50)
    assert isinstance(rx, deve.RxResult) and rx.frames >= 1000 and rx.per is not None
    assert rx.samples and rx.samples[-1].total_frames == rx.frames
    assert rx.limits[0].value == rx.per and rx.verdict == "pass" and rx.ending == "fixed"

    # The sequential test: a clear pass long before the fixed count.
    rx = s.rx(frames=2000, seconds=5, max_per=50, sequential=deve.Sequential(false_pass=1))
    assert rx.ending == "decided pass" and rx.ended_by == "decided" and rx.frames < 1000 and rx.passed
    tx = s.tx(frames=2000, seconds=5, min_fps=100, sequential=deve.Sequential())
    assert tx.ending == "decided pass" and tx.frames < 2000

    assert s.cal().status == "success"
    assert s.dpd(True).enabled is True and s.dpd(False).enabled is False
    temp = s.temp()
    assert temp.celsius is not None and -40 <= temp.celsius <= 125

    assert s.efuse_read("Freq_offset").item("Freq_offset").found is False
    burn = s.efuse_burn("TX_PWR1", 10, 11, yes=True)
    assert (burn.outcome, burn.value, burn.verified) == ("burned", "10,11", True)
    assert burn.preview is not None and burn.preview.free_bits_before == free
    again = s.efuse_burn("TX_PWR1", 10, 11, yes=True, expect="10,11")
    assert again.outcome == "unchanged" and again.passed
    assert s.efuse_read().item("TX_PWR1").values == (10, 11)

    assert s.mac_read().found is False
    assert s.mac_write("02:00:00:00:00:42", yes=True, if_blank=True).outcome == "burned"
    assert s.mac_read().mac == "02:00:00:00:00:42"

    # The board's crystal is on frequency at trim 151 (the simulated board's
    # default): the search finds it and burns it.
    trim = s.trim_find(from_=100, to=200, burn=True, yes=True)
    assert trim.best is not None and abs(trim.best - 151) <= 1 and trim.passed
    assert trim.burn is not None and trim.burn.outcome == "burned" and trim.burn.applied_offset == trim.best
    assert trim.points and all(isinstance(p, deve.TrimPoint) for p in trim.points)
    assert s.efuse_read("Freq_offset").item("Freq_offset").values == (trim.best,)

    summary = s.run("efuse", "summary")
    assert len(summary) == 1 and summary[0].type == "efuse_summary"

    end = s.close()
    assert end is not None and end.verdict == "pass" and end.exit_code == 0 and not end.failures
    assert s.closed is not None and s.closed.safe and s.returncode == 0
    # One line per call, one step per line, counted across the session.
    ends = [r for r in s.records if r["type"] == "line_end"]
    assert [(r["line"], r["steps"]) for r in ends] == [(n, [n]) for n in range(1, 25)]


def test_limits_are_returned_or_raised_as_the_caller_chooses(open_session: Opener) -> None:
    s = open_session()
    rx = s.rx(frames=300, seconds=5, max_per=0)
    assert rx.verdict == "fail"
    failure = rx.failure()
    assert isinstance(failure, deve.LimitFailed) and failure.exit_code == 1
    assert failure.limits[0].name == "max-per" and failure.limits[0].value == rx.per
    assert f"max-per {rx.per:g} %, limit <= 0 %" in str(failure)
    # The sequence carries on after a failure it was handed.
    with pytest.raises(deve.LimitFailed, match=r"step 2 rx: max-per [0-9.]+ %, limit <= 0 %") as raised:
        s.rx(frames=300, seconds=5, max_per=0, raise_on_fail=True)
    assert raised.value.record["type"] == "rx" and raised.value.result.frames >= 300
    assert s.info().free_bits > 0
    end = s.close()
    assert end is not None and end.verdict == "fail" and end.exit_code == 1
    assert [(f.step, f.limit.name if f.limit else None) for f in end.failures] == [(1, "max-per"), (2, "max-per")]


def test_each_failure_is_its_own_exception(open_session: Opener, cli: str, tmp_path: Path) -> None:
    # A mistyped line: UsageError (exit code 2), and the session is over.
    s = open_session(open="quick")
    with pytest.raises(deve.UsageError, match="'frobnicate' is not a command") as usage:
        s.run("frobnicate")
    assert usage.value.record["kind"] == "usage" and usage.value.exit_code == 2
    assert s.end is not None and s.end.exit_code == 2 and not s.running
    with pytest.raises(deve.SessionEnded, match="exit code 2"):
        s.info()

    # A refusal of deve-cli: Refused, with its record.
    s = open_session(open="quick")
    with pytest.raises(deve.Refused, match="channel") as refused:
        s.tune(band="5G", channel=14)
    assert refused.value.kind == "refused"

    # Words a session line cannot carry are refused before they are sent.
    s = open_session(open="quick")
    before = len(s.records)
    with pytest.raises(deve.UsageError, match="line break"):
        s.efuse_read("Freq_offset\ninfo")
    assert len(s.records) == before and s.running
    s.close()

    # The link does not open: LinkError at the start, with the error record.
    with pytest.raises(deve.LinkError) as link:
        open_session(env={"XOLT_FAULT_OPEN": "-5"})
    assert link.value.kind == "link" and link.value.exit_code == 3 and "-5" in str(link.value)

    # A board another process holds: BoardBusy with the holder's process id.
    holder = open_session(open="quick")
    assert holder._process is not None
    with pytest.raises(deve.BoardBusy) as busy:
        open_session(open="quick")
    assert busy.value.holder == holder._process.pid and f"held by process {holder._process.pid}" in str(busy.value)
    holder.close()

    # A burn whose read-back fails: a Failed result, raised when asked.
    s = open_session(open="quick", env={"XOLT_FAULT_EFUSE_NO_PROGRAM": "1"})
    failed = s.efuse_burn("Freq_offset", 140, yes=True)
    assert failed.outcome == "failed" and isinstance(failed.failure(), deve.Failed)
    with pytest.raises(deve.Failed, match="burn of Freq_offset failed"):
        s.efuse_burn("Freq_offset", 140, yes=True, raise_on_fail=True)

    # A program that is not there.
    with pytest.raises(deve.DeveError, match="could not be started"):
        deve.Session(cli=str(tmp_path / "no-such-cli")).start()


def test_a_burn_without_yes_is_refused_before_anything_is_sent(open_session: Opener, fuse_file: Path) -> None:
    s = open_session(open="quick")
    fuses = fuse_file.read_bytes()
    before = len(s.records)
    calls: list[Callable[[], object]] = [
        lambda: s.efuse_burn("Freq_offset", 140),
        lambda: s.mac_write("02:00:00:00:00:42"),
        lambda: s.mac_write_from_pool("line-a"),
        lambda: s.trim_find(burn=True),
        lambda: s.run("efuse", "burn", "Freq_offset", "140"),
        lambda: s.run("mac", "write", "02:00:00:00:00:42"),
    ]
    for call in calls:
        with pytest.raises(deve.Refused, match="needs"):
            call()
    assert len(s.records) == before and s.running and fuse_file.read_bytes() == fuses
    # A dry run needs no confirmation and programs nothing.
    assert s.efuse_burn("Freq_offset", 140, dry_run=True).outcome == "dry-run"
    assert fuse_file.read_bytes() == fuses
    end = s.close()
    assert end is not None and end.verdict == "pass"


def _writes_to(trace: str, address: str) -> list[int]:
    return [int(v, 16) for v in re.findall(r"xolt: write " + address + r" <- 0x([0-9A-F]{8})", trace)]


def _assert_radio_safe(s: deve.Session, trace: str) -> None:
    assert s.closed is not None and (s.closed.transmitter, s.closed.receiver) == ("off", "off") and s.closed.safe
    # The chip's own record: the receive counters were counting and end
    # stopped; the last mode written is standby.
    counters = _writes_to(trace, RX_COUNTERS_OFDM)
    assert 0x00100001 in counters and counters[-1] & 0x00100000 == 0
    mode = _writes_to(trace, f"0x{MODE_REGISTER:08X}")
    assert mode and (mode[-1] >> 8) & 7 == 0
    assert "xolt: link closed" in trace


def test_a_call_that_overruns_its_timeout_stops_with_the_radio_safe(open_session: Opener, tmp_path: Path) -> None:
    trace_path = tmp_path / "trace.txt"
    with open(trace_path, "w") as trace:
        s = open_session(env={"XOLT_TRACE": "1"}, stderr=trace)
        started = time.monotonic()
        with pytest.raises(deve.DeveTimeout, match=r"rx --seconds 60: no end of the line within 2 s") as raised:
            s.rx(seconds=60, timeout=2)
        assert isinstance(raised.value, TimeoutError)
        assert time.monotonic() - started < 20
    assert s.end is not None and s.end.verdict == "interrupted" and s.returncode == -signal.SIGINT
    assert [f.kind for f in s.end.failures] == ["interrupted"]
    _assert_radio_safe(s, trace_path.read_text(errors="replace"))
    with pytest.raises(deve.SessionEnded):
        s.info()


@pytest.mark.skipif(sys.platform == "win32", reason="SIGINT to the process itself")
def test_ctrl_c_in_the_middle_of_an_rx_leaves_the_radio_safe(open_session: Opener, tmp_path: Path) -> None:
    trace_path = tmp_path / "trace.txt"
    with open(trace_path, "w") as trace:
        s = open_session(env={"XOLT_TRACE": "1"}, stderr=trace)
        samples = len([r for r in s.records if r["type"] == "rx_sample"])
        # Ctrl-C reaches this process, as at a terminal (deve-cli runs in a
        # process group of its own: the client hands it the signal once).
        timer = threading.Timer(2.5, os.kill, (os.getpid(), signal.SIGINT))
        timer.start()
        try:
            with pytest.raises(KeyboardInterrupt):
                s.rx(seconds=60)
        finally:
            timer.cancel()
    assert len([r for r in s.records if r["type"] == "rx_sample"]) > samples  # it was receiving
    rx = [r for r in s.records if r["type"] == "rx"]
    assert rx and rx[0]["ended_by"] == "interrupted" and rx[0]["complete"] is False
    assert [r["signal"] for r in s.records if r["type"] == "interrupted"] == ["SIGINT"]
    assert s.end is not None and s.end.verdict == "interrupted" and s.end.exit_code == 130
    _assert_radio_safe(s, trace_path.read_text(errors="replace"))


FAKE_CLI = """#!{python}
import json, sys
print(json.dumps({{"schema": {schema}, "seq": 1, "run_id": "r", "type": "open", "step": 0, "command": "open",
                  "opened": True, "units": {{}}}}), flush=True)
sys.stdin.read()
print(json.dumps({{"schema": {schema}, "seq": 2, "run_id": "r", "type": "end", "step": 0, "command": "end",
                  "verdict": "pass", "exit_code": 0, "failures": [], "units": {{}}}}), flush=True)
"""


@pytest.mark.parametrize(
    "schema, message",
    [(99, "record schema 99, newer than the 5 this deve package reads"), (3, "older than the 4 a session needs")],
)
def test_a_deve_cli_of_another_schema_is_refused_at_the_open(tmp_path: Path, schema: int, message: str) -> None:
    fake = tmp_path / "deve-cli"
    fake.write_text(FAKE_CLI.format(python=sys.executable, schema=schema))
    fake.chmod(0o755)
    s = deve.Session(cli=str(fake))
    with pytest.raises(deve.SchemaMismatch, match=message):
        with s:
            pass
    assert s.returncode == 0  # the program was let go, not left running
