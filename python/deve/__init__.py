"""deve: station sequences in Python over deve-cli's session.

    import deve
    with deve.Session(meta={"serial": "SN0042"}, limits="station-limits.json") as board:
        board.tune(band="5G", channel=36, mode="11g-OFDM", rate="7-OFDM-54M")
        rx = board.rx(frames=1000, seconds=5)
        print(rx.per, rx.verdict)
    print(board.end.verdict)
"""

from . import records
from .errors import (
    BoardBusy,
    DeveError,
    DeveTimeout,
    Failed,
    Interrupted,
    LimitFailed,
    LinkError,
    Refused,
    SchemaMismatch,
    SessionEnded,
    UsageError,
)
from .results import (
    Burn,
    Cal,
    Close,
    Dpd,
    EfuseItem,
    EfuseRead,
    End,
    Failure,
    Info,
    Limit,
    Mac,
    Open,
    OperatingPoint,
    Other,
    PoolResult,
    Preview,
    Register,
    Result,
    RxResult,
    RxSample,
    Temp,
    TrimPoint,
    TrimResult,
    Tune,
    TxResult,
    TxSample,
)
from .session import Sequential, Session

__version__ = "0.1.0"

__all__ = [
    "records", "Sequential", "Session",
    "BoardBusy", "DeveError", "DeveTimeout", "Failed", "Interrupted", "LimitFailed", "LinkError", "Refused",
    "SchemaMismatch", "SessionEnded", "UsageError",
    "Burn", "Cal", "Close", "Dpd", "EfuseItem", "EfuseRead", "End", "Failure", "Info", "Limit", "Mac", "Open",
    "OperatingPoint", "Other", "PoolResult", "Preview", "Register", "Result", "RxResult", "RxSample", "Temp",
    "TrimPoint", "TrimResult", "Tune", "TxResult", "TxSample",
]
