#!/usr/bin/env bash
# Installation and packages, end to end:
#  1. a release build with Debian's build flags, configured for /usr;
#  2. installed into a staging prefix; a small program built against it
#     through pkg-config runs on the installed simulated board;
#  3. the staged tree moved elsewhere: the same program built through
#     find_package(velmo) runs there, and so does deve-cli;
#  4. the Debian packages (cpack), their dependencies, and lintian;
#  5. the packages unpacked with dpkg -x: deve-cli --json info, and Deve
#     offscreen, from there; python3-deve imports from there, and its pytest
#     plugin runs a test on the unpacked deve-cli.
# Every board run keeps its fuses in the test's own directory.
#
#   scripts/test-packages.sh
#
# Build directory build/package; the packages are left in build/package/debs.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=$root/build/package
work=$build/test
jobs=$(nproc 2>/dev/null || echo 2)
started=$SECONDS

step() { printf '\n== %s\n' "$*"; }
fail() { printf 'FAIL: %s\n' "$*" >&2; exit 1; }
# expect_line FILE TEXT: FILE has a line that is exactly TEXT.
expect_line() { grep -qxF -- "$2" "$1" || { cat "$1" >&2; fail "$1: no line '$2'"; }; }
# expect_text FILE TEXT: FILE contains TEXT.
expect_text() { grep -qF -- "$2" "$1" || { cat "$1" >&2; fail "$1: no '$2'"; }; }
# has TEXT WORD: TEXT contains WORD (no pipe into grep -q, which may end the
# writer early under pipefail).
has() { [[ $1 == *"$2"* ]]; }

rm -rf "$work"
mkdir -p "$work"
export XOLT_FUSE_FILE=$work/efuse.bin
unset XOLT_LIBRARY LD_LIBRARY_PATH

step "Release build with Debian's build flags"
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cppflags=$(dpkg-buildflags --get CPPFLAGS)
ldflags=$(dpkg-buildflags --get LDFLAGS)
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=None -DCMAKE_INSTALL_PREFIX=/usr \
  -DCMAKE_C_FLAGS="$(dpkg-buildflags --get CFLAGS) $cppflags" \
  -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CXXFLAGS) $cppflags" \
  -DCMAKE_EXE_LINKER_FLAGS="$ldflags" -DCMAKE_SHARED_LINKER_FLAGS="$ldflags" \
  -DVELMO_BUILD_TESTS=OFF -DVELMO_BUILD_BENCHMARKS=OFF \
  -DVELMO_BUILD_CONSOLE=ON -DVELMO_BUILD_CLI=ON >"$work/configure.log"
cmake --build "$build" -j "$jobs"
libdir=$(sed -n 's/^CMAKE_INSTALL_LIBDIR:PATH=//p' "$build/CMakeCache.txt")
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
echo "library directory $libdir, version $version"

# run_consumer PROGRAM TREE: the program opens the link on TREE's board and
# reads the revision register, with TREE's library.
run_consumer() {
  local program=$1 tree=$2 log=$work/$(basename "$1").log
  "$program" >"$log" || { cat "$log" >&2; fail "$program failed"; }
  expect_line "$log" "rf_init 0"
  expect_line "$log" "revision read 0 0x30303643"
  expect_line "$log" "unity DAC gain code 0x80"
  expect_line "$log" "library $tree/$libdir/libvelmo.so.$version"
  expect_line "$log" "library version $version"
  expect_line "$log" "transport $tree/$libdir/libxolt.so"
  local loaded
  loaded=$(sed -n 's/^transport loaded //p' "$log")
  [ "$(realpath -m "$loaded")" = "$tree/$libdir/libxolt.so" ] \
    || fail "$program: velmo_transport_path names $loaded, not $tree/$libdir/libxolt.so"
  echo "$program: rf_init 0, revision 0x30303643, on $tree"
}

# check_info DEVE_CLI TREE: deve-cli --json info opens TREE's board.
check_info() {
  local cli=$1 tree=$2 log=$work/info-$(basename "$2").jsonl
  "$cli" --json --no-progress info >"$log" || { cat "$log" >&2; fail "deve-cli info failed"; }
  expect_text "$log" '"type":"info"'
  expect_text "$log" '"revision":"0x30303643"'
  expect_text "$log" '"verdict":"pass","exit_code":0'
  local loaded
  loaded=$(sed -n 's/.*"transport_loaded":"\([^"]*\)".*/\1/p' "$log")
  loaded=$(realpath -m "${loaded:-none}")
  [ "$loaded" = "$tree/$libdir/libxolt.so" ] \
    || fail "deve-cli loaded the transport $loaded, not $tree/$libdir/libxolt.so"
  echo "deve-cli --json info: pass, transport $loaded"
}

