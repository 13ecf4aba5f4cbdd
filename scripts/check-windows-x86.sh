#!/usr/bin/env bash
# Checks the 32-bit (x86) Windows set without running it (these machines run
# no 32-bit code, and so neither does Wine here):
#   1. every .exe and .dll is an x86 PE file (machine type 0x014c in its
#      header), and the set has velmo.dll, xolt.dll, Deve.exe, deve-cli.exe
#      and the recording and replay transports;
#   2. each imports only Windows' own DLLs and the set's own;
#   3. velmo.dll and every transport DLL (xolt*.dll, also in tap/ and
#      replay/) found in both sets
#      export the same names as in the 64-bit set.
#
#   scripts/check-windows-x86.sh X86_BUILD X64_BUILD
set -euo pipefail
shopt -s nullglob
x86="$(realpath -m "$1")"
x64="$(realpath -m "$2")"
objdump=i686-w64-mingw32-objdump
windows='^(kernel32|user32|gdi32|advapi32|shell32|ole32|oleaut32|comctl32|comdlg32|gdiplus|ws2_32|winmm|odbc32|version|shlwapi|psapi|bcrypt|ntdll|msvcrt|ucrtbase|api-ms-win-.*)\.dll$'
bad=0
section=0
# A failure: told on standard error, remembered for the section and the run.
fail() {
  echo "$*" >&2
  bad=1
  section=1
}

# The Machine field of the PE file header: e_lfanew (offset 0x3C) + 4.
machine() {
  local lfanew
  lfanew=$(od -An -tu4 -j60 -N4 "$1" | tr -d ' ')
  [ "$(od -An -c -j"$lfanew" -N4 "$1" | tr -d ' ')" = 'PE\0\0' ] || { echo none; return; }
  od -An -tx2 -j$((lfanew + 4)) -N2 "$1" | tr -d ' '
}

# Export names, sorted; $1 the objdump of the file's architecture.
exports() {
  { "$1" -p "$2" 2>/dev/null || true; } | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
    sed -n 's/^\s*\[ *[0-9]*\] //p' | sort
}

for f in velmo.dll xolt.dll Deve.exe deve-cli.exe tap/xolt_tap.dll replay/xolt_replay.dll; do
  [ -f "$x86/bin/$f" ] || fail "the x86 set has no $f"
done

own="$(cd "$x86/bin" && ls -- *.dll */*.dll 2>/dev/null | xargs -n1 basename | tr 'A-Z' 'a-z')"
section=0
count=0
for f in "$x86"/bin/*.exe "$x86"/bin/*.dll "$x86"/bin/*/*.dll; do
  [ -f "$f" ] || continue
  count=$((count + 1))
  m="$(machine "$f")"
  if [ "$m" != 014c ]; then
    fail "$(basename "$f"): PE machine type $m, not 014c (x86)"
  fi
  while read -r dll; do
    lower="$(printf '%s' "$dll" | tr 'A-Z' 'a-z')"
    if ! printf '%s\n' "$lower" | grep -Eq "$windows" && ! printf '%s\n' "$own" | grep -qxF "$lower"; then
      fail "$(basename "$f") imports $dll, which is neither Windows' own nor in the x86 set"
    fi
  done < <("$objdump" -p "$f" | sed -n 's/^\s*DLL Name: //p')
done
if [ "$section" -eq 0 ]; then
  echo "x86 set: $count files, each of PE machine type 014c (x86), importing only Windows' own DLLs and the set's own"
fi

section=0
compared=()
for f in "$x86"/bin/velmo.dll "$x86"/bin/xolt*.dll "$x86"/bin/*/xolt*.dll; do
  [ -f "$f" ] || continue
  name="${f#"$x86"/bin/}"
  if [ ! -f "$x64/bin/$name" ]; then
    # velmo.dll and the simulated board are in every 64-bit set; another
    # transport is compared where both sets have it.
    if [ "$name" = velmo.dll ] || [ "$name" = xolt.dll ] || [ "$name" = tap/xolt_tap.dll ] || [ "$name" = replay/xolt_replay.dll ]; then
      fail "$name is in the x86 set but not in the 64-bit set $x64/bin"
    fi
    continue
  fi
  theirs="$(exports x86_64-w64-mingw32-objdump "$x64/bin/$name")"
  ours="$(exports "$objdump" "$f")"
  if [ -z "$ours" ] || [ "$ours" != "$theirs" ]; then
    fail "$name exports other names in the x86 set than in the 64-bit set (< x64, > x86):"
    diff <(printf '%s\n' "$theirs") <(printf '%s\n' "$ours") >&2 || true
    continue
  fi
  compared+=("$name ($(printf '%s\n' "$ours" | wc -l) names)")
done
if [ "$section" -eq 0 ]; then
  echo "x86 set: the exports of ${compared[*]} are those of the 64-bit set"
fi
exit "$bad"
