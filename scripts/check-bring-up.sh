#!/usr/bin/env bash
# Runs the shell blocks of docs/bring-up.md in order, in a fresh folder, on
# the simulated board standing in for the maker's transport.
#
#   scripts/check-bring-up.sh ROOT BIN_DIR SIM_TRANSPORT TAP_TRANSPORT
set -euo pipefail
root=$1 bin=$2
export SIM=$3 TAP=$4 MAKER=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XOLT_FUSE_FILE="$work/efuse.bin" PATH="$bin:$PATH"
unset XOLT_LIBRARY XOLT_TAP_TARGET XOLT_TAP_FILE
awk '/^```sh$/ {inside=1; next} /^```$/ {inside=0} inside' "$root/docs/bring-up.md" > "$work/steps.sh"
blocks=$(grep -c '^```sh$' "$root/docs/bring-up.md")
cd "$work"
bash -euo pipefail steps.sh > steps.out 2>&1 || { cat steps.out; echo "check-bring-up: the guide's steps failed" >&2; exit 1; }
for f in link-check.jsonl board.trace sim.trace board-info.jsonl sim-info.jsonl; do
  [ -s "$f" ] || { cat steps.out; echo "check-bring-up: $f was not written" >&2; exit 1; }
done
grep -q '"type":"link_check".*"family":true' link-check.jsonl || { echo "check-bring-up: link check did not pass" >&2; exit 1; }
grep -q 'the same calls in the same order' steps.out || { cat steps.out; echo "check-bring-up: the two recordings part" >&2; exit 1; }
echo "check-bring-up: $blocks blocks of docs/bring-up.md ran"
