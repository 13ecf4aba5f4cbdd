#!/usr/bin/env bash
# Cross-compiles the library and the simulated board for Windows with
# MinGW-w64, to keep the Windows side of the platform seam building.
set -euo pipefail
cd "$(dirname "$0")/.."

cmake -S . -B build/mingw -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake \
  -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_CXX_FLAGS="-Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wno-sign-conversion" \
  -DVELMO_BUILD_TESTS=OFF -DVELMO_BUILD_BENCHMARKS=OFF -DVELMO_BUILD_CONSOLE=OFF
cmake --build build/mingw --target velmo xolt
ls -l build/mingw/bin/velmo.dll build/mingw/bin/xolt.dll
