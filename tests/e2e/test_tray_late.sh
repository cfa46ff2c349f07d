#!/usr/bin/env bash
# Lumivale started before the notification area can take its icon (a start at log-on, or
# Explorer restarting): it stays up with no box, captures a message into receive.txt
# meanwhile, and has its icon as soon as the shell announces itself.
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/msgsvc_helpers.sh"
MSGSVC_PORT=1164
address=127.0.0.64

lv_prefix late
app="$LV_DIR/app"
rm -rf "$app"
lv_install "$app"
msgsvc_ini "$app" "$address"
printf '[Options]\r\nAnimateWindow=0\r\nEnableHotkey=0\r\nEnableSound=0\r\n' >"$app/Lumivale.ini"

trayer --edge top --align left --widthtype pixel --width 200 --heighttype pixel --height 32 \
  --transparent false --tint 0xffffff >/dev/null 2>&1 </dev/null &
trayer_pid=$!
stand_in=""
stop_all() {
  [ -n "$stand_in" ] && kill "$stand_in" 2>/dev/null
  kill "$trayer_pid" 2>/dev/null
  wait "$trayer_pid" 2>/dev/null
}
trap stop_all EXIT
sleep 1
# See test_tray_icon.sh: the first Windows program on the display must have no output pipe.
"$WINE64" "$LV_BIN/lvdriver.exe" count Lumivale >/dev/null 2>&1 </dev/null

docked_icon() {
  xwininfo -display "$DISPLAY" -root -tree 2>/dev/null | awk '
    /"panel": \("panel" "trayer"\)/ { inside = 1; next }
    inside && /\("explorer.exe" "explorer.exe"\)/ { print $1; exit }'
}

# The shell ends first, as when Explorer crashes: Wine brings its desktop back for the next
# program, so a notification area that is there but not yet ready stands in for the rest of
# the log-on, for 12 s.
for p in $(pgrep -f 'explorer\.exe'); do
  tr '\0' '\n' <"/proc/$p/environ" 2>/dev/null | grep -qx "WINEPREFIX=$WINEPREFIX" && kill -9 "$p"
done
"$WINE64" "$LV_BIN/lvdriver.exe" notready 12000 >"$LV_DIR/notready.out" 2>&1 </dev/null &
stand_in=$!
for _ in $(seq 100); do grep -q ready "$LV_DIR/notready.out" && break; sleep 0.1; done
check "the notification area refuses icons" grep -q ready "$LV_DIR/notready.out"

lv_start "$app/Lumivale.exe"
pid=$LV_PID
check "main window appears" lv_driver wait Lumivale 30000
sleep 2
check "Lumivale is still running" kill -0 "$pid"
check_eq "no error box" 0 "$(lv_driver count dialog:Lumivale)"
check_eq "and no icon yet" "" "$(docked_icon)"

msgsvc_wait_listening "$app" || fail "msgsvc.exe listens"
check "a message is sent to this machine" smb_send "$address" 张三 "托盘还没好"
logged=0
for _ in $(seq 50); do
  iconv -f GB18030 -t UTF-8 "$app/receive.txt" 2>/dev/null | grep -q '^托盘还没好' && { logged=1; break; }
  sleep 0.2
done
check_eq "it is captured into receive.txt meanwhile" 1 "$logged"

# The shell is ready and says so: the icon comes.
wait "$stand_in"
stand_in=""
check "the stand-in has gone" grep -q gone "$LV_DIR/notready.out"
icon=""
for _ in $(seq 50); do
  icon=$(docked_icon)
  [ -n "$icon" ] && break
  sleep 0.2
done
check "the icon is docked once the shell is back" test -n "$icon"

lv_exit "$pid"
pkill -f 'test_tray_late.app.msgsvc\.exe' 2>/dev/null
lv_finish
