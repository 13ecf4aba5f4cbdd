# Sourced by the scripts that run Windows programs under Wine on Linux
# (test-windows.sh, screenshot-windows.sh): a private Wine prefix with one
# Wine server, on a virtual X display, with Wine's own fonts and a Chinese
# font for the dialog's Traditional Chinese captions.
#
#   wine_session_start PREFIX   starts Xvfb and the Wine server, prepares the
#                               prefix; exports DISPLAY, WINEPREFIX, wine64
#   wine_session_stop           ends both (the caller's EXIT trap)

wine64="$(command -v wine64 || echo /usr/lib/wine/wine64)"
wine_session_xvfb=""

# Wine's fonts (Tahoma, the dialog font; Marlett, the caption buttons) are
# taken from the prefix's Fonts folder. Chinese glyphs come through Tahoma's
# font link to "MINGLIU.TTC,PMingLiU", which a new prefix lists but cannot
# find: the Noto CJK collection under that file name, and the family name
# PMingLiU standing for its Traditional Chinese face.
wine_session_fonts() {
  local fonts="$WINEPREFIX/drive_c/windows/Fonts" f
  mkdir -p "$fonts"
  for f in /usr/share/wine/fonts/*.ttf; do
    ln -sf "$f" "$fonts/"
  done
  ln -sf /usr/share/fonts/opentype/noto/NotoSansCJK-Regular.ttc "$fonts/MINGLIU.TTC"
  "$wine64" reg add 'HKCU\Software\Wine\Fonts\Replacements' /v PMingLiU /t REG_SZ \
    /d 'Noto Sans CJK TC' /f </dev/null >/dev/null 2>&1
}

wine_session_start() {
  local fifo display
  # A display of its own: Xvfb picks a free number and writes it on fd 3.
  fifo="$(mktemp -u)"
  mkfifo "$fifo"
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
  wine_session_xvfb=$!
  read -r display <"$fifo" || true
  rm -f "$fifo"
  if [ -z "${display:-}" ]; then
    echo "Xvfb did not start" >&2
    return 1
  fi
  export DISPLAY=":$display"

  # wineboot hangs when its standard input is a pipe; a server of this
  # prefix left from an earlier run is ended first.
  export WINEPREFIX="$1" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  mkdir -p "$WINEPREFIX"
  wineserver -k 2>/dev/null || true
  wineserver -p
  wineboot </dev/null >/dev/null 2>&1
  wine_session_fonts
}

wine_session_stop() {
  wineserver -k 2>/dev/null || true
  if [ -n "$wine_session_xvfb" ]; then
    kill "$wine_session_xvfb" 2>/dev/null || true
    wait "$wine_session_xvfb" 2>/dev/null || true
  fi
}
