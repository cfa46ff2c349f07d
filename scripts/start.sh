#!/usr/bin/env bash
# Installs what is missing, builds Lumivale.exe and msgsvc.exe and starts them under Wine:
# in the user's X display, or in Xvfb when there is none (then a screenshot is saved).
# The programs and their files (FRIENDS.DAT, Lumivale.ini, logs) live in build/Lumivale/.
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
cd "$top"

as_root() { if [ "$(id -u)" = 0 ]; then "$@"; else sudo "$@"; fi; }
as_root bash scripts/setup-deps.sh

cmake --preset windows >/dev/null
cmake --build --preset windows -j "$(nproc)" --target Lumivale msgsvc lvdriver lv_assets

headless=0
if [ -z "${DISPLAY:-}" ] || ! xdpyinfo >/dev/null 2>&1; then
  headless=1
  export DISPLAY=:99
fi
source scripts/wine-env.sh
bash scripts/wine-prefix.sh
# A run after a rebuild must run the new programs. msgsvc.exe is single-instance and
# outlives Lumivale, so a copy from the last run would go on serving and Lumivale would not
# start the new one: end every program of the project's prefix (it is ours) first.
lv_wine_down
timeout 30 "$WINESERVER" -w || true
lv_wine_up

# LV_APP_DIR: another folder for the programs and their files (the tests use their own).
app="${LV_APP_DIR:-$top/build/Lumivale}"
mkdir -p "$app"
cp build/windows/bin/Lumivale.exe build/windows/bin/msgsvc.exe build/windows/bin/README.TXT \
  build/windows/bin/msg.wav "$app/"
[ -f "$app/msgsvc.ini" ] || cp build/windows/bin/msgsvc.ini "$app/"
# Lumivale starts msgsvc.exe from its own folder when it is not running yet.
"$WINE64" "$app/Lumivale.exe" >/dev/null 2>&1 </dev/null &
if ! "$WINE64" build/windows/bin/lvdriver.exe wait Lumivale 30000 >/dev/null 2>&1 </dev/null; then
  echo "Lumivale did not open its window; see 'WINEDEBUG=err+all' output by running it by hand."
  exit 1
fi
echo "Lumivale is running (folder $app, Wine prefix $WINEPREFIX)."
if [ "$headless" = 1 ]; then
  sleep 1
  import -display "$DISPLAY" -window root "$top/build/screenshot.png"
  echo "No X display: it runs in Xvfb $DISPLAY; screenshot saved to $top/build/screenshot.png"
fi
echo "Stop it with its Exit command, or: WINEPREFIX=$WINEPREFIX /usr/lib/wine/wineserver -k"
