#!/usr/bin/env bash
# Builds the Deve console and starts it. By default the library talks to the
# simulated board (libxolt.so beside libvelmo.so, fuses kept in
# XOLT_FUSE_FILE or its default); set XOLT_LIBRARY to use a real transport.
# Arguments are passed to Deve.
#
#   DEVE_BUILD_DIR   build directory (default: build/dev, the "dev" preset)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$(realpath -m "${DEVE_BUILD_DIR:-$root/build/dev}")"

DEVE_BUILD_DIR="$build" "$root/scripts/build-console.sh" Deve xolt

deve="$build/bin/Deve"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  cat <<MSG
Deve is a desktop program, and this session has no display (neither DISPLAY
nor WAYLAND_DISPLAY is set), so its window cannot open here.

To run it on a virtual X display (Xvfb):
  xvfb-run -a -s "-screen 0 1280x1024x24" $deve

To see it after OPEN as a picture instead:
  scripts/screenshot.sh          # writes docs/deve-open.png
MSG
  exit 1
fi

exec "$deve" "$@"
