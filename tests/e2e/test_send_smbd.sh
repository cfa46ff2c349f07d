#!/usr/bin/env bash
# Lumivale sends into Samba's smbd: a friend at smbd's address, the send window from the
# friend menu, a Chinese two-line text, Ctrl+Enter. The file smbd's message command writes
# must hold exactly the text (UTF-8, CR dropped), and Lumivale logs the message as sent.
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/msgsvc_helpers.sh"

smbd_required
shopt -s nullglob

PORT=11432
LSB_NAMES=105 MM_OUTPUT=108 MN_SEND=211 MM_CONTENT=706 LV_MN_EXIT=207
SEND="发送信息"


# smbd on 127.0.0.1; Lumivale's own msgsvc.exe listens on 127.0.0.32 at the same port, which
# is also the port its sends go to.
smb="$LV_DIR/smbd"
smbd_start "$smb" "$PORT" || echo "smbd did not start"
trap 'smbd_stop' EXIT

lv_prefix main
app="$LV_DIR/app"
rm -rf "$app"
lv_install "$app" Lumivale.exe msgsvc.exe README.TXT
printf '[Messenger]\r\nAddress=127.0.0.32\r\nPort=%d\r\nLog=msgsvc.log\r\n' "$PORT" >"$app/msgsvc.ini"
printf '[Options]\r\nAnimateWindow=0\r\nEnableHotkey=0\r\n' >"$app/Lumivale.ini"
lv_friends "$app/FRIENDS.DAT" lisi Samba 127.0.0.1
# The desktop process of the prefix must not inherit an lv_driver pipe.
"$WINE64" "$LV_BIN/lvdriver.exe" count Lumivale </dev/null >/dev/null 2>&1
lv_start "$app/Lumivale.exe"
lvpid=$LV_PID
check "Lumivale starts" lv_driver wait Lumivale 30000
sleep 1

lv_driver select Lumivale "$LSB_NAMES" 0 >/dev/null
lv_driver command Lumivale "$MN_SEND" >/dev/null
check "the send window opens for Samba" lv_shown "$SEND" 1
lv_driver settext "$SEND" "$MM_CONTENT" $'你好，Samba！\r\n第二行 second line' >/dev/null
xwin=$(xdotool search --onlyvisible --name "^$SEND\$" 2>/dev/null | head -1)
xdotool windowfocus --sync "$xwin" 2>/dev/null
sleep 0.3
xdotool key ctrl+Return
check "Ctrl+Enter sends and closes the window" lv_shown "$SEND" 0

for _ in $(seq 100); do ls "$smb"/inbox/from-*.txt >/dev/null 2>&1 && break; sleep 0.2; done
files=("$smb"/inbox/from-*.txt)
check_eq "smbd handed over one message" 1 "${#files[@]}"
check "from Lumivale's sender name" test -f "$smb/inbox/from-lisi.txt"
check_eq "the text is exact" "$(printf '你好，Samba！\n第二行 second line' | od -An -tx1)" \
  "$(od -An -tx1 <"${files[0]:-/dev/null}" 2>/dev/null)"
for _ in $(seq 50); do grep -q '发送成功' <(lv_driver text Lumivale "$MM_OUTPUT") && break; sleep 0.2; done
check_eq "the status lines" "$(printf 'Samba:正在发送..\nSamba:发送成功^_^')" \
  "$(lv_driver text Lumivale "$MM_OUTPUT" | grep '^Samba:')"
check "send.txt has the record" grep -qx "接收者：Samba(127.0.0.1)" <(iconv -f GBK -t UTF-8 "$app/send.txt" | tr -d '\r')

lv_driver command Lumivale "$LV_MN_EXIT" >/dev/null
lv_driver wait dialog:请留步 10000 >/dev/null && lv_driver click dialog:请留步 6 >/dev/null
lv_wait_exit "$lvpid" 20
check_eq "Exit ends the program" 0 "$?"

smbd_stop
lv_finish
