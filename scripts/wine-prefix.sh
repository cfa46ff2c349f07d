#!/usr/bin/env bash
# Makes sure the Wine prefix exists with the CJK font replacement, and that an X display
# is there (Xvfb when none). Idempotent; cheap when all is in place.
set -euo pipefail
source "$(dirname "$0")/wine-env.sh"

if ! xdpyinfo -display "$DISPLAY" >/dev/null 2>&1; then
  Xvfb "$DISPLAY" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
  for _ in $(seq 50); do xdpyinfo -display "$DISPLAY" >/dev/null 2>&1 && break; sleep 0.1; done
fi

if [ ! -f "$WINEPREFIX/system.reg" ]; then
  mkdir -p "$WINEPREFIX"
  "$WINE64" wineboot -i >/dev/null 2>&1 </dev/null || true
  "$WINESERVER" -w || true
fi

stamp="$WINEPREFIX/.lumivale-settings-2"
if [ ! -f "$stamp" ]; then
  # Without the font replacement Latin letters in "宋体" render as boxes. Unmanaged windows:
  # Wine draws the title bar and border itself, as Windows would, instead of leaving them to
  # a window manager that Xvfb does not have. regedit wants UTF-16.
  reg="$WINEPREFIX/lumivale-settings.reg"
  printf '%s
' 'Windows Registry Editor Version 5.00' '' \
    '[HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements]' \
    '"宋体"="WenQuanYi Zen Hei"' '"SimSun"="WenQuanYi Zen Hei"' '"NSimSun"="WenQuanYi Zen Hei"' '' \
    '[HKEY_CURRENT_USER\Software\Wine\X11 Driver]' '"Managed"="N"' '' |
    iconv -f UTF-8 -t UTF-16 >"$reg"
  "$WINE64" regedit /S "Z:${reg//\//\\}" >/dev/null 2>&1
  # The registry reaches the disk when the wineserver ends; a persistent one (lv_wine_up)
  # would never end by itself, so end it: tests copy this prefix from disk.
  "$WINESERVER" -k >/dev/null 2>&1 || true
  "$WINESERVER" -w || true
  touch "$stamp"
fi
