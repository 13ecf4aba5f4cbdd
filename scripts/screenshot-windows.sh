#!/usr/bin/env bash
# Takes the pictures of Deve.exe that the docs show: the Windows build's
# dialog under Wine, in a Wine desktop window (which draws the frame and
# caption as Windows does) on a virtual X display, on the simulated board
# with a fresh fuse file; deve_screenshot presses OPEN and saves the dialog.
# Then, on another fresh board, deve_screenshot --pictures programs a few
# eFuse records, runs a receive test with the pictures panel open and saves
# the dialog with the panel (deve-windows-pictures.png) and its three
# pictures (deve-windows-rx-chart.png, deve-windows-dpd-curves.png,
# deve-windows-efuse-map.png) beside the first picture.
#
#   scripts/screenshot-windows.sh [output.png]   (default: docs/deve-windows.png)
#   VELMO_WINDOWS_BUILD   Windows build directory (default: build/windows)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$(realpath -m "${VELMO_WINDOWS_BUILD:-$root/build/windows}")"
out="$(realpath -m "${1:-$root/docs/deve-windows.png}")"

VELMO_WINDOWS_BUILD="$build" "$root/scripts/build-windows.sh" Deve deve_screenshot xolt >/dev/null

# shellcheck source=scripts/wine-session.sh
. "$root/scripts/wine-session.sh"
work="$(mktemp -d)"
trap 'wine_session_stop; rm -rf "$work"' EXIT
wine_session_start "$build/wine"

windows_path() { printf 'Z:%s' "$1" | tr / '\\'; }
mkdir -p "$(dirname "$out")"
rm -f "$out"
env -u XOLT_LIBRARY XOLT_FUSE_FILE="$(windows_path "$work/efuse.bin")" \
  "$wine64" explorer /desktop=Deve,1000x760 "$(windows_path "$build/bin/deve_screenshot.exe")" \
  "$(windows_path "$out")" </dev/null >"$work/deve.log" 2>&1 || true
if [ ! -s "$out" ]; then
  echo "Deve.exe did not take the screenshot; its output:" >&2
  tail -n 40 "$work/deve.log" >&2
  exit 1
fi
echo "Saved $out"

# The panel widens the dialog: a desktop as wide as the virtual screen.
pictures="$(dirname "$out")"
rm -f "$pictures"/deve-windows-{pictures,rx-chart,dpd-curves,efuse-map}.png
env -u XOLT_LIBRARY XOLT_FUSE_FILE="$(windows_path "$work/efuse-pictures.bin")" \
  "$wine64" explorer /desktop=Deve,1280x860 "$(windows_path "$build/bin/deve_screenshot.exe")" \
  --pictures "$(windows_path "$pictures")" </dev/null >"$work/pictures.log" 2>&1 || true
for name in pictures rx-chart dpd-curves efuse-map; do
  if [ ! -s "$pictures/deve-windows-$name.png" ]; then
    echo "Deve.exe did not take deve-windows-$name.png; its output:" >&2
    tail -n 40 "$work/pictures.log" >&2
    exit 1
  fi
  echo "Saved $pictures/deve-windows-$name.png"
done
