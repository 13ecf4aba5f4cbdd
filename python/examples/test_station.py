"""The example station as pytest tests: each test opens the board through
the deve_session fixture (its node id goes to the store with the run), and a
failed limit fails the test with the value measured and the limit.

    pytest examples/test_station.py --deve-limits cli/examples/station-limits.json \
        --deve-store sqlite:line.db --deve-meta station=line-3
"""

from __future__ import annotations

import pytest

import deve

SERIAL = "SN0042"
MAC = "02:00:00:00:00:42"


@pytest.mark.deve_board(SERIAL)
def test_identity(deve_session: deve.Session) -> None:
    assert deve_session.info().free_bits >= 0


@pytest.mark.deve_board(SERIAL)
def test_trim_and_mac(deve_session: deve.Session) -> None:
    trim = deve_session.trim_find(from_=100, to=200, burn=True, yes=True)
    assert trim.burn is not None and trim.burn.outcome in ("burned", "unchanged")
    assert deve_session.mac_write(MAC, if_blank=True, yes=True).passed


@pytest.mark.deve_board(SERIAL)
@pytest.mark.parametrize(
    "band, channel, mode, rate",
    [("2G", 6, "11n-HT20", None), ("5G", 36, "11g-OFDM", "7-OFDM-54M"), ("5G", 149, "11n-HT20", None)],
)
def test_transmit_and_receive(deve_session: deve.Session, band: str, channel: int, mode: str, rate: str | None) -> None:
    deve_session.tune(band=band, channel=channel, mode=mode, rate=rate)
    deve_session.tx(frames=2000, seconds=5)
    deve_session.rx(frames=1000, seconds=5)


@pytest.mark.deve_board(SERIAL, open="quick")
def test_fuses_read_back_at_the_next_power_up(deve_session: deve.Session) -> None:
    items = deve_session.efuse_read()
    assert items.item("Freq_offset").found
    assert items.item("MAC").mac == MAC
