#!/usr/bin/env bash
# Runs two builds of deve-cli over the same argument lists (and session
# files) on the simulated board, each with its own libxolt and a fuse file of
# its own that carries over from case to case, and says whether their outputs
# (standard output, standard error, exit code) are byte-identical once times,
# run ids and durations are masked. For a change that must not change what
# the tool does (a move, a fold of code written twice).
#
#   scripts/compare-cli-output.sh BEFORE_BIN AFTER_BIN [CASES_FILE]
#
# BEFORE_BIN and AFTER_BIN are build folders holding deve-cli and libxolt
# (build/dev/bin). Prints one line a differing case, then the counts; exit 1
# when any case differs.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
before="$(realpath "$1")"
after="$(realpath "$2")"
cases="${3:-$root/scripts/cli-compare/cases.txt}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# Times, run ids, durations (and the rates measured over them) and the
# scratch folder's name differ from run to run by their nature; nothing else
# may.
mask() {
  sed -E \
    -e 's/[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}(:[0-9]{2}(\.[0-9]+)?)?(Z|[+-][0-9]{2}:?[0-9]{2})?/TIME/g' \
    -e 's/[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}(:[0-9]{2})?( UTC)?/TIME/g' \
    -e 's/[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}/UUID/g' \
    -e 's/"(elapsed|elapsed_s|seconds|duration_s|duration_ms|elapsed_ms|took_ms|ms|frames_per_second)":[0-9.e+-]+/"\1":N/g' \
    -e 's/[0-9]+(\.[0-9]+)? ?(ms|s)\b/N\2/g' \
    -e "s#$work/(before|after)#DIR#g" -e "s#$before#BIN#g" -e "s#$after#BIN#g"
}

run_side() {  # side bin index words...
  local side="$1" bin="$2" index="$3"
  shift 3
  local dir="$work/$side"
  mkdir -p "$dir"
  local words=()
  for w in "$@"; do w="${w//@CASES/$(dirname "$cases")}"; words+=("${w//@DIR/$dir}"); done
  local code=0
  (cd "$dir" && env XOLT_LIBRARY="$bin/libxolt.so" XOLT_FUSE_FILE="$dir/fuses.bin" XOLT_NOISE_SEED=7 \
      TZ=UTC LC_ALL=C "$bin/deve-cli" --no-progress "${words[@]}" \
      >"$work/$side.$index.out" 2>"$work/$side.$index.err" </dev/null) || code=$?
  { echo "exit $code"; mask <"$work/$side.$index.out"; echo "-- stderr"; mask <"$work/$side.$index.err"; } >"$work/$side.$index.txt"
}

compared=0
identical=0
index=0
while IFS= read -r line || [ -n "$line" ]; do
  case "$line" in ''|'#'*) continue ;; esac
  index=$((index + 1))
  # shellcheck disable=SC2086
  set -f; words=($line); set +f
  # --no-progress is a global option: it goes first, before the words.
  run_side before "$before" "$index" "${words[@]}"
  run_side after "$after" "$index" "${words[@]}"
  compared=$((compared + 1))
  if cmp -s "$work/before.$index.txt" "$work/after.$index.txt"; then
    identical=$((identical + 1))
  else
    echo "differs: $line"
    { diff "$work/before.$index.txt" "$work/after.$index.txt" || true; } | head -8 | sed 's/^/    /'
  fi
done <"$cases"
echo "$compared argument lists compared, $identical byte-identical (times, run ids and durations masked)"
[ "$compared" -eq "$identical" ]
