#!/usr/bin/env bash
# Cross-builds for Windows with MinGW-w64 (Debian's POSIX-thread compilers):
# first GoogleTest (from Debian's source package), CLI11's, nlohmann/json's and
# utf8cpp's headers into a prefix of their own, then velmo.dll, xolt.dll, Deve.exe (the
# Win32 dialog), deve-cli.exe, the example, calibration_bench and the tests.
# Everything is linked statically, so the files need nothing beside them but
# what ships with Windows.
#
# Two architectures: x86_64 (64-bit, the default) and i686 (the 32-bit, x86
# set, for a maker's 32-bit xolt.dll). The x86 set is built without its tests
# unless asked: these machines cannot run 32-bit programs, so it is checked
# statically (scripts/test-windows.sh), not run.
#
#   scripts/build-windows.sh [TARGET...]   (default: everything)
#   VELMO_WINDOWS_ARCH    x86_64 (default) or i686
#   VELMO_WINDOWS_BUILD   build directory (default: build/windows for x86_64,
#                         build/windows-x86 for i686)
#   VELMO_WINDOWS_TESTS   ON or OFF: build the tests (default: ON for x86_64,
#                         OFF for i686)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
arch="${VELMO_WINDOWS_ARCH:-x86_64}"
case "$arch" in
  x86_64)
    toolchain="$root/cmake/mingw-w64.cmake"
    default_build="$root/build/windows"
    tests="${VELMO_WINDOWS_TESTS:-ON}"
    ;;
  i686)
    toolchain="$root/cmake/mingw-w64-i686.cmake"
    default_build="$root/build/windows-x86"
    tests="${VELMO_WINDOWS_TESTS:-OFF}"
    ;;
  *)
    echo "build-windows: VELMO_WINDOWS_ARCH must be x86_64 or i686, not '$arch'" >&2
    exit 2
    ;;
esac
build="$(realpath -m "${VELMO_WINDOWS_BUILD:-$default_build}")"
deps="$build-deps"
flags="-Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wno-sign-conversion"
export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$root}"

# The programs that run the Windows tests on Linux: ctest and the tests'
# discovery call them through Wine.
# The 32-bit set has none: nothing here runs it.
wine64=""
if [ "$arch" = x86_64 ]; then
  wine64="$(command -v wine64 || true)"
  if [ -z "$wine64" ] && [ -x /usr/lib/wine/wine64 ]; then
    wine64=/usr/lib/wine/wine64
  fi
fi

if [ "$tests" = ON ] && [ ! -f "$deps/prefix/lib/cmake/GTest/GTestConfig.cmake" ]; then
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
  -DVELMO_BUILD_CONSOLE=ON -DVELMO_BUILD_CLI=ON -DVELMO_BUILD_TESTS="$tests" -DVELMO_BUILD_BENCHMARKS="$tests"
if [ $# -gt 0 ]; then
  cmake --build "$build" --target "$@"
else
  cmake --build "$build"
fi
