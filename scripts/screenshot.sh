#!/usr/bin/env bash
# Takes the picture of the Deve dialog after OPEN that the README shows: the
# console runs under Xvfb on the simulated board with a fresh fuse file,
# presses OPEN, and saves its window as an image.
#
#   scripts/screenshot.sh [output.png]   (default: docs/deve-open.png)
#   DEVE_BUILD_DIR   build directory (default: build/dev)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$(realpath -m "${DEVE_BUILD_DIR:-$root/build/dev}")"
out="$(realpath -m "${1:-$root/docs/deve-open.png}")"

if ! command -v xvfb-run >/dev/null; then
  echo "xvfb-run is not installed: run scripts/setup.sh first." >&2
  exit 1
fi

if [ ! -f "$build/CMakeCache.txt" ]; then
  if [ "$build" = "$root/build/dev" ]; then
    (cd "$root" && cmake --preset dev -DVELMO_BUILD_CONSOLE=ON)
  else
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELMO_BUILD_CONSOLE=ON
  fi
elif ! grep -q '^VELMO_BUILD_CONSOLE:BOOL=ON' "$build/CMakeCache.txt"; then
  cmake "$build" -DVELMO_BUILD_CONSOLE=ON
fi
cmake --build "$build" --target Deve xolt

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir -p "$(dirname "$out")"

# A fresh board, the simulated transport whatever the caller's XOLT_LIBRARY,
# and the X platform of Xvfb.
if ! env -u XOLT_LIBRARY -u WAYLAND_DISPLAY XOLT_FUSE_FILE="$work/efuse.bin" QT_QPA_PLATFORM=xcb \
    xvfb-run -a -s "-screen 0 1280x1024x24" "$build/bin/Deve" --screenshot "$out" >"$work/deve.log" 2>&1; then
  echo "Deve did not take the screenshot; its output:" >&2
  tail -n 40 "$work/deve.log" >&2
  exit 1
fi
echo "Saved $out"
