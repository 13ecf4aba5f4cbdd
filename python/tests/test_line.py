"""The production line through the package: the store, the MAC pool and the
pytest fixtures that tie each run to its test."""

from __future__ import annotations

import sqlite3
from pathlib import Path
from typing import Callable

import pytest

import deve

from conftest import plugin_args, run_cli

Opener = Callable[..., deve.Session]


@pytest.fixture
def store(cli: str, tmp_path: Path) -> str:
    url = f"sqlite:{tmp_path / 'line.db'}"
    for args in (["store", "init"], ["store", "pool", "add", "line-a", "02:11:22:00:00:00", "02:11:22:00:00:01"]):
        done = run_cli(cli, "--store", url, *args)
        assert done.returncode == 0, done.stderr
    return url


def _rows(url: str, sql: str) -> list[tuple[object, ...]]:
    with sqlite3.connect(url.removeprefix("sqlite:")) as db:
        return db.execute(sql).fetchall()


def test_the_store_and_the_pool_through_the_package(open_session: Opener, store: str, cli: str, tmp_path: Path) -> None:
    s = open_session(store=store, meta={"serial": "SN-7"}, open="quick")
    first = s.mac_write_from_pool("line-a", yes=True)
    assert isinstance(first, deve.PoolResult)
    assert (first.outcome, first.mac, first.state, first.serial) == ("burned", "02:11:22:00:00:00", "burned", "SN-7")
    assert first.burn is not None and first.burn.outcome == "burned" and first.burn.item == "MAC"
    # A retest of the board keeps its address: unchanged, a pass.
    again = s.mac_write_from_pool("line-a", yes=True)
    assert (again.outcome, again.mac) == ("unchanged", "02:11:22:00:00:00") and again.passed
    end = s.close()
    assert end is not None and end.store == "stored" and end.verdict == "pass"
    assert _rows(store, f"SELECT serial, verdict FROM runs WHERE run_id = '{end.run_id}'") == [("SN-7", "pass")]
    # The next board takes the next address; the one after finds the pool empty.
    board2 = open_session(store=store, meta={"serial": "SN-8"}, open="quick", env={"XOLT_FUSE_FILE": str(tmp_path / "b2")})
    assert board2.mac_write_from_pool("line-a", yes=True).mac == "02:11:22:00:00:01"
    board2.close()
    with pytest.raises(deve.Refused, match="pool line-a has no free address"):
        board3 = open_session(store=store, meta={"serial": "SN-9"}, open="quick", env={"XOLT_FUSE_FILE": str(tmp_path / "b3")})
        board3.mac_write_from_pool("line-a", yes=True)
    # A store that is not one refuses the run before the link opens.
    (tmp_path / "junk.db").write_text("not a database")
    with pytest.raises(deve.Refused) as refused:
        open_session(store=f"sqlite:{tmp_path / 'junk.db'}")
    assert refused.value.kind == "store"


STATION_TESTS = '''
import pytest

@pytest.mark.deve_board("SN-42")
def test_receiver(deve_session):
    deve_session.tune(band="2G", channel=6)
    rx = deve_session.rx(frames=300, seconds=5)
    assert rx.frames >= 300

@pytest.mark.deve_board("SN-42")
def test_receiver_against_an_impossible_limit(deve_session):
    deve_session.rx(frames=300, seconds=5, max_per=0)
'''


def test_the_fixture_ties_each_run_to_its_test(pytester: pytest.Pytester, cli: str, store: str, fuse_file: Path) -> None:
    pytester.makepyfile(test_station=STATION_TESTS)
    result = pytester.runpytest_subprocess(
        *plugin_args(), "-p", "no:cacheprovider", f"--deve-cli={cli}", f"--deve-store={store}",
        "--deve-meta", "station=line-3",
    )
    result.assert_outcomes(passed=1, failed=1)
    # The failure names the limit and the value measured, in one line.
    result.stdout.re_match_lines([r".*LimitFailed: step 1 rx: max-per [0-9.]+ %, limit <= 0 % \(option\).*"])
    runs = _rows(
        store,
        "SELECT r.serial, r.station, r.verdict, m.value FROM runs r JOIN run_meta m ON m.run_id = r.run_id "
        "AND m.name = 'test' ORDER BY r.started_at",
    )
    assert runs == [
        ("SN-42", "line-3", "pass", "test_station.py::test_receiver"),
        ("SN-42", "line-3", "fail", "test_station.py::test_receiver_against_an_impossible_limit"),
    ]


def test_a_bad_meta_option_is_a_usage_error(pytester: pytest.Pytester, cli: str) -> None:
    pytester.makepyfile(test_station=STATION_TESTS)
    result = pytester.runpytest_subprocess(
        *plugin_args(), "-p", "no:cacheprovider", f"--deve-cli={cli}", "--deve-meta", "station"
    )
    assert result.ret != 0
    result.stderr.fnmatch_lines(["*--deve-meta: 'station' is not KEY=VALUE*"])
