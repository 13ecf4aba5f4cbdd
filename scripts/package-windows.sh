#!/usr/bin/env bash
# Makes the Windows zip from a Windows build (scripts/build-windows.sh):
# Deve.exe (the console dialog, its manifest inside), deve-cli.exe, velmo.dll
# and the simulated board's xolt.dll side by side in
# bin/ (a real transport replaces xolt.dll there, or is named by XOLT_LIBRARY),
# the headers, velmo.def and the MinGW import library, and a short README.
# Prints the zip's path. The zip is named by its architecture:
# velmo-VERSION-windows-x64.zip, velmo-VERSION-windows-x86.zip.
#
#   VELMO_WINDOWS_ARCH    x86_64 (default) or i686, as for build-windows.sh
#   VELMO_WINDOWS_BUILD   build directory (default: build/windows for x86_64,
#                         build/windows-x86 for i686)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
arch="${VELMO_WINDOWS_ARCH:-x86_64}"
case "$arch" in
  x86_64) package_arch=x64; tools=x86_64-w64-mingw32; default_build="$root/build/windows" ;;
  i686) package_arch=x86; tools=i686-w64-mingw32; default_build="$root/build/windows-x86" ;;
  *) echo "package-windows: VELMO_WINDOWS_ARCH must be x86_64 or i686, not '$arch'" >&2; exit 2 ;;
esac
build="$(realpath -m "${VELMO_WINDOWS_BUILD:-$default_build}")"
version="$(sed -n 's/^project(velmo VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")"
name="velmo-$version-windows-$package_arch"
stage="$build/package/$name"

for f in bin/velmo.dll bin/xolt.dll bin/Deve.exe bin/deve-cli.exe bin/tap/xolt_tap.dll bin/replay/xolt_replay.dll \
         velmo/velmo.def velmo/libvelmo.dll.a; do
  if [ ! -f "$build/$f" ]; then
    echo "package-windows: $build/$f is missing: run scripts/build-windows.sh first" >&2
    exit 1
  fi
done

rm -rf "$stage" "$build/package/$name.zip"
mkdir -p "$stage/bin/tap" "$stage/bin/replay" "$stage/include" "$stage/lib"
cp "$build/bin/Deve.exe" "$build/bin/deve-cli.exe" "$build/bin/velmo.dll" "$build/bin/xolt.dll" "$stage/bin/"
# The recording and replay transports, each in a folder of its own.
cp "$build/bin/tap/xolt_tap.dll" "$stage/bin/tap/"
cp "$build/bin/replay/xolt_replay.dll" "$stage/bin/replay/"
"$tools-strip" --strip-unneeded "$stage/bin/"*.* "$stage/bin/tap/"* "$stage/bin/replay/"*
cp -r "$root/include/velmo" "$root/include/xolt" "$stage/include/"
cp "$build/velmo/velmo.def" "$build/velmo/libvelmo.dll.a" "$stage/lib/"
sed -e "s/@VERSION@/$version/" -e "s/@ARCH@/$package_arch/g" "$root/scripts/windows-package-readme.txt" | sed 's/$/\r/' >"$stage/README.txt"
(cd "$build/package" && cmake -E tar cf "$name.zip" --format=zip "$name")
echo "$build/package/$name.zip"
