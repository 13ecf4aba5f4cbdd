"""The package's tests run deve-cli against the simulated board: DEVE_CLI
names the program (the build's), and each test has a fresh board (its own
fuse file)."""

from __future__ import annotations

import os
import shutil
import subprocess
from importlib.metadata import entry_points
from pathlib import Path
from typing import Any, Callable, Iterator

import pytest

import deve

pytest_plugins = ["pytester"]


def plugin_args() -> list[str]:
    """-p for the package's pytest plugin, unless an installed package's
    entry point loads it already (twice would be refused)."""
    installed = any(e.name == "deve" for e in entry_points(group="pytest11"))
    return [] if installed else ["-p", "deve.pytest_plugin"]


@pytest.fixture(scope="session")
def cli() -> str:
    path = os.environ.get("DEVE_CLI") or shutil.which("deve-cli")
    if not path or not os.access(path, os.X_OK):
        pytest.fail("DEVE_CLI must name the deve-cli program to test against (the simulated board's)")
    return path


@pytest.fixture
def fuse_file(tmp_path: Path, monkeypatch: pytest.MonkeyPatch) -> Path:
    """A fresh board: its fuse file, for the Session and for plain runs."""
    path = tmp_path / "board.bin"
    monkeypatch.setenv("XOLT_FUSE_FILE", str(path))
    return path


@pytest.fixture
def open_session(cli: str, fuse_file: Path) -> Iterator[Callable[..., deve.Session]]:
    """Opens Sessions on the test's board; closes what the test left open."""
    opened: list[deve.Session] = []

    def start(**kwargs: Any) -> deve.Session:
        env = dict(kwargs.pop("env", {}))
        env.setdefault("XOLT_FUSE_FILE", str(fuse_file))
        session = deve.Session(cli=cli, env=env, **kwargs)
        opened.append(session)
        session.start()
        return session

    yield start
    for session in opened:
        session.close()


def run_cli(cli: str, *args: str, input: str = "") -> subprocess.CompletedProcess[str]:
    return subprocess.run([cli, *args], input=input, capture_output=True, text=True, timeout=120)
