#!/usr/bin/env bash
# FRIENDS.DAT that another program holds open, and one of 200 MB: the real Lumivale.exe
# says so in its status area, starts all the same, and leaves the file as it was.
source "$(dirname "$0")/lib.sh"

LV_MN_EXIT=207
lv_prefix guard
app="$LV_DIR/app"
rm -rf "$app"
lv_install "$app"
printf '[Messenger]\r\nAddress=127.0.0.1\r\nPort=11391\r\n' >"$app/msgsvc.ini"
printf '1 1 \0Me\0Bob\000127.0.0.2\0END' >"$app/FRIENDS.DAT"
before=$(sha256sum <"$app/FRIENDS.DAT")

exit_lumivale() { # pid
  lv_driver command Lumivale "$LV_MN_EXIT" >/dev/null
  lv_driver wait dialog:请留步 10000 >/dev/null
  lv_driver click dialog:请留步 6 >/dev/null
  lv_wait_exit "$1" 20
}

# Another program holds the file, opened without sharing, while Lumivale starts.
dat="$app/FRIENDS.DAT"
"$WINE64" "$LV_BIN/lvdriver.exe" hold "Z:${dat//\//\\}" 12000 \
  >"$LV_DIR/hold.out" 2>&1 </dev/null &
holder=$!
for _ in $(seq 100); do grep -q held "$LV_DIR/hold.out" && break; sleep 0.1; done
check "another program holds FRIENDS.DAT" grep -q held "$LV_DIR/hold.out"
lv_start "$app/Lumivale.exe"
pid=$LV_PID
check "the program starts" lv_driver wait Lumivale 30000
sleep 1
memo=$(lv_child_id Lumivale Edit)
expected=$(printf '欢迎使用Lumivale！\n当前版本：1.32\n\n正在读取好友数据..\n数据文件无法读取（可能正被其他程序使用）！本次运行不会改写它。')
check_eq "a held file is reported, not taken for a missing one" "$expected" "$(lv_driver text Lumivale "$memo")"
wait "$holder"
exit_lumivale "$pid"
check_eq "Exit ends the program" 0 "$?"
check_eq "FRIENDS.DAT is untouched" "$before" "$(sha256sum <"$app/FRIENDS.DAT")"

# A 200 MB file cannot be a list of friends: damaged, and the program starts.
{ printf '1 1 \0Me\0Bob\000127.0.0.2\0END'; head -c 200000000 /dev/zero | tr '\0' ' '; } >"$app/FRIENDS.DAT"
lv_start "$app/Lumivale.exe"
pid=$LV_PID
check "the program starts with a 200 MB FRIENDS.DAT" lv_driver wait Lumivale 30000
sleep 1
expected=$(printf '欢迎使用Lumivale！\n当前版本：1.32\n\n正在读取好友数据..\n数据文件版本:1.0\n好友个数：1\n发送者名字：Me\n数据文件出错！建议删除错误的数据文件Friends.dat，然后重新运行本软件。')
check_eq "damaged-file lines" "$expected" "$(lv_driver text Lumivale "$memo")"
check_eq "the list stays empty" "" "$(lv_driver items Lumivale "$(lv_child_id Lumivale ListBox)")"
exit_lumivale "$pid"
check_eq "Exit ends the program" 0 "$?"
rm -f "$app/FRIENDS.DAT"

lv_finish
