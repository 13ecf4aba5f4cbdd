#!/usr/bin/env bash
# How deve-cli report grows with the runs of a store: the time and the peak
# memory of `report --json` over 10^4, 10^5 and 10^6 runs, on SQLite and on
# a private PostgreSQL server (line/tests/postgres.sh), with the growth from
# one size to the next as ratios.
#
# A store is seeded with a made-up line (report_scale_seed.awk: five
# stations, about ten measurements a run, failed boards tested again), then
# grown by doubling: every run so far copied with its steps, measurements
# and board under a new run id, serial and MAC address (a copy is another
# board: no address is on two boards), later by the span the store
# covers, so that a million runs cover about a year. The last copy to a size
# takes only the runs it needs.
#
#   benchmarks/report_scale.sh [options]
#     --cli PATH       the deve-cli to measure (default: build/dev/bin/deve-cli)
#     --before PATH    also measure an older deve-cli (schema 2) on a store of
#                      its own, at the sizes of --before-sizes
#     --sizes "N ..."  (default: 10000 100000 1000000)
#     --before-sizes "N ..."  (default: 10000 100000)
#     --databases "sqlite postgresql"   (default: both)
#
# Needs the sqlite3 shell, PostgreSQL's server and psql, and /usr/bin/time.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cli="$root/build/dev/bin/deve-cli"
before=""
sizes="10000 100000 1000000"
before_sizes="10000 100000"
databases="sqlite postgresql"
while [ $# -gt 0 ]; do
  case "$1" in
    --cli) cli="$2"; shift 2 ;;
    --before) before="$2"; shift 2 ;;
    --sizes) sizes="$2"; shift 2 ;;
    --before-sizes) before_sizes="$2"; shift 2 ;;
    --databases) databases="$2"; shift 2 ;;
    *) echo "report_scale.sh: unknown option $1" >&2; exit 2 ;;
  esac
done
for tool in sqlite3 psql awk; do
  command -v "$tool" >/dev/null || [ -x "/usr/lib/postgresql/15/bin/$tool" ] || { echo "$tool is missing" >&2; exit 1; }
done
export PATH="$PATH:$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1)"

work="$(mktemp -d)"
state="$work/postgres.state"
cleanup() {
  [ -f "$state" ] && bash "$root/line/tests/postgres.sh" stop "$state" >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT
results="$work/results"
: >"$results"

# sql DB TEXT: runs SQL on the benchmark's database DB (sqlite:PATH or a
# PostgreSQL database name); its output unaligned.
sql() {
  case "$1" in
    sqlite:*) sqlite3 "${1#sqlite:}" "$2" ;;
    *) psql -q -X -tA -h 127.0.0.1 -p "$pg_port" -U line -d "$1" -c "$2" ;;
  esac
}
sql_file() {
  case "$1" in
    sqlite:*) sqlite3 "${1#sqlite:}" ;;
    *) psql -q -X -h 127.0.0.1 -p "$pg_port" -U line -d "$1" >/dev/null ;;
  esac
}
url_of() {
  case "$1" in
    sqlite:*) echo "$1" ;;
    *) echo "postgresql://line@127.0.0.1:$pg_port/$1" ;;
  esac
}

# A start time moved on by $shift seconds, in the store's form.
later() {
  case "$db" in
    sqlite:*) echo "strftime('%Y-%m-%dT%H:%M:%fZ', $1, '+$shift seconds')" ;;
    *) echo "to_char($1::timestamp + interval '$shift seconds', 'YYYY-MM-DD\"T\"HH24:MI:SS.MS\"Z\"')" ;;
  esac
}
span_seconds() {
  case "$db" in
    sqlite:*) sql "$db" "SELECT CAST(ROUND((julianday(MAX(started_at)) - julianday(MIN(started_at))) * 86400) AS INTEGER) + 32 FROM runs" ;;
    *) sql "$db" "SELECT CAST(EXTRACT(EPOCH FROM MAX(started_at)::timestamp - MIN(started_at)::timestamp) AS BIGINT) + 32 FROM runs" ;;
  esac
}

