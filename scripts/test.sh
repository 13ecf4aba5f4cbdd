#!/usr/bin/env bash
# Sets up the machine, builds, and runs every test: once in the development
# build, once under AddressSanitizer and UndefinedBehaviorSanitizer, and the
# Windows build (MinGW-w64) with its tests under Wine (scripts/test-windows.sh).
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/setup.sh

# The compiler cache keys on paths relative to the checkout, so a fresh
# clone reuses what another built.
export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$PWD}"

jobs=$(nproc 2>/dev/null || echo 2)

cmake --preset dev
cmake --build --preset dev -j "$jobs"
ctest --preset dev -j "$jobs"

cmake --preset asan
cmake --build --preset asan -j "$jobs"
ctest --preset asan -j "$jobs"
./scripts/test-fuzz.sh

./scripts/test-packages.sh   # install, consumer programs, Debian packages, lintian

./scripts/test-windows.sh
