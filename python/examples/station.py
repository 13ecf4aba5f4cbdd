"""A production station for one board, in Python: the same flow as
cli/examples/station.sh.  One session over one link (identity, the eFuse
items, the trim search with the best trim burnt, the MAC burnt when the
board has none, transmit and receive at three operating points against the
station's limit file), then a quick open that verifies the fuses as the next
power-up reads them.

    python3 station.py SERIAL MAC      (DEVE_CLI, XOLT_FUSE_FILE as for deve-cli)
"""

from __future__ import annotations

import os
import sys
from pathlib import Path

import deve

LIMITS = Path(os.environ.get("STATION_LIMITS", Path(__file__).parents[2] / "cli/examples/station-limits.json"))
# Band, channel, mode and rate (None: the mode's own) of the radio checks.
POINTS = [("2G", 6, "11n-HT20", None), ("5G", 36, "11g-OFDM", "7-OFDM-54M"), ("5G", 149, "11n-HT20", None)]


def station(serial: str, mac: str) -> deve.End:
    meta = {"serial": serial, "station": os.environ.get("STATION", "station")}
    with deve.Session(meta=meta, limits=LIMITS) as board:
        board.info()
        board.efuse_read()
        trim = board.trim_find(from_=100, to=200, burn=True, yes=True)
        board.mac_write(mac, if_blank=True, yes=True)
        for band, channel, mode, rate in POINTS:
            board.tune(band=band, channel=channel, mode=mode, rate=rate)
            board.tx(frames=2000, seconds=5)
            board.rx(frames=1000, seconds=5)
    assert board.end is not None
    if not board.end.passed or trim.best is None:
        return board.end
    with deve.Session(meta=meta, open="quick") as verify:
        verify.efuse_burn("Freq_offset", trim.best, expect=trim.best, yes=True)
        verify.mac_write(mac, expect=mac, yes=True)
    assert verify.end is not None
    return verify.end


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit("usage: station.py SERIAL MAC")
    try:
        end = station(sys.argv[1], sys.argv[2])
    except deve.DeveError as e:
        sys.exit(f"{sys.argv[1]}: {type(e).__name__}: {e}")
    print(f"{sys.argv[1]}: {end.verdict}" + "".join(f"\n  step {f.step} {f.command}: {f.reason}" for f in end.failures))
    sys.exit(end.exit_code)