step "Install into a staging prefix"
stage=$work/stage
cmake --install "$build" --prefix "$stage" >"$work/install.log"
for file in include/velmo/velmo.h include/velmo/gain_codes.h include/xolt/xolt.h \
    "$libdir/libvelmo.so" "$libdir/libvelmo.so.0" "$libdir/libxolt.so" \
    "$libdir/cmake/velmo/velmoConfig.cmake" "$libdir/cmake/velmo/velmoConfigVersion.cmake" \
    "$libdir/pkgconfig/velmo.pc" bin/Deve bin/deve-cli \
    share/man/man1/deve-cli.1.gz share/man/man1/Deve.1.gz \
    share/applications/org.velmo.Deve.desktop share/metainfo/org.velmo.Deve.metainfo.xml \
    share/icons/hicolor/64x64/apps/org.velmo.Deve.png; do
  [ -e "$stage/$file" ] || fail "not installed: $file"
done
has "$(readelf -d "$stage/$libdir/libvelmo.so.0")" "Library soname: [libvelmo.so.0]" \
  || fail "libvelmo has no SONAME libvelmo.so.0"
for program in Deve deve-cli; do
  has "$(readelf -d "$stage/bin/$program")" "Library runpath: [\$ORIGIN/../$libdir]" \
    || fail "$program: RUNPATH is not \$ORIGIN/../$libdir"
done
echo "headers, library (SONAME libvelmo.so.0), board, programs (RUNPATH \$ORIGIN/../$libdir)"

step "A program built through pkg-config, on the staged board"
export PKG_CONFIG_PATH=$stage/$libdir/pkgconfig
[ "$(pkg-config --modversion velmo)" = "$version" ] || fail "velmo.pc: version is not $version"
# shellcheck disable=SC2046 # the flags are separate words
c++ -std=c++17 -o "$work/consumer-pkg-config" packaging/tests/consumer/consumer.cpp \
  $(pkg-config --cflags --libs velmo) -Wl,-rpath,"$(pkg-config --variable=libdir velmo)"
run_consumer "$work/consumer-pkg-config" "$stage"
unset PKG_CONFIG_PATH

step "The staged tree moved: find_package(velmo), deve-cli"
moved=$work/opt/velmo
mkdir -p "$(dirname "$moved")"
mv "$stage" "$moved"
cmake -S packaging/tests/consumer -B "$work/consumer-cmake" -G Ninja \
  -DCMAKE_PREFIX_PATH="$moved" >"$work/consumer-cmake.log"
cmake --build "$work/consumer-cmake" >>"$work/consumer-cmake.log"
run_consumer "$work/consumer-cmake/consumer" "$moved"
if cmake -S packaging/tests/consumer -B "$work/consumer-too-new" -G Ninja \
    -DCMAKE_PREFIX_PATH="$moved" -DVELMO_REQUIRED_VERSION=1.0 >"$work/consumer-too-new.log" 2>&1; then
  fail "find_package(velmo 1.0) accepted version $version"
fi
echo "find_package(velmo 1.0) refused version $version"
check_info "$moved/bin/deve-cli" "$moved"

step "Debian packages"
debdir=$build/debs
rm -rf "$debdir"
(cd "$build" && cpack -G DEB -B "$debdir" >"$work/cpack.log") || { cat "$work/cpack.log" >&2; fail "cpack failed"; }
arch=$(dpkg --print-architecture)
packages=(libvelmo0 libvelmo-dev xolt-sim deve deve-cli)
debs=()
for package in "${packages[@]}"; do
  deb=$debdir/${package}_${version}_${arch}.deb
  [ -f "$deb" ] || fail "no package $package"
  debs+=("$deb")
  printf '%s\n' "$(dpkg-deb -f "$deb" Package Version Section Depends Recommends Suggests Enhances)" ""
done
# The Python package is architecture-independent.
python_deb=$debdir/python3-deve_${version}_all.deb
[ -f "$python_deb" ] || fail "no package python3-deve"
debs+=("$python_deb")
printf '%s\n' "$(dpkg-deb -f "$python_deb" Package Version Section Architecture Depends Recommends)" ""
has "$(dpkg-deb -f "$python_deb" Depends)" "deve-cli (= $version)" || fail "python3-deve does not depend on deve-cli (= $version)"
depends() { dpkg-deb -f "$debdir/${1}_${version}_${arch}.deb" Depends; }
for package in libvelmo-dev deve deve-cli; do
  has "$(depends "$package")" "libvelmo0 (= $version)" || fail "$package does not depend on libvelmo0 (= $version)"
done
for package in libvelmo0 xolt-sim deve deve-cli; do
  has "$(depends "$package")" "libc6 (>= " || fail "$package: no libc6 dependency from dpkg-shlibdeps"
done
has "$(depends deve)" "libqt6widgets6" || fail "deve: no Qt dependency from dpkg-shlibdeps"
[ "$(dpkg-deb -I "$debdir/libvelmo0_${version}_${arch}.deb" shlibs)" = "libvelmo 0 libvelmo0 (>= $version)" ] \
  || fail "libvelmo0: shlibs is not 'libvelmo 0 libvelmo0 (>= $version)'"
