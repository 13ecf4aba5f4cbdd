#!/bin/sh
# A production station for one board, with deve-cli:
#   1. one session over one link (the full open: calibrations included):
#      identity, the eFuse items, the frequency-offset trim search with the
#      best trim burnt and applied, the MAC address burnt when the board has
#      none, and transmit and receive checks at three operating points
#      against the station's limit file;
#   2. a fresh quick open that verifies the fuses as the next power-up reads
#      them: the trim and the MAC must read back what was burnt (a burn of
#      the value the chip holds is "unchanged", a pass; --expect refuses to
#      burn anything else).
# The limit file's tx and rx sets choose the sequential test: each run stops
# as soon as its counts decide its limit (at most --frames or the set's
# max-frames); STATION_LIMITS=.../station-limits-fixed.json counts the fixed
# frames of --frames instead (docs/deve-cli.md, Sequential tests).
# Every record carries the run's id; the serial and station go in the open
# and end records. A retest of a board runs the same script: what the chip
# holds already passes unchanged.
#
#   station.sh SERIAL MAC [LOG]          (LOG default: SERIAL.jsonl)
#   DEVE_CLI=/path/to/deve-cli STATION=line-3 station.sh SN0042 02:00:00:00:00:42
#
# Exit code: deve-cli's (0 pass, 1 fail, 2 usage error or refusal, 3 link or
# board busy or not answering, 128 + signal interrupted).
set -u

cli=${DEVE_CLI:-deve-cli}
limits=${STATION_LIMITS:-$(dirname "$0")/station-limits.json}
station=${STATION:-station}
if [ $# -lt 2 ]; then
    echo "usage: station.sh SERIAL MAC [LOG]" >&2
    exit 2
fi
serial=$1
mac=$2
log=${3:-$serial.jsonl}

"$cli" --json --meta serial="$serial" --meta station="$station" --limits "$limits" session > "$log" <<COMMANDS
info
efuse read
# The trim at the open's operating point (2G channel 1, HT20-MCS7).
trim find --from 100 --to 200 --burn --yes
mac write $mac --if-blank --yes
tune --band 2G --channel 6 --mode 11n-HT20
tx --frames 2000 --seconds 5
rx --frames 1000 --seconds 5
tune --band 5G --channel 36 --mode 11g-OFDM --rate 7-OFDM-54M
tx --frames 2000 --seconds 5
rx --frames 1000 --seconds 5
tune --channel 149 --mode 11n-HT20
tx --frames 2000 --seconds 5
rx --frames 1000 --seconds 5
COMMANDS
status=$?

# A field of the first record of a type.
field() { grep "\"type\":\"$1\"" "$log" | head -n 1 | sed -e 's/,"units":.*//' -n -e "s/.*\"$2\":\"\\{0,1\\}\\([^\",}]*\\).*/\\1/p"; }
trim=$(field trim best)
if [ "$status" -eq 0 ] && [ -n "$trim" ]; then
    "$cli" --json --meta serial="$serial" --meta station="$station" --open quick \
        efuse burn Freq_offset "$trim" --expect "$trim" --yes \
        mac write "$mac" --expect "$mac" --yes >> "$log"
    status=$?
fi
verdict=$(grep '"type":"end"' "$log" | tail -n 1 | sed -n 's/.*"verdict":"\([a-z]*\)".*/\1/p')
echo "$serial: trim $trim, MAC $mac, $verdict (exit $status); log $log"
exit "$status"
