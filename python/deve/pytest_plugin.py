"""pytest fixtures for stations: ``deve_session`` opens the board for a test.

Options: ``--deve-cli PATH``, ``--deve-store URL``, ``--deve-limits FILE``,
``--deve-meta KEY=VALUE`` (repeatable).  The test's node id goes to deve-cli
as ``--meta test=NODEID``, so the store ties each run to its test.  The
marker ``@pytest.mark.deve_board("SN0042")`` names the board's serial
(``--meta serial=SN0042``); keyword arguments of the marker are further
Session arguments (``fuse_file=...`` sets XOLT_FUSE_FILE, ``open="quick"``).

A result that fails its limits fails the test, with the value measured and
the limit in the message.
"""

from __future__ import annotations

from typing import Any, Iterator, Optional

import pytest

from .errors import Failed
from .session import Session

MARKER = "deve_board"


def pytest_addoption(parser: pytest.Parser) -> None:
    group = parser.getgroup("deve", "the deve board session")
    group.addoption("--deve-cli", metavar="PATH", default=None, help="deve-cli program (default: $DEVE_CLI or PATH)")
    group.addoption("--deve-store", metavar="URL", default=None, help="line store URL for the runs (--store)")
    group.addoption("--deve-limits", metavar="FILE", default=None, help="limit file (--limits)")
    group.addoption(
        "--deve-meta",
        metavar="KEY=VALUE",
        action="append",
        default=[],
        help="metadata of every run (--meta), repeatable",
    )


def pytest_configure(config: pytest.Config) -> None:
    _meta_pairs(config.getoption("--deve-meta"))  # a malformed pair is a usage error at once
    config.addinivalue_line(
        "markers",
        f"{MARKER}(serial, **session): the board a test runs on: its serial (--meta serial=...) and Session "
        "arguments (fuse_file= sets XOLT_FUSE_FILE)",
    )


def _meta_pairs(values: list[str]) -> dict[str, str]:
    meta: dict[str, str] = {}
    for value in values:
        key, sep, text = value.partition("=")
        if not sep or not key:
            raise pytest.UsageError(f"--deve-meta: '{value}' is not KEY=VALUE")
        meta[key] = text
    return meta


@pytest.fixture
def deve_session(request: pytest.FixtureRequest) -> Iterator[Session]:
    """A Session with the board for this test; it closes after the test (the
    radio made safe).  Failed limits are raised (LimitFailed): the test
    fails with the value measured and the limit."""
    config = request.config
    meta = _meta_pairs(config.getoption("--deve-meta"))
    kwargs: dict[str, Any] = {}
    marker: Optional[pytest.Mark] = request.node.get_closest_marker(MARKER)
    if marker is not None:
        if marker.args:
            meta["serial"] = str(marker.args[0])
        kwargs.update(marker.kwargs)
    meta["test"] = request.node.nodeid
    env = dict(kwargs.pop("env", None) or {})
    fuse_file = kwargs.pop("fuse_file", None)
    if fuse_file is not None:
        env["XOLT_FUSE_FILE"] = str(fuse_file)
    meta.update(kwargs.pop("meta", None) or {})
    kwargs.setdefault("cli", config.getoption("--deve-cli"))
    kwargs.setdefault("store", config.getoption("--deve-store"))
    kwargs.setdefault("limits", config.getoption("--deve-limits"))
    kwargs.setdefault("raise_on_fail", True)
    session = Session(meta=meta, env=env, **kwargs)
    with session:
        yield session


@pytest.hookimpl(hookwrapper=True)  # type: ignore[misc]  # pytest's decorator is untyped
def pytest_runtest_makereport(item: pytest.Item, call: pytest.CallInfo[None]) -> Iterator[None]:
    """A failed limit is a test failure in the station's words (the value
    measured and the limit), without the client's traceback."""
    outcome = yield
    report: pytest.TestReport = outcome.get_result()  # type: ignore[attr-defined]
    if call.excinfo is not None and isinstance(call.excinfo.value, Failed) and report.failed:
        report.longrepr = f"{type(call.excinfo.value).__name__}: {call.excinfo.value}"