[ "$(dpkg-parsechangelog -l packaging/debian/changelog -S Version)" = "$version" ] \
  || fail "packaging/debian/changelog does not start with version $version"
grep -qF "<release version=\"$version\"" packaging/deve/org.velmo.Deve.metainfo.xml \
  || fail "the metainfo has no release $version"

step "lintian"
# Kept warnings are overridden in the packages, each with its reason (the
# N: lines before each O:); any other error or warning fails.
lintian --fail-on none --show-overrides "${debs[@]}" >"$work/lintian.log"
cat "$work/lintian.log"
! grep -qE '^[EW]: ' "$work/lintian.log" || fail "lintian reports errors or warnings"

step "Unpacked with dpkg -x"
tree=$work/root
for deb in "${debs[@]}"; do dpkg -x "$deb" "$tree"; done
desktop-file-validate "$tree/usr/share/applications/org.velmo.Deve.desktop"
appstreamcli validate-tree --no-net "$tree" >"$work/appstream.log" || { cat "$work/appstream.log" >&2; fail "AppStream"; }
check_info "$tree/usr/bin/deve-cli" "$tree/usr"

# Deve on Qt's offscreen platform: started for a few seconds, it must still
# be running, on the unpacked library.
export QT_QPA_PLATFORM=offscreen
"$tree/usr/bin/Deve" >"$work/deve.log" 2>&1 &
deve=$!
sleep 4
if ! kill -0 "$deve" 2>/dev/null; then
  status=0
  wait "$deve" || status=$?
  tail -20 "$work/deve.log" >&2
  fail "Deve ended within 4 s (status $status)"
fi
maps=$(cat "/proc/$deve/maps")
kill "$deve"
wait "$deve" || true
has "$maps" "$tree/usr/$libdir/libvelmo.so.$version" || fail "Deve did not run on $tree/usr/$libdir/libvelmo.so.$version"
echo "Deve: running after 4 s, on $tree/usr/$libdir/libvelmo.so.$version"

# --screenshot presses OPEN (the whole open sequence, on the unpacked board)
# and saves the dialog; the loader's log names the transport it started.
LD_DEBUG=files LD_DEBUG_OUTPUT=$work/deve-open.ld "$tree/usr/bin/Deve" --screenshot "$work/deve-open.png" \
  >"$work/deve-open.log" 2>&1 || { tail -20 "$work/deve-open.log" >&2; fail "Deve --screenshot failed"; }
[ -s "$work/deve-open.png" ] || fail "Deve saved no screenshot"
! grep -q '^ERROR: ' "$work/deve-open.log" || fail "the library reported an error at OPEN: $(grep -m1 '^ERROR: ' "$work/deve-open.log")"
transport=$(sed -n 's/.*calling init: \(.*\/libxolt\.so\)$/\1/p' "$work"/deve-open.ld.*)
transport=${transport%%$'\n'*}
transport=$(realpath -m "${transport:-none}")
[ "$transport" = "$tree/usr/$libdir/libxolt.so" ] \
  || fail "Deve opened the link on '$transport', not $tree/usr/$libdir/libxolt.so"
echo "Deve --screenshot: OPEN on $transport, picture saved"

step "python3-deve, unpacked: import, the pytest plugin, a test on the board"
site=$tree/usr/lib/python3/dist-packages
[ -f "$site/deve-$version.egg-info/entry_points.txt" ] || fail "python3-deve: no entry_points.txt"
PYTHONPATH=$site /usr/bin/python3 - "$site" "$version" <<'PY' || fail "python3-deve does not import from the package"
import sys
from importlib.metadata import entry_points
import deve
site, version = sys.argv[1:]
assert deve.__file__.startswith(site), deve.__file__
assert deve.__version__ == version, f"deve {deve.__version__}, packages {version}"
assert [e.value for e in entry_points(group="pytest11") if e.name == "deve"] == ["deve.pytest_plugin"]
print(f"deve {deve.__version__} from {deve.__file__}")
PY
mkdir -p "$work/pytest-deve"
cat >"$work/pytest-deve/test_board.py" <<'PY'
import pytest

@pytest.mark.deve_board("SN-PACKAGE", open="quick")
def test_the_board_answers(deve_session):
    assert deve_session.info().revision == 0x30303643
PY
PYTHONPATH=$site /usr/bin/python3 -m pytest -q -p no:cacheprovider "--deve-cli=$tree/usr/bin/deve-cli" \
  "$work/pytest-deve" >"$work/pytest-deve.log" 2>&1 || { cat "$work/pytest-deve.log" >&2; fail "the deve_session fixture"; }
expect_text "$work/pytest-deve.log" "1 passed"
echo "pytest: the deve_session fixture ran a test on $tree/usr/bin/deve-cli"

step "Packages: pass ($((SECONDS - started)) s)"
