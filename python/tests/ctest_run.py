"""Runs a check of the deve package for CTest: pytest (the package's tests),
or mypy --strict.  A tool that is not installed is a skip (exit 77, which
CTest reports as skipped, never as passed); pytest finding no tests is a
failure."""

from __future__ import annotations

import importlib.util
import subprocess
from importlib.metadata import entry_points
import sys
from pathlib import Path

SKIP = 77
HERE = Path(__file__).resolve().parent
PACKAGE = HERE.parent


def main(argv: list[str]) -> int:
    if len(argv) < 2 or argv[1] not in ("pytest", "mypy"):
        print("usage: ctest_run.py pytest|mypy [ARGS...]", file=sys.stderr)
        return 2
    tool = argv[1]
    if importlib.util.find_spec(tool) is None:
        debian = {"pytest": "python3-pytest", "mypy": "mypy"}[tool]
        print(f"{tool} is not installed for {sys.executable} (Debian: {debian}): skipped", file=sys.stderr)
        return SKIP
    if tool == "mypy":
        targets = [str(PACKAGE / p) for p in ("deve", "tests", "examples", "benchmarks")]
        return subprocess.call([sys.executable, "-m", "mypy", "--strict", *targets, *argv[2:]], cwd=PACKAGE)
    # The plugin from the source tree, unless an installed package's entry
    # point loads it already (pytest refuses one plugin registered twice).
    installed = any(e.name == "deve" for e in entry_points(group="pytest11"))
    plugin = [] if installed else ["-p", "deve.pytest_plugin"]
    code = subprocess.call([sys.executable, "-m", "pytest", "-p", "no:cacheprovider", *plugin, *argv[2:]], cwd=PACKAGE)
    if code == 5:
        print("pytest collected no tests: that is a failure here", file=sys.stderr)
        return 1
    return code


if __name__ == "__main__":
    sys.exit(main(sys.argv))
