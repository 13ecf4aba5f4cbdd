#!/usr/bin/env bash
# Takes the picture of deve-cli's HTML report that the docs show: a week of
# a made-up line (three stations, two lots, 150 boards, retests of the
# boards that failed, two runs whose station stopped part-way, a board that
# did not answer) goes into a fresh SQLite store, deve-cli writes the page
# with report --html, and headless Chromium saves it as an image.
#
#   scripts/screenshot-report.sh [output.png]   (default: docs/line-report.png)
#   DEVE_BUILD_DIR        build directory (default: build/dev)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$(realpath -m "${DEVE_BUILD_DIR:-$root/build/dev}")"
out="$(realpath -m "${1:-$root/docs/line-report.png}")"

for tool in chromium sqlite3; do
  if ! command -v "$tool" >/dev/null; then
    echo "$tool is not installed: run scripts/setup.sh first." >&2
    exit 1
  fi
done
cmake --build "$build" --target deve-cli >/dev/null

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
store="sqlite:$work/results.db"
"$build/bin/deve-cli" --store "$store" store init >/dev/null

# The runs, as SQL. Each run: open, tune 2G, tx and rx at 2G channel 6,
# tune 5G, rx at 5G channel 36; a board that fails is tested again an hour
# later.
version="$("$build/bin/deve-cli" --version | awk '{print $2}')"
awk -v seed=20 -v version="$version" '
function normal(mean, sd) { return mean + sd * sqrt(-2 * log(1 - rand())) * cos(6.283185307 * rand()) }
function stamp(minute) {
  return sprintf("2026-12-%02dT%02d:%02d:%02d.000Z", 1 + int(minute / 1440), int(minute % 1440 / 60), int(minute % 60),
                 int(rand() * 60))
}
function step(id, seq, command, band, channel, mode, rate, outcome, kind, at) {
  printf "INSERT INTO steps (run_id, seq, command, started_at, ended_at, band, channel, mode, rate, outcome, error_kind) VALUES (\047%s\047, %d, \047%s\047, \047%s\047, \047%s\047, %s, %s, %s, %s, \047%s\047, %s);\n",
    id, seq, command, at, at, band, channel, mode, rate, outcome, kind
}
function measure(id, seq, name, value, unit, low, high, set, passed) {
  printf "INSERT INTO measurements (run_id, step_seq, name, value, unit, low, high, limit_set, limit_source, passed) VALUES (\047%s\047, %d, \047%s\047, %.6g, \047%s\047, %s, %s, \047%s\047, \047set %s\047, %d);\n",
    id, seq, name, value, unit, low, high, set, set, passed
}
function run(board, minute, retest,    id, at, station, lot, fps, per2, per5, ok, verdict, code, stop) {
  id = sprintf("run-%04d", ++runs)
  at = stamp(minute)
  station = (board % 3 == 0) ? "FT-1" : (board % 3 == 1) ? "FT-2" : "FT-3"
  lot = board < 80 ? "L2612A" : "L2612B"
  stop = (runs == 37 || runs == 118) ? 1 : 0
  ok = 1
  step(id, 0, "open", "NULL", "NULL", "NULL", "NULL", board == 64 && !retest ? "error" : "pass",
       board == 64 && !retest ? "\047link\047" : "NULL", at)
  if (board == 64 && !retest) {
    verdict = "error"; code = 3; failed[board] = 1
  } else {
    step(id, 1, "tune", "\0472G\047", 6, "\04711n-HT20\047", "\047HT20-MCS7\047", "pass", "NULL", at)
    if (!stop) {
      fps = normal(station == "FT-3" ? 1095 : 1185, 40)
      step(id, 2, "tx", "\0472G\047", 6, "\04711n-HT20\047", "\047HT20-MCS7\047", fps >= 1000 ? "pass" : "fail",
           fps >= 1000 ? "NULL" : "\047fail\047", at)
      measure(id, 2, "frames_per_second", fps, "frame/s", 1000, "NULL", "tx", fps >= 1000)
      per2 = normal(retest ? 4 : 5.2, 2.1); if (per2 < 0) per2 = 0
      step(id, 3, "rx", "\0472G\047", 6, "\04711n-HT20\047", "\047HT20-MCS7\047", per2 <= 10 ? "pass" : "fail",
           per2 <= 10 ? "NULL" : "\047fail\047", at)
      measure(id, 3, "per", per2, "%", "NULL", 10, "rx HT20", per2 <= 10)
      step(id, 4, "tune", "\0475G\047", 36, "\04711g-OFDM\047", "\0477-OFDM-54M\047", "pass", "NULL", at)
      per5 = normal(6.1, 1.4); if (per5 < 0) per5 = 0
      step(id, 5, "rx", "\0475G\047", 36, "\04711g-OFDM\047", "\0477-OFDM-54M\047", per5 <= 9 ? "pass" : "fail",
           per5 <= 9 ? "NULL" : "\047fail\047", at)
      measure(id, 5, "per", per5, "%", "NULL", 9, "rx 5G", per5 <= 9)
      ok = fps >= 1000 && per2 <= 10 && per5 <= 9
    }
    verdict = stop ? "incomplete" : ok ? "pass" : "fail"
    code = stop ? "NULL" : ok ? 0 : 1
    if (verdict != "pass") failed[board] = 1; else delete failed[board]
  }
  printf "INSERT INTO runs (run_id, started_at, ended_at, station, operator, serial, lot, tool_version, verdict, exit_code) VALUES (\047%s\047, \047%s\047, %s, \047%s\047, \047%s\047, \047SN%04d\047, \047%s\047, \047%s\047, \047%s\047, %s);\n",
    id, at, stop ? "NULL" : "\047" at "\047", station, board % 2 ? "ann" : "ben", 1000 + board, lot, version, verdict, code
  printf "INSERT INTO boards (run_id, serial, chip_id, mac) VALUES (\047%s\047, \047SN%04d\047, \0470x74000000\047, \04702:00:00:00:%02x:%02x\047);\n",
    id, 1000 + board, int(board / 256), board % 256
}
BEGIN {
  srand(seed)
  print "BEGIN;"
  for (board = 0; board < 150; board++) {
    minute = 420 + int(board / 25) * 1440 + (board % 25) * 24
    run(board, minute, 0)
    if (board in failed) run(board, minute + 60, 1)
  }
  print "COMMIT;"
}' | sqlite3 "$work/results.db"

"$build/bin/deve-cli" --store "$store" report --since 2026-12-01 --until 2026-12-08 --html "$work/report.html" >/dev/null
profile="$work/profile"
mkdir -p "$profile" "$(dirname "$out")"
chromium --headless --no-sandbox --disable-gpu --disable-background-networking --no-first-run \
  --disable-component-update --disable-sync --disable-extensions --disable-crash-reporter \
  --user-data-dir="$profile" --hide-scrollbars --window-size=1150,1760 --screenshot="$out" \
  "file://$work/report.html" >"$work/chromium.log" 2>&1 || {
  echo "Chromium did not take the picture; its output:" >&2
  tail -n 20 "$work/chromium.log" >&2
  exit 1
}
echo "Saved $out"
