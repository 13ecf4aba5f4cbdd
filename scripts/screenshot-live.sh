#!/usr/bin/env bash
# Takes the picture of deve-cli's live page that the docs show: the browser
# test's made-up shift (two stations, a failure at each, a run under way, a
# pool, and a third station whose run is stored while the page is open),
# served by report serve and saved by headless Chromium through chromedriver.
#
#   scripts/screenshot-live.sh [output.png]   (default: docs/line-live.png)
#   DEVE_BUILD_DIR        build directory (default: build/dev)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$(realpath -m "${DEVE_BUILD_DIR:-$root/build/dev}")"
out="$(realpath -m "${1:-$root/docs/line-live.png}")"

for tool in chromium chromedriver; do
  if ! command -v "$tool" >/dev/null; then
    echo "$tool is not installed: run scripts/setup.sh first." >&2
    exit 1
  fi
done
cmake --build "$build" --target deve-cli deve_cli_report_serve_test >/dev/null
DEVE_LIVE_SCREENSHOT="$out" "$build/bin/deve_cli_report_serve_test" \
  --gtest_filter=LivePage.LoadsWithNoConsoleMessageAndShowsANewRun
echo "the picture is $out"
