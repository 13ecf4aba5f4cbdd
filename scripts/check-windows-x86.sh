#!/usr/bin/env bash
# Checks the 32-bit (x86) Windows set without running it (these machines run
# no 32-bit code, and so neither does Wine here):
#   1. every .exe and .dll is an x86 PE file (machine type 0x014c in its
#      header), and the set has velmo.dll, xolt.dll, Deve.exe, deve-cli.exe;
#   2. each imports only Windows' own DLLs and the set's own;
#   3. velmo.dll and every transport DLL (xolt*.dll) found in both sets
#      export the same names as in the 64-bit set.
#
#   scripts/check-windows-x86.sh X86_BUILD X64_BUILD
set -euo pipefail
x86="$(realpath -m "$1")"
x64="$(realpath -m "$2")"
objdump=i686-w64-mingw32-objdump
windows='^(kernel32|user32|gdi32|advapi32|shell32|ole32|oleaut32|comctl32|comdlg32|gdiplus|ws2_32|winmm|odbc32|version|shlwapi|psapi|bcrypt|ntdll|msvcrt|ucrtbase|api-ms-win-.*)\.dll$'
bad=0

# The Machine field of the PE file header: e_lfanew (offset 0x3C) + 4.
machine() {
  local lfanew
  lfanew=$(od -An -tu4 -j60 -N4 "$1" | tr -d ' ')
  [ "$(od -An -c -j"$lfanew" -N4 "$1" | tr -d ' ')" = 'PE\0\0' ] || { echo none; return; }
  od -An -tx2 -j$((lfanew + 4)) -N2 "$1" | tr -d ' '
}

# Export names, sorted; $1 the objdump of the file's architecture.
exports() {
  "$1" -p "$2" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
    sed -n 's/^\s*\[ *[0-9]*\] //p' | sort
}

for f in velmo.dll xolt.dll Deve.exe deve-cli.exe; do
  [ -f "$x86/bin/$f" ] || { echo "the x86 set has no $f" >&2; bad=1; }
done

own="$(cd "$x86/bin" && ls -- *.dll | tr 'A-Z' 'a-z')"
count=0
for f in "$x86"/bin/*.exe "$x86"/bin/*.dll; do
  count=$((count + 1))
  m="$(machine "$f")"
  if [ "$m" != 014c ]; then
    echo "$(basename "$f"): PE machine type $m, not 014c (x86)" >&2
    bad=1
  fi
  while read -r dll; do
    lower="$(printf '%s' "$dll" | tr 'A-Z' 'a-z')"
    if ! printf '%s\n' "$lower" | grep -Eq "$windows" && ! printf '%s\n' "$own" | grep -qxF "$lower"; then
      echo "$(basename "$f") imports $dll, which is neither Windows' own nor in the x86 set" >&2
      bad=1
    fi
  done < <("$objdump" -p "$f" | sed -n 's/^\s*DLL Name: //p')
done
echo "x86 set: $count files, each of PE machine type 014c (x86), importing only Windows' own DLLs and the set's own"

compared=()
for f in "$x86"/bin/velmo.dll "$x86"/bin/xolt*.dll; do
  name="$(basename "$f")"
  if [ ! -f "$x64/bin/$name" ]; then
    [ "$name" = velmo.dll ] || [ "$name" = xolt.dll ] || continue
    echo "$name is in the x86 set but not in the 64-bit set $x64/bin" >&2
    bad=1
    continue
  fi
  if ! diff <(exports x86_64-w64-mingw32-objdump "$x64/bin/$name") <(exports "$objdump" "$f") >/dev/null; then
    echo "$name exports other names in the x86 set than in the 64-bit set (< x64, > x86):" >&2
    diff <(exports x86_64-w64-mingw32-objdump "$x64/bin/$name") <(exports "$objdump" "$f") >&2 || true
    bad=1
  fi
  compared+=("$name ($(exports "$objdump" "$f" | wc -l) names)")
done
echo "x86 set: the exports of ${compared[*]} are those of the 64-bit set"
exit "$bad"
