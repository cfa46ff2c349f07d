#!/usr/bin/env bash
# The presence query of the real Lumivale.exe on a machine with several addresses: friends at
# 127.0.0.1 and at this machine's own (non-loopback) address both answer, each once, whichever
# address the host name gives first. Only this machine's own addresses are probed.
source "$(dirname "$0")/lib.sh"

BT_STATUS=106 MM_OUTPUT=108 BT_CLEAR=111

lv_prefix presence-addresses
app="$LV_DIR/app"
rm -rf "$app"
lv_install "$app"
printf '[Messenger]\r\nAddress=127.0.0.1\r\nPort=1184\r\n' >"$app/msgsvc.ini"
printf '[Options]\r\nAnimateWindow=0\r\nEnableHotkey=0\r\n' >"$app/Lumivale.ini"

own=$(hostname -I 2>/dev/null | tr ' ' '\n' | grep -E '^[0-9]+(\.[0-9]+){3}$' | grep -v '^127\.' | head -1)
[ -n "$own" ] || own=$(lv_driver hostaddress -)
echo "this machine's address: $own; the host name's first: $(lv_driver hostaddress -)"
lv_friends "$app/FRIENDS.DAT" 我 回环 127.0.0.1 本机 "$own"

lv_start_main "$app"
lvpid=$LV_PID
lv_driver click Lumivale "$BT_CLEAR" >/dev/null
sleep 0.5
lv_driver watch Lumivale "$BT_STATUS" "$MM_OUTPUT" "查询完毕！" 20000 >/dev/null
check_eq "the query ends" 0 "$?"
out=$(lv_driver text Lumivale "$MM_OUTPUT")
echo "$out"
check_eq "first line" "正在查询，请稍后.." "$(head -1 <<<"$out")"
check_eq "last line" "查询完毕！" "$(tail -1 <<<"$out")"
check_eq "the friend at 127.0.0.1 is reported once" 1 "$(grep -cx '回环 在线' <<<"$out")"
if [ "$own" != 127.0.0.1 ]; then
  check_eq "the friend at $own is reported once" 1 "$(grep -cx '本机 在线' <<<"$out")"
fi
check_eq "nothing else" 4 "$(wc -l <<<"$out")"
lv_window_shot Lumivale "$LV_WORK/presence-addresses.png"

lv_exit "$lvpid"
lv_finish
