#!/usr/bin/env bash
# The presence query of the real Lumivale.exe under Wine (as root, so its raw ICMP sockets
# work): a friend at this machine's own address is reported once, the query's commands are
# out of use while it runs and the window keeps answering; Exit during a query ends the
# program cleanly. Only this machine's own address is probed.
source "$(dirname "$0")/lib.sh"

LV_MN_EXIT=207
BT_STATUS=106 MM_OUTPUT=108 BT_CLEAR=111

lv_prefix presence
app="$LV_DIR/app"
rm -rf "$app"
lv_install "$app"
printf '[Messenger]\r\nAddress=127.0.0.1\r\nPort=11400\r\n' >"$app/msgsvc.ini"
printf '[Options]\r\nAnimateWindow=0\r\nEnableHotkey=0\r\n' >"$app/Lumivale.ini"

own=$(lv_driver hostaddress -)
check "the local host name has an address ($own)" grep -qE '^[0-9]+(\.[0-9]+){3}$' <<<"$own"
lv_friends "$app/FRIENDS.DAT" 我 本机 "$own"
cp "$app/FRIENDS.DAT" "$LV_DIR/friends-before"

lv_start_main "$app"
lvpid=$LV_PID
lv_driver click Lumivale "$BT_CLEAR" >/dev/null
sleep 0.5

# The watch presses the button and sends the window a message every 5 ms until the query
# is over; meanwhile the commands are looked at from outside.
watch_out="$LV_DIR/watch.txt"
lv_driver watch Lumivale "$BT_STATUS" "$MM_OUTPUT" "查询完毕！" 20000 >"$watch_out" &
watcher=$!
sleep 3
check_eq "query button off during the query" 0 "$(lv_driver enabled Lumivale "$BT_STATUS")"
check_eq "clear button off during the query" 0 "$(lv_driver enabled Lumivale "$BT_CLEAR")"
mid=$(lv_driver text Lumivale "$MM_OUTPUT")
check_eq "the status area mid-query begins with the query's first line" "正在查询，请稍后.." "$(head -1 <<<"$mid")"
check "and has not its last one yet" test -z "$(grep -F '查询完毕！' <<<"$mid")"
wait "$watcher"
check_eq "the query ends" 0 "$?"
read -r _ elapsed _ longest _ answered <"$watch_out"
echo "query: $elapsed ms, window's longest answer $longest ms, $answered messages answered"
check "the query takes its 8 s ($elapsed ms)" test "$elapsed" -ge 8000 -a "$elapsed" -lt 10000
check "the window answered throughout (longest $longest ms)" awk -v l="$longest" 'BEGIN { exit !(l < 500) }'
check "the window answered many messages ($answered)" test "$answered" -ge 200
check_eq "the friend at this machine's address is reported once" \
  "$(printf '正在查询，请稍后..\n本机 在线\n查询完毕！')" "$(lv_driver text Lumivale "$MM_OUTPUT")"
read -r left top right bottom _ < <(lv_driver rect Lumivale)
shot="$LV_WORK/presence-query.png"
import -display "$DISPLAY" -window root -crop "$((right - left))x$((bottom - top))+$left+$top" +repage "$shot" 2>/dev/null
check "screenshot of the window after the query saved ($shot)" test -s "$shot"
check_eq "query button on again" 1 "$(lv_driver enabled Lumivale "$BT_STATUS")"
check_eq "clear button on again" 1 "$(lv_driver enabled Lumivale "$BT_CLEAR")"

# Exit confirmed while a query runs: the program ends at once, cleanly.
lv_driver click Lumivale "$BT_STATUS" >/dev/null
sleep 3
check_eq "a second query runs" 0 "$(lv_driver enabled Lumivale "$BT_STATUS")"
lv_driver command Lumivale "$LV_MN_EXIT" >/dev/null
check "Exit asks during the query" lv_driver wait dialog:请留步 10000
started=$(date +%s%N)
lv_driver click dialog:请留步 6 >/dev/null
lv_wait_exit "$lvpid" 20
check_eq "Exit during the query ends the program with code 0" 0 "$?"
took=$((($(date +%s%N) - started) / 1000000))
check "it ends without waiting for the query ($took ms)" test "$took" -lt 4000
check "FRIENDS.DAT untouched" cmp -s "$LV_DIR/friends-before" "$app/FRIENDS.DAT"
check "no error box left behind" test "$(lv_driver count dialog:Lumivale)" = 0

lv_finish
