#!/usr/bin/env bash
# A private PostgreSQL server for the store's tests, in a temporary folder,
# on 127.0.0.1 and a free port.
#
#   postgres.sh start STATE   starts it; STATE (a file) gets two lines: the
#                             admin URL (postgresql://line@127.0.0.1:PORT/postgres)
#                             and the server's folder
#   postgres.sh stop STATE    stops it and removes its folder
#   postgres.sh pause STATE / resume STATE
#                             stops it and starts it again on the same port
#                             and folder (a database that goes away)
#
# PostgreSQL refuses to run as root: as root its tools run as the postgres
# user the package creates. The user line is trusted (a test server); the
# user station has the password station-secret.
set -euo pipefail

action=${1:?usage: postgres.sh start|stop|pause|resume STATE}
state=${2:?usage: postgres.sh start|stop|pause|resume STATE}

bin=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1)
if [ -z "$bin" ] || [ ! -x "$bin/initdb" ]; then
  echo "postgres.sh: PostgreSQL's server is not installed (Debian package postgresql; scripts/setup.sh)" >&2
  exit 1
fi
as_server() {
  if [ "$(id -u)" -eq 0 ]; then
    runuser -u postgres -- "$@"
  else
    "$@"
  fi
}
start_server() {  # DIR PORT
  as_server "$bin/pg_ctl" -D "$1/data" -w -t 60 -l "$1/server.log" \
    -o "-k $1 -p $2 -c listen_addresses=127.0.0.1 -c fsync=off -c max_connections=200" start >/dev/null
}
stop_server() {  # DIR
  as_server "$bin/pg_ctl" -D "$1/data" -m fast -w -t 60 stop >/dev/null 2>&1 || true
}

case "$action" in
start)
  if [ -f "$state" ]; then
    # A server a killed run left behind.
    old=$(sed -n 2p "$state")
    [ -n "$old" ] && [ -d "$old" ] && stop_server "$old" && rm -rf "$old"
    rm -f "$state"
  fi
  dir=$(mktemp -d "${TMPDIR:-/tmp}/deve-store-pg.XXXXXX")
  chmod 755 "$dir"
  if [ "$(id -u)" -eq 0 ]; then
    chown postgres "$dir"
  fi
  as_server "$bin/initdb" -D "$dir/data" -A trust -U line -E UTF8 --locale=C.UTF-8 >/dev/null
  # The user line is trusted; every other user gives a password (the tests
  # of a refused password use the user station).
  printf '%s\n' 'local all all trust' 'host all line 127.0.0.1/32 trust' \
    'host all all 127.0.0.1/32 scram-sha-256' | as_server tee "$dir/data/pg_hba.conf" >/dev/null
  for attempt in $(seq 1 20); do
    port=$(( 20000 + (RANDOM * 32768 + RANDOM) % 40000 ))
    # A port something already listens on is passed over.
    if (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then
      continue
    fi
    if start_server "$dir" "$port"; then
      as_server "$bin/psql" -q -h 127.0.0.1 -p "$port" -U line -d postgres \
        -c "CREATE ROLE station LOGIN PASSWORD 'station-secret'" >/dev/null
      printf 'postgresql://line@127.0.0.1:%s/postgres\n%s\n%s\n' "$port" "$dir" "$port" > "$state"
      echo "PostgreSQL on 127.0.0.1:$port in $dir"
      exit 0
    fi
  done
  cat "$dir/server.log" >&2 || true
  rm -rf "$dir"
  echo "postgres.sh: the server did not start" >&2
  exit 1
  ;;
stop)
  [ -f "$state" ] || exit 0
  dir=$(sed -n 2p "$state")
  if [ -n "$dir" ] && [ -d "$dir" ]; then
    stop_server "$dir"
    rm -rf "$dir"
  fi
  rm -f "$state"
  ;;
pause)
  stop_server "$(sed -n 2p "$state")"
  ;;
resume)
  start_server "$(sed -n 2p "$state")" "$(sed -n 3p "$state")"
  ;;
*)
  echo "usage: postgres.sh start|stop|pause|resume STATE" >&2
  exit 2
  ;;
esac
