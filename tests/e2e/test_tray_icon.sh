#!/usr/bin/env bash
# The real Lumivale.exe's icon in a real notification area: Debian's trayer is the host,
# Wine docks the icon there as an X window of its own, and xdotool clicks on that window
# reach the program's callback as a user's clicks would.
source "$(dirname "$0")/lib.sh"

lv_prefix tray
app="$LV_DIR/app"
rm -rf "$app"
lv_install "$app"
printf '[Messenger]\r\nAddress=127.0.0.1\r\nPort=11392\r\n' >"$app/msgsvc.ini"

# The host must be there before the program: an icon added without one is not docked.
trayer --edge top --align left --widthtype pixel --width 200 --heighttype pixel --height 32 \
  --transparent false --tint 0xffffff >/dev/null 2>&1 </dev/null &
trayer_pid=$!
stop_trayer() { kill "$trayer_pid" 2>/dev/null; wait "$trayer_pid" 2>/dev/null; }
trap stop_trayer EXIT
sleep 1

# The first Windows program to touch the display starts Wine's desktop process, which
# keeps that program's output open: let it be one whose output goes nowhere, or a later
# lv_driver pipe would never end.
"$WINE64" "$LV_BIN/lvdriver.exe" count Lumivale >/dev/null 2>&1 </dev/null
lv_start "$app/Lumivale.exe"
pid=$LV_PID
check "main window appears" lv_driver wait Lumivale 30000

# Wine docks each icon as a window of class "explorer.exe" somewhere below the host's panel.
icon=""
for _ in $(seq 50); do
  icon=$(xwininfo -display "$DISPLAY" -root -tree 2>/dev/null | awk '
    /"panel": \("panel" "trayer"\)/ { inside = 1; next }
    inside && /\("explorer.exe" "explorer.exe"\)/ { print $1; exit }')
  [ -n "$icon" ] && break
  sleep 0.2
done
check "the icon is docked in the notification area" test -n "$icon"
if [ -z "$icon" ]; then
  stop_trayer
  lv_finish
fi
read -r icon_w icon_h < <(xwininfo -id "$icon" | awk '/Width:/ { w = $2 } /Height:/ { h = $2 } END { print w, h }')
click_icon() { xdotool mousemove --window "$icon" $((icon_w / 2)) $((icon_h / 2)) click "$1"; }

# Right-button release opens the main menu at the cursor.
check_eq "no menu before the click" 0 "$(lv_driver menus -)"
click_icon 3
for _ in $(seq 30); do [ "$(lv_driver menus -)" == 1 ] && break; sleep 0.2; done
check_eq "right click opens the main menu" 1 "$(lv_driver menus -)"
shot="$LV_WORK/tray-icon.png"
import -display "$DISPLAY" -window root -crop 200x240+0+0 +repage "$shot" 2>/dev/null
check "screenshot of the icon and its menu saved ($shot)" test -s "$shot"
lv_driver menus - close >/dev/null
for _ in $(seq 30); do [ "$(lv_driver menus -)" == 0 ] && break; sleep 0.2; done
check_eq "Esc closes the menu" 0 "$(lv_driver menus -)"

# A left click toggles the main window (no message waits unread).
check_eq "window shown at start" 1 "$(lv_driver visible Lumivale)"
click_icon 1
sleep 1.5
check_eq "left click hides the window" 0 "$(lv_driver visible Lumivale)"
click_icon 1
sleep 1.5
check_eq "second left click shows it again" 1 "$(lv_driver visible Lumivale)"

# A confirmed Exit takes the icon out of the notification area.
lv_exit "$pid"
sleep 1
check "the icon is gone with it" bash -c "! xwininfo -id $icon >/dev/null 2>&1"

stop_trayer
lv_finish
