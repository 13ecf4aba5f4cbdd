#!/usr/bin/env bash
# The Windows part of the tests, on Linux: builds everything for Windows
# (scripts/build-windows.sh), checks that every DLL and program imports only
# DLLs that ship with Windows, runs the Windows tests under wine64 on a
# virtual display (among them the Deve dialog's UI test, and its captions
# check again at 144 DPI), runs
# deve-cli's end-to-end tests (a Linux program) against deve-cli.exe, and
# runs the Windows package from a folder whose name has a space and a
# non-ASCII letter. The 32-bit (x86) set is built too and checked statically
# (scripts/check-windows-x86.sh: machine types, imports, exports against the
# 64-bit set), not run: these machines run no 32-bit code.
#
#   VELMO_WINDOWS_BUILD       Windows build directory (default: build/windows)
#   VELMO_WINDOWS_X86_BUILD   the x86 set's build directory (default: build/windows-x86)
#   DEVE_BUILD_DIR        Linux build with deve_cli_sim_test (default: build/dev)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$(realpath -m "${VELMO_WINDOWS_BUILD:-$root/build/windows}")"
native="$(realpath -m "${DEVE_BUILD_DIR:-$root/build/dev}")"
jobs=$(nproc 2>/dev/null || echo 2)
started=$(date +%s)

VELMO_WINDOWS_BUILD="$build" "$root/scripts/build-windows.sh"

echo "== Imports: only Windows' own DLLs and the build's own (velmo.dll, xolt.dll, ...)"
windows='^(kernel32|user32|gdi32|advapi32|shell32|ole32|oleaut32|comctl32|comdlg32|gdiplus|ws2_32|winmm|odbc32|version|shlwapi|psapi|bcrypt|ntdll|msvcrt|ucrtbase|api-ms-win-.*)\.dll$'
own="$(cd "$build/bin" && ls -- *.dll | tr 'A-Z' 'a-z')"
bad=0
for f in "$build"/bin/*.exe "$build"/bin/*.dll; do
  while read -r dll; do
    lower="$(printf '%s' "$dll" | tr 'A-Z' 'a-z')"
    if ! printf '%s\n' "$lower" | grep -Eq "$windows" && ! printf '%s\n' "$own" | grep -qxF "$lower"; then
      echo "$(basename "$f") imports $dll, which is neither Windows' own nor built here" >&2
      bad=1
    fi
  done < <(x86_64-w64-mingw32-objdump -p "$f" | sed -n 's/^\s*DLL Name: //p')
done
[ "$bad" -eq 0 ] || exit 1
echo "every program and DLL in $build/bin imports only Windows' own DLLs and the build's own"

echo "== The x86 set: built, and checked by its headers, imports and exports (not run)"
x86="$(realpath -m "${VELMO_WINDOWS_X86_BUILD:-$root/build/windows-x86}")"
VELMO_WINDOWS_ARCH=i686 VELMO_WINDOWS_BUILD="$x86" "$root/scripts/build-windows.sh"
"$root/scripts/check-windows-x86.sh" "$x86" "$build"
echo "x86 package: $(VELMO_WINDOWS_ARCH=i686 VELMO_WINDOWS_BUILD="$x86" "$root/scripts/package-windows.sh")"

# One private Wine prefix in the build tree, one Wine server for the run, on
# a virtual display of its own (the dialog's UI test opens windows).
# shellcheck source=scripts/wine-session.sh
. "$root/scripts/wine-session.sh"
trap wine_session_stop EXIT
wine_session_start "$build/wine"

echo "== Windows tests under Wine"
ctest --test-dir "$build" -j "$jobs" --output-on-failure --timeout 300 --no-tests=error

echo "== Deve's captions at 144 DPI"
# The prefix's DPI is read when its desktop starts: set, then a new server.
"$wine64" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d 144 /f </dev/null >/dev/null 2>&1
wineserver -k
wineserver -p
captions=0
(cd "$build/console/win32/tests" && DEVE_UI_DPI=144 "$wine64" "$build/bin/deve_ui_test.exe" \
  --gtest_filter='DeveCaptions.*' </dev/null) || captions=$?
"$wine64" reg delete 'HKCU\Control Panel\Desktop' /v LogPixels /f </dev/null >/dev/null 2>&1 || true
wineserver -k
wineserver -p
[ "$captions" -eq 0 ] || exit 1

echo "== deve-cli's end-to-end tests against deve-cli.exe"
if [ ! -f "$native/CMakeCache.txt" ]; then
  cmake --preset dev
fi
cmake --build "$native" --target deve_cli_sim_test
DEVE_CLI_PROGRAM="$build/bin/deve-cli.exe" DEVE_CLI_LAUNCHER="$wine64" \
  ctest --test-dir "$native" -j "$jobs" --output-on-failure --timeout 600 --no-tests=error \
  -R '^Cli(Commands|Efuse|Safety|Report)\.' -E '\.tap$'

echo "== The line store's tests against deve-cli.exe: the same SQLite files and PostgreSQL server"
cmake --build "$native" --target deve_cli_store_test
DEVE_CLI_PROGRAM="$build/bin/deve-cli.exe" DEVE_CLI_LAUNCHER="$wine64" \
  ctest --test-dir "$native" -j "$jobs" --output-on-failure --timeout 600 --no-tests=error \
  -L store -R '^Store(Runs|Away)|^Backends/(StoreRuns|Hostile)|^HostileFiles|^store_postgres'

echo "== MAC pools with deve-cli.exe: the line's rules, and two stations burning from one pool at once"
cmake --build "$native" --target deve_pool_test
DEVE_CLI_PROGRAM="$build/bin/deve-cli.exe" DEVE_CLI_LAUNCHER="$wine64" \
  ctest --test-dir "$native" --output-on-failure --timeout 600 --no-tests=error \
  -R 'PoolStore\.(TwoStationsAtOnce|RangesRetests)|store_postgres'

echo "== The Windows package, unpacked into a folder with a space and a non-ASCII letter"
zip="$(VELMO_WINDOWS_BUILD="$build" "$root/scripts/package-windows.sh")"
place="$build/package-run/Prüf platz"
rm -rf "$build/package-run"
mkdir -p "$place"
(cd "$place" && cmake -E tar xf "$zip")
cli="$(find "$place" -name deve-cli.exe)"
[ -n "$(find "$place" -name Deve.exe)" ] || { echo "the package has no Deve.exe" >&2; exit 1; }
run_dir="$build/package-run/elsewhere"
mkdir -p "$run_dir"
fuse="Z:$(printf '%s' "$build/package-run/efuse.bin" | tr / '\\')"
info="$(cd "$run_dir" && env -u XOLT_LIBRARY XOLT_FUSE_FILE="$fuse" "$wine64" "$cli" --json info </dev/null)"
printf '%s\n' "$info"
printf '%s\n' "$info" | grep -q '"type":"info".*"transport_loaded":"Z:[^"]*Prüf platz[^"]*\\\\bin\\\\xolt.dll"' \
  || { echo "deve-cli from the package did not load the package's xolt.dll" >&2; exit 1; }
printf '%s\n' "$info" | grep -q '"type":"end".*"verdict":"pass"' \
  || { echo "deve-cli from the package did not pass" >&2; exit 1; }
echo "package $zip: deve-cli --json info passes from another working directory"

echo "Windows step: $(( ($(date +%s) - started + 30) / 60 )) min"
