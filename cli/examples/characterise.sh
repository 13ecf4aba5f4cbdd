#!/bin/sh
# Characterises one board with deve-cli in a single link session: identity,
# eFuse map and temperature, then on three channels of each band a transmit
# run and a receive run against limits, and the transmitter again with
# pre-distortion on. Every result goes to a JSON-lines log; a short table is
# printed from it, and the exit code is deve-cli's (0 pass, 1 a limit
# failed, 2 usage error or refusal, 3 link or board, 128 + signal
# interrupted).
#
#   characterise.sh [LOG]        (default: characterisation.jsonl)
#   DEVE_CLI=/path/to/deve-cli characterise.sh
set -u

cli=${DEVE_CLI:-deve-cli}
log=${1:-characterisation.jsonl}
seconds=${SECONDS_PER_RUN:-3}
max_per=${MAX_PER:-8.0}
min_frames=${MIN_FRAMES:-1000}

# The command line: global options, then the commands in order.
set -- --json --port USB --supply DCDC info efuse summary temp
for channel in 1 6 11; do
    set -- "$@" tune --band 2G --channel "$channel" --mode 11n-HT20 \
        tx --seconds "$seconds" --min-frames "$min_frames" \
        rx --seconds "$seconds" --max-per "$max_per" --min-frames "$min_frames"
done
for channel in 36 100 149; do
    set -- "$@" tune --band 5G --channel "$channel" --mode 11g-OFDM --rate 7-OFDM-54M \
        tx --seconds "$seconds" --min-frames "$min_frames" \
        rx --seconds "$seconds" --max-per "$max_per" --min-frames "$min_frames"
done
set -- "$@" dpd on tx --seconds "$seconds" --min-frames "$min_frames" temp

"$cli" "$@" > "$log"
status=$?

# A field of a record (the units at the end of every record are cut off
# first, so that only the value itself can match).
field() { sed -e 's/,"units":.*//' -n -e "s/.*\"$1\":\\(\"[^\"]*\"\\|[^,}]*\\).*/\\1/p" | tr -d '"'; }
printf '%-4s %-4s %-5s %-10s %-12s %-8s %s\n' test band chan mode frames PER verdict
grep -E '"type":"(tx|rx)",' "$log" | while read -r record; do
    printf '%-4s %-4s %-5s %-10s %-12s %-8s %s\n' \
        "$(echo "$record" | field type)" "$(echo "$record" | field band)" \
        "$(echo "$record" | field channel)" "$(echo "$record" | field mode)" \
        "$(echo "$record" | field frames)" "$(echo "$record" | field per_text)" \
        "$(echo "$record" | field verdict)"
done
echo "chip: $(grep '"type":"info"' "$log" | field chip_id)," \
     "free eFuse bits: $(grep '"type":"info"' "$log" | field free_bits)," \
     "temperature: $(grep '"type":"temp"' "$log" | field celsius | tr '\n' ' ')degC"
echo "result: $(grep '"type":"end"' "$log" | field verdict) (exit $status); log: $log"
exit "$status"
