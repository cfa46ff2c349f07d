#!/usr/bin/env bash
# Makes sure the Wine prefix exists with the CJK font replacement, and that an X display
# is there (Xvfb when none). Idempotent; cheap when all is in place.
set -euo pipefail
source "$(dirname "$0")/wine-env.sh"

if ! xdpyinfo -display "$DISPLAY" >/dev/null 2>&1; then
  Xvfb "$DISPLAY" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
  for _ in $(seq 50); do xdpyinfo -display "$DISPLAY" >/dev/null 2>&1 && break; sleep 0.1; done
fi

stamp="$WINEPREFIX/.lumivale-fonts"
if [ ! -f "$stamp" ]; then
  mkdir -p "$WINEPREFIX"
  "$WINE64" wineboot -i >/dev/null 2>&1 || true
  "$WINESERVER" -w || true
  # Without this replacement Latin letters in "宋体" render as boxes. regedit wants UTF-16.
  reg="$WINEPREFIX/lumivale-fonts.reg"
  printf 'Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\Wine\\Fonts\\Replacements]\r\n"宋体"="WenQuanYi Zen Hei"\r\n"SimSun"="WenQuanYi Zen Hei"\r\n"NSimSun"="WenQuanYi Zen Hei"\r\n\r\n' |
    iconv -f UTF-8 -t UTF-16 >"$reg"
  "$WINE64" regedit /S "Z:${reg//\//\\}" >/dev/null 2>&1
  "$WINESERVER" -w || true
  touch "$stamp"
fi
