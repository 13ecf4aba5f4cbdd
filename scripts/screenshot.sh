#!/usr/bin/env bash
# Takes the pictures of the Deve dialog that the docs show: the console
# runs under Xvfb on the simulated board with a fresh fuse file, presses OPEN,
# and saves its window as an image; then deve_pictures_screenshots runs the
# dialog through a receive test, a pre-distortion calibration and a few fuse
# writes on another fresh board and saves the pictures panel's three views
# (deve-rx-chart.png, deve-dpd-curves.png, deve-efuse-map.png) and the dialog
# with the panel open (deve-pictures.png) beside the first picture.
#
#   scripts/screenshot.sh [output.png]   (default: docs/deve-open.png)
#   DEVE_BUILD_DIR        build directory (default: build/dev)
#   DEVE_RX_SECONDS       length of the pictured receive test (default: 45)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$(realpath -m "${DEVE_BUILD_DIR:-$root/build/dev}")"
out="$(realpath -m "${1:-$root/docs/deve-open.png}")"

if ! command -v xvfb-run >/dev/null; then
  echo "xvfb-run is not installed: run scripts/setup.sh first." >&2
  exit 1
fi

DEVE_BUILD_DIR="$build" "$root/scripts/build-console.sh" Deve deve_pictures_screenshots xolt

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

if ! env -u XOLT_LIBRARY -u WAYLAND_DISPLAY XOLT_FUSE_FILE="$work/efuse-pictures.bin" QT_QPA_PLATFORM=xcb \
    xvfb-run -a -s "-screen 0 1280x1024x24" "$build/bin/deve_pictures_screenshots" \
    --out "$(dirname "$out")" --seconds "${DEVE_RX_SECONDS:-45}" >"$work/pictures.log" 2>&1; then
  echo "The pictures were not taken; the program's output:" >&2
  tail -n 40 "$work/pictures.log" >&2
  exit 1
fi
grep '^saved ' "$work/pictures.log" | sed 's/^saved /Saved /'
