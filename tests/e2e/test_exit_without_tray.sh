#!/usr/bin/env bash
# The notification area goes away under the running program (its host ends, as when the
# shell crashes or restarts): a confirmed Exit still ends Lumivale.exe at once with code 0,
# and no error box is left behind. A host that comes back gets the icon again.
source "$(dirname "$0")/lib.sh"

lv_prefix notray
app="$LV_DIR/app"
rm -rf "$app"
lv_install "$app"
printf '[Messenger]\r\nAddress=127.0.0.1\r\nPort=1161\r\n' >"$app/msgsvc.ini"

trayer_pid=""
start_trayer() {
  trayer --edge top --align left --widthtype pixel --width 200 --heighttype pixel --height 32 \
    --transparent false --tint 0xffffff >/dev/null 2>&1 </dev/null &
  trayer_pid=$!
}
stop_trayer() {
  [ -n "$trayer_pid" ] || return 0
  kill "$trayer_pid" 2>/dev/null
  wait "$trayer_pid" 2>/dev/null
  trayer_pid=""
}
trap stop_trayer EXIT
# The X window Wine docks the icon as, inside the host's panel; empty when there is none.
docked_icon() {
  xwininfo -display "$DISPLAY" -root -tree 2>/dev/null | awk '
    /"panel": \("panel" "trayer"\)/ { inside = 1; next }
    inside && /\("explorer.exe" "explorer.exe"\)/ { print $1; exit }'
}
wait_docked() {
  for _ in $(seq 50); do
    [ -n "$(docked_icon)" ] && return 0
    sleep 0.2
  done
  return 1
}

start_trayer
sleep 1
# See test_tray_icon.sh: the first Windows program on the display must have no output pipe.
"$WINE64" "$LV_BIN/lvdriver.exe" count Lumivale >/dev/null 2>&1 </dev/null
lv_start "$app/Lumivale.exe"
pid=$LV_PID
check "main window appears" lv_driver wait Lumivale 30000
check "the icon is docked" wait_docked

# The host comes back after a restart: the icon is there again.
stop_trayer
sleep 1
start_trayer
check "a new notification area gets the icon again" wait_docked

# The shell ends (Wine's explorer.exe of this prefix, which keeps the notification area's
# icons) and its host with it: the icon can no longer be removed. The user exits.
shell_pid=""
for p in $(pgrep -f 'explorer\.exe'); do
  tr '\0' '\n' <"/proc/$p/environ" 2>/dev/null | grep -qx "WINEPREFIX=$WINEPREFIX" && shell_pid=$p
done
check "the shell runs" test -n "$shell_pid"
[ -n "$shell_pid" ] && kill -9 "$shell_pid"
for _ in $(seq 50); do
  kill -0 "$shell_pid" 2>/dev/null || break
  sleep 0.1
done
check "the shell is gone" bash -c "! kill -0 $shell_pid 2>/dev/null"
stop_trayer
# The desktop settles after its process has gone: until then no window can be found.
for _ in $(seq 50); do
  [ "$(lv_driver count Lumivale)" == 1 ] && break
  sleep 0.2
done
check_eq "the program runs on without them" 1 "$(lv_driver count Lumivale)"
lv_driver command Lumivale 207 >/dev/null # the main menu's 退出(&E)
check "Exit asks first" lv_driver wait dialog:请留步 10000
start=$(date +%s%N)
lv_driver click dialog:请留步 6 >/dev/null
lv_wait_exit "$pid" 3
code=$?
took=$((($(date +%s%N) - start) / 1000000))
echo "the program ended ${took} ms after Yes"
check_eq "a confirmed Exit ends the program within 3 s with code 0" 0 "$code"
if [ "$code" != 0 ]; then
  lv_screenshot "$LV_WORK/exit-without-tray.png"
  echo "screen at the failure: $LV_WORK/exit-without-tray.png"
  lv_driver statics dialog:Lumivale
  kill "$pid" 2>/dev/null
  wait "$pid" 2>/dev/null
fi

lv_finish
