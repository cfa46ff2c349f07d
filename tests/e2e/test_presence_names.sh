#!/usr/bin/env bash
# The presence query of the real Lumivale.exe for a friend recorded by computer name: the
# name is looked up and its answer reported under the friend's own name, beside a friend
# recorded by the same address and one at 127.0.0.1. The name is one this test adds to
# /etc/hosts for its run (as root), at a loopback address, and removes again however the
# test ends; no name server is asked and only loopback addresses are probed.
source "$(dirname "$0")/lib.sh"

BT_STATUS=106 MM_OUTPUT=108 BT_CLEAR=111

name="lvpresence-e2e-$$"
address=127.0.0.37
hosts_line="$address $name"
remove_hosts_line() {
  # Rewritten in place: /etc/hosts may be a mount point that a rename cannot replace.
  local kept
  kept=$(grep -vxF "$hosts_line" /etc/hosts)
  printf '%s\n' "$kept" >/etc/hosts
}
trap remove_hosts_line EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
if ! printf '%s\n' "$hosts_line" >>/etc/hosts; then
  fail "/etc/hosts cannot be written (the test runs as root)"
  lv_finish
fi
check_eq "the name resolves on this machine" "$address" "$(getent hosts "$name" | awk '{ print $1 }')"

lv_prefix presence-names
app="$LV_DIR/app"
rm -rf "$app"
lv_install "$app"
printf '[Messenger]\r\nAddress=127.0.0.1\r\nPort=11437\r\n' >"$app/msgsvc.ini"
printf '[Options]\r\nAnimateWindow=0\r\nEnableHotkey=0\r\n' >"$app/Lumivale.ini"
lv_friends "$app/FRIENDS.DAT" 我 回环 127.0.0.1 名机 "$name" 同址 "$address"

lv_start_main "$app"
lvpid=$LV_PID
lv_driver click Lumivale "$BT_CLEAR" >/dev/null
sleep 0.5
watch_out="$LV_DIR/watch.txt"
lv_driver watch Lumivale "$BT_STATUS" "$MM_OUTPUT" "查询完毕！" 20000 >"$watch_out"
check_eq "the query ends" 0 "$?"
read -r _ elapsed _ <"$watch_out"
check "the query keeps its 8 s ($elapsed ms)" test "$elapsed" -ge 8000 -a "$elapsed" -lt 10000
out=$(lv_driver text Lumivale "$MM_OUTPUT")
echo "$out"
check_eq "first line" "正在查询，请稍后.." "$(head -1 <<<"$out")"
check_eq "last line" "查询完毕！" "$(tail -1 <<<"$out")"
check_eq "the friend recorded by computer name is reported under its own name" 1 "$(grep -cx '名机 在线' <<<"$out")"
check_eq "the friend recorded by the same address too" 1 "$(grep -cx '同址 在线' <<<"$out")"
check_eq "the friend at 127.0.0.1 once" 1 "$(grep -cx '回环 在线' <<<"$out")"
check_eq "nothing else" 5 "$(wc -l <<<"$out")"
check "no error box" test "$(lv_driver count dialog:Lumivale)" = 0
lv_window_shot Lumivale "$LV_WORK/presence-names.png"

lv_exit "$lvpid"
lv_finish
