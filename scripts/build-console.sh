#!/usr/bin/env bash
# Configures (with the console on) and builds the given targets in a build
# directory: DEVE_BUILD_DIR, default build/dev (the "dev" preset). Prints
# the build's own output.
#
#   scripts/build-console.sh TARGET...
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$(realpath -m "${DEVE_BUILD_DIR:-$root/build/dev}")"

if [ ! -f "$build/CMakeCache.txt" ]; then
  if [ "$build" = "$root/build/dev" ]; then
    (cd "$root" && cmake --preset dev -DVELMO_BUILD_CONSOLE=ON)
  else
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELMO_BUILD_CONSOLE=ON
  fi
elif ! grep -q '^VELMO_BUILD_CONSOLE:BOOL=ON' "$build/CMakeCache.txt"; then
  cmake "$build" -DVELMO_BUILD_CONSOLE=ON
fi
cmake --build "$build" --target "$@"
