#!/usr/bin/env bash
# The real Lumivale.exe started from a folder it cannot write (as IT's unzip into Program
# Files, a read-only share): the status area says so at start-up, and a message sent to it
# is still captured and reaches the received-message window.
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/msgsvc_helpers.sh"
MSGSVC_PORT=1165
address=127.0.0.65
RECEIVE="收到信息" EDT_SENDER=501 MM_CONTENT=503 MM_OUTPUT=108

if [ "$(id -u)" != 0 ]; then
  fail "chattr needs root"
  lv_finish
fi
lv_prefix unwritable
app="$LV_DIR/app"
chattr -i "$app" 2>/dev/null
rm -rf "$app"
lv_install "$app"
# No Log=: msgsvc.exe could not write one there either.
printf '[Messenger]\r\nAddress=%s\r\nPort=%d\r\n' "$address" "$MSGSVC_PORT" >"$app/msgsvc.ini"
# Ctrl+Alt+Shift+F8 as the hot key (modifiers 0xE000 + VK_F8 0x77).
printf '[Options]\r\nAnimateWindow=0\r\nEnableSound=0\r\nEnableHotkey=1\r\nHotKey=%d\r\n' \
  $((0xE000 + 0x77)) >"$app/Lumivale.ini"
lv_friends "$app/FRIENDS.DAT" 我 王五 192.168.0.9
# Immutable: not even root (Wine runs as root here) may make a file in it.
chattr +i "$app"
trap 'chattr -i "$app" 2>/dev/null' EXIT
check "the folder cannot be written, even by root" bash -c "! touch '$app/probe' 2>/dev/null"

lv_typing_window
check "another program's window to type into" test -n "$LV_TYPING_XWIN"
lv_start "$app/Lumivale.exe"
lvpid=$LV_PID
check "main window appears" lv_driver wait Lumivale 30000
sleep 1
status=$(lv_driver text Lumivale "$MM_OUTPUT")
line=$(grep "不能写入" <<<"$status")
check "the status area names the folder it cannot write" test -n "$line"
check "right after the welcome lines" \
  test "$(sed -n 4p <<<"$status")" == "$line"
check "it says received messages are not kept" grep -q "收到的信息只显示，不会保存" <<<"$line"
check "nor friend and settings changes" grep -q "好友和设置的修改" <<<"$line"
check "and what to do" grep -q "为当前用户安装" <<<"$line"
check "the friends are read as usual" grep -qx "好友数据读取完毕！" <<<"$status"

sent=0
for _ in $(seq 25); do
  smb_send "$address" 张三 "文件夹不能写也收得到" && { sent=1; break; }
  sleep 0.4
done
check_eq "a message is sent to this machine" 1 "$sent"
for _ in $(seq 50); do
  grep -qx "收到信息！" <(lv_driver text Lumivale "$MM_OUTPUT") && break
  sleep 0.2
done
check "it is captured" grep -qx "收到信息！" <(lv_driver text Lumivale "$MM_OUTPUT")
check "the hot key opens the received-message window" lv_hot_key ctrl+alt+shift+F8 "$RECEIVE" 1
check_eq "the sender" "张三" "$(lv_driver text "$RECEIVE" "$EDT_SENDER")"
check "the message" grep -q "文件夹不能写也收得到" <(lv_driver text "$RECEIVE" "$MM_CONTENT")
check "nothing was written to the folder" test ! -e "$app/receive.txt"

lv_exit "$lvpid"
kill "$LV_TYPING_PID" 2>/dev/null
service=$(msgsvc_pid)
[ -n "$service" ] && kill "$service" 2>/dev/null
chattr -i "$app"
lv_finish
