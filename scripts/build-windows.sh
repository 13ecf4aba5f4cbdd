#!/usr/bin/env bash
# Cross-builds for Windows with MinGW-w64 (Debian's POSIX-thread compilers):
# first GoogleTest (from Debian's source package), CLI11's, nlohmann/json's and
# utf8cpp's headers into a prefix of their own, then velmo.dll, xolt.dll, Deve.exe (the
# Win32 dialog), deve-cli.exe, the example, calibration_bench and the tests.
# Everything is linked statically, so the files need nothing beside them but
# what ships with Windows.
#
#   scripts/build-windows.sh [TARGET...]   (default: everything)
#   VELMO_WINDOWS_BUILD   build directory (default: build/windows)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$(realpath -m "${VELMO_WINDOWS_BUILD:-$root/build/windows}")"
deps="$build-deps"
toolchain="$root/cmake/mingw-w64.cmake"
flags="-Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wno-sign-conversion"
export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$root}"

# The programs that run the Windows tests on Linux: ctest and the tests'
# discovery call them through Wine.
wine64="$(command -v wine64 || true)"
if [ -z "$wine64" ] && [ -x /usr/lib/wine/wine64 ]; then
  wine64=/usr/lib/wine/wine64
fi

if [ ! -f "$deps/prefix/lib/cmake/GTest/GTestConfig.cmake" ]; then
  cmake -S /usr/src/googletest -B "$deps/googletest" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
    -DBUILD_GMOCK=OFF -DINSTALL_GTEST=ON -DCMAKE_INSTALL_PREFIX="$deps/prefix"
  cmake --build "$deps/googletest"
  cmake --install "$deps/googletest" >/dev/null
fi
# CLI11 is headers only: the host's copy, with its package file, in the prefix.
if [ ! -f "$deps/prefix/share/cmake/CLI11/CLI11Config.cmake" ]; then
  mkdir -p "$deps/prefix/include" "$deps/prefix/share/cmake"
  cp -r /usr/include/CLI "$deps/prefix/include/"
  cp -r /usr/share/cmake/CLI11 "$deps/prefix/share/cmake/"
fi
# nlohmann/json (deve-cli's limit files) likewise.
if [ ! -f "$deps/prefix/share/cmake/nlohmann_json/nlohmann_jsonConfig.cmake" ]; then
  mkdir -p "$deps/prefix/include" "$deps/prefix/share/cmake"
  cp -r /usr/include/nlohmann "$deps/prefix/include/"
  cp -r /usr/share/cmake/nlohmann_json "$deps/prefix/share/cmake/"
fi
# utf8cpp (the store's UTF-8 to UTF-16) likewise: headers only.
if [ ! -f "$deps/prefix/include/utf8cpp/utf8.h" ]; then
  mkdir -p "$deps/prefix/include"
  cp -rL /usr/include/utf8cpp "$deps/prefix/include/"
fi

cmake -S "$root" -B "$build" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
  -DVELMO_WINDOWS_DEPS="$deps/prefix" \
  -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_CXX_FLAGS="$flags" \
  ${wine64:+-DCMAKE_CROSSCOMPILING_EMULATOR="$wine64"} \
  -DVELMO_BUILD_CONSOLE=ON -DVELMO_BUILD_CLI=ON -DVELMO_BUILD_TESTS=ON -DVELMO_BUILD_BENCHMARKS=ON
if [ $# -gt 0 ]; then
  cmake --build "$build" --target "$@"
else
  cmake --build "$build"
fi
