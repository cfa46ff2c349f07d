#!/usr/bin/env bash
# Two everyday mishaps of the real Lumivale.exe: a Position saved on a monitor that is gone
# (the window must still open on the screen), and FRIENDS.DAT held open without sharing by
# another program (a scanner) for 1.5 s just as a friend is added: the save waits for it,
# and the friend is in the list and in the file afterwards.
source "$(dirname "$0")/lib.sh"

BT_ADD=101 EDT_NAME=401 EDT_IP=403 BT_OK=404 MM_OUTPUT=108
ADD="添加好友"
friends_file() { tr '\0' '|' <"$app/FRIENDS.DAT" | iconv -f GBK -t UTF-8; }

lv_prefix held
app="$LV_DIR/app"
rm -rf "$app"
lv_install "$app"
printf '[Messenger]\r\nAddress=127.0.0.1\r\nPort=11421\r\n' >"$app/msgsvc.ini"
printf '[Options]\r\nAnimateWindow=0\r\nEnableHotkey=0\r\n[Position]\r\nX=30000\r\nY=-30000\r\n' \
  >"$app/Lumivale.ini"
lv_friends "$app/FRIENDS.DAT" 我 王五 192.168.0.9

lv_start_main "$app"
lvpid=$LV_PID
read -r left top right bottom cw ch < <(lv_driver rect Lumivale)
# The defaults for a 1280x1024 screen: right edge 10 px from the screen's, centred upright.
check_eq "the far position gives way to the default one" \
  "$((1280 - (right - left) - 10)) $(((1024 - (bottom - top)) / 2))" "$left $top"

lv_driver click Lumivale "$BT_ADD" >/dev/null
check "the friend editor opens" lv_shown "$ADD" 1
lv_driver settext "$ADD" "$EDT_NAME" "张三" >/dev/null
lv_driver settext "$ADD" "$EDT_IP" "192.168.0.7" >/dev/null
dat="$app/FRIENDS.DAT"
"$WINE64" "$LV_BIN/lvdriver.exe" hold "Z:${dat//\//\\}" 1500 >"$LV_DIR/hold.out" 2>&1 </dev/null &
holder=$!
for _ in $(seq 100); do grep -q held "$LV_DIR/hold.out" && break; sleep 0.02; done
check "another program holds FRIENDS.DAT" grep -q held "$LV_DIR/hold.out"
lv_driver click "$ADD" "$BT_OK" >/dev/null &
clicker=$!
sleep 0.3
check "the save meets the held file" kill -0 "$holder"
# The window is kept alive meanwhile: its status area answers (WM_GETTEXT, which a frozen
# window would hold until the save ends) while the holder still holds.
lv_driver text Lumivale "$MM_OUTPUT" >/dev/null
check "the window answers during the wait" kill -0 "$holder"
wait "$holder" "$clicker"
check "OK closes the editor" lv_shown "$ADD" 0
for _ in $(seq 30); do
  grep -q "数据文件保存" <(lv_driver text Lumivale "$MM_OUTPUT") && break
  sleep 0.2
done
status=$(lv_driver text Lumivale "$MM_OUTPUT")
check "the save succeeds once the file is free" grep -qx "数据文件保存成功！" <<<"$status"
check "and is not reported failed" test -z "$(grep "保存出错" <<<"$status")"
check_eq "the new friend is in the list" "王五,张三" \
  "$(lv_driver items Lumivale "$(lv_child_id Lumivale ListBox)" | paste -sd,)"
check_eq "and in FRIENDS.DAT" "1 2 |我|王五|192.168.0.9|张三|192.168.0.7|END" "$(friends_file)"
check "no temporary file is left" test ! -e "$app/FRIENDS.DAT.tmp"

lv_exit "$lvpid"
lv_finish