# grow TARGET: copies runs of $db until it holds TARGET.
grow() {
  local target=$1 have take sfx
  while :; do
    have=$(sql "$db" "SELECT COUNT(*) FROM runs")
    [ "$have" -ge "$target" ] && break
    take=$(( target - have < have ? target - have : have ))
    shift=$(span_seconds)
    sfx="-c$have"
    sql_file "$db" <<SQL
BEGIN;
CREATE TEMP TABLE pick AS SELECT run_id FROM runs ORDER BY started_at, run_id LIMIT $take;
INSERT INTO runs (run_id, started_at, ended_at, station, operator, serial, lot, tool_version, host, verdict, exit_code)
 SELECT run_id || '$sfx', $(later started_at), $(later ended_at), station, operator, serial || '$sfx', lot,
        tool_version, host, verdict, exit_code FROM runs WHERE run_id IN (SELECT run_id FROM pick);
INSERT INTO boards (run_id, serial, chip_id, mac)
 SELECT run_id || '$sfx', serial || '$sfx', chip_id, CASE WHEN mac <> '' THEN mac || '$sfx' ELSE mac END
 FROM boards WHERE run_id IN (SELECT run_id FROM pick);
INSERT INTO steps (run_id, seq, command, started_at, ended_at, band, channel, mode, rate, outcome, error_kind)
 SELECT run_id || '$sfx', seq, command, started_at, ended_at, band, channel, mode, rate, outcome, error_kind
 FROM steps WHERE run_id IN (SELECT run_id FROM pick);
INSERT INTO measurements (run_id, step_seq, name, value, unit, low, high, limit_set, limit_source, passed)
 SELECT run_id || '$sfx', step_seq, name, value, unit, low, high, limit_set, limit_source, passed
 FROM measurements WHERE run_id IN (SELECT run_id FROM pick);
DROP TABLE pick;
COMMIT;
SQL
  done
  case "$db" in
    sqlite:*) sql "$db" "ANALYZE" ;;
    *) sql "$db" "VACUUM ANALYZE" >/dev/null ;;
  esac
}

# measure LABEL CLI: one report --json of $db; its time and peak memory.
measure() {
  local label=$1 program=$2 runs
  runs=$(sql "$db" "SELECT COUNT(*) FROM runs")
  if TZ=UTC /usr/bin/time -f "%e %M" -o "$work/time" "$program" --store "$(url_of "$db")" report --json \
      >"$work/report.json" 2>"$work/stderr"; then
    read -r seconds kbytes <"$work/time"
    printf '%s %s %s %s %s\n' "$kind" "$label" "$runs" "$seconds" "$kbytes" >>"$results"
    printf '  %-10s %-7s %8s runs: %7.2f s, peak %7.1f MB\n' "$kind" "$label" "$runs" "$seconds" \
      "$(awk -v k="$kbytes" 'BEGIN { print k / 1024 }')"
  else
    echo "  $kind $label $runs runs: the report failed: $(tail -n 1 "$work/stderr")"
  fi
}

# A fresh store of the given deve-cli's schema, seeded with 625 runs.
fresh() {
  local name=$1 program=$2
  case "$kind" in
    sqlite) db="sqlite:$work/$name.db" ;;
    postgresql) db="$name"; psql -q -X -h 127.0.0.1 -p "$pg_port" -U line -d postgres -c "CREATE DATABASE $name" ;;
  esac
  "$program" --store "$(url_of "$db")" store init >/dev/null
  awk -v n=625 -f "$root/benchmarks/report_scale_seed.awk" | sql_file "$db"
}

for kind in $databases; do
  if [ "$kind" = postgresql ]; then
    bash "$root/line/tests/postgres.sh" start "$state" >/dev/null
    pg_port=$(sed -n 's|.*@127.0.0.1:\([0-9]*\)/.*|\1|p' "$state" | head -n 1)
  fi
  if [ -n "$before" ]; then
    echo "$kind, before:"
    fresh scale_before "$before"
    for n in $before_sizes; do grow "$n"; measure before "$before"; done
    [ "$kind" = sqlite ] && rm -f "$work/scale_before.db"
  fi
  echo "$kind, after:"
  fresh scale_after "$cli"
  for n in $sizes; do grow "$n"; measure after "$cli"; done
  [ "$kind" = sqlite ] && rm -f "$work/scale_after.db"
done

echo
echo "| database | deve-cli | runs | time | peak memory | time ratio | memory ratio |"
echo "|---|---|---|---|---|---|---|"
awk '{
  key = $1 " " $2
  ratio_t = (key in t) ? sprintf("%.2f", $4 / t[key]) : "-"
  ratio_m = (key in m) ? sprintf("%.2f", $5 / m[key]) : "-"
  printf "| %s | %s | %d | %.2f s | %.1f MB | %s | %s |\n", $1, $2, $3, $4, $5 / 1024, ratio_t, ratio_m
  t[key] = $4; m[key] = $5
}' "$results"
