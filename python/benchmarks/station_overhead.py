"""The package's overhead on the station flow: the same session lines run
once through deve-cli alone (its standard input, as cli/examples/station.sh
does) and once through deve.Session, each on a fresh simulated board; prints
both times and their ratio.

    DEVE_CLI=build/dev/bin/deve-cli python3 python/benchmarks/station_overhead.py
"""

from __future__ import annotations

import os
import subprocess
import sys
import tempfile
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1]))

import deve  # noqa: E402

LIMITS = Path(__file__).resolve().parents[2] / "cli/examples/station-limits.json"
MAC = "02:00:00:00:00:42"
POINTS = [
    ["--band", "2G", "--channel", "6", "--mode", "11n-HT20"],
    ["--band", "5G", "--channel", "36", "--mode", "11g-OFDM", "--rate", "7-OFDM-54M"],
    ["--channel", "149", "--mode", "11n-HT20"],
]


def lines() -> list[list[str]]:
    out = [["info"], ["efuse", "read"], ["trim", "find", "--from", "100", "--to", "200", "--burn", "--yes"],
           ["mac", "write", MAC, "--if-blank", "--yes"]]
    for point in POINTS:
        out += [["tune", *point], ["tx", "--frames", "2000", "--seconds", "5"], ["rx", "--frames", "1000", "--seconds", "5"]]
    return out


def alone(cli: str, fuses: Path) -> tuple[float, int]:
    started = time.perf_counter()
    done = subprocess.run(
        [cli, "--json", "--meta", "serial=SN-B", "--limits", str(LIMITS), "session"],
        input="".join(" ".join(words) + "\n" for words in lines()),
        capture_output=True, text=True, env=dict(os.environ, XOLT_FUSE_FILE=str(fuses)), check=False,
    )
    return time.perf_counter() - started, done.returncode


def package(cli: str, fuses: Path) -> tuple[float, int]:
    started = time.perf_counter()
    with deve.Session(cli=cli, meta={"serial": "SN-B"}, limits=LIMITS, env={"XOLT_FUSE_FILE": str(fuses)}) as s:
        s.info()
        s.efuse_read()
        s.trim_find(from_=100, to=200, burn=True, yes=True)
        s.mac_write(MAC, if_blank=True, yes=True)
        for band, channel, mode, rate in (("2G", 6, "11n-HT20", None), ("5G", 36, "11g-OFDM", "7-OFDM-54M"),
                                          (None, 149, "11n-HT20", None)):
            s.tune(band=band, channel=channel, mode=mode, rate=rate)
            s.tx(frames=2000, seconds=5)
            s.rx(frames=1000, seconds=5)
    assert s.end is not None
    return time.perf_counter() - started, s.end.exit_code


def main() -> int:
    cli = os.environ.get("DEVE_CLI", "deve-cli")
    with tempfile.TemporaryDirectory() as work:
        cli_s, cli_code = alone(cli, Path(work) / "a.bin")
        py_s, py_code = package(cli, Path(work) / "b.bin")
    print(f"station flow, deve-cli alone: {cli_s:.2f} s (exit {cli_code})")
    print(f"station flow, deve package:   {py_s:.2f} s (exit {py_code})")
    print(f"ratio package / deve-cli alone: {py_s / cli_s:.3f}")
    return 0 if cli_code == py_code == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
