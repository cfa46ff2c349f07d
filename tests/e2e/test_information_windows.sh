#!/usr/bin/env bash
# The real Lumivale.exe with its own msgsvc.exe: Samba's smbclient -M sends a Chinese
# two-line message, Lumivale takes the pop-up over, logs it and blinks; the hot key opens the
# received-message window on it. Then the history viewer, help and about, each opened from
# the main window's buttons and menu, with a screenshot of each.
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/msgsvc_helpers.sh"

LV_BT_HISTORY=107 LV_MN_HELP=204 LV_MN_ABOUT=205
RECEIVE="收到信息" HISTORY="Lumivale－查看聊天记录" HELP="Lumivale使用说明" ABOUT="关于Lumivale"
# Control IDs: capture/Receive.h, info/History.h, info/Help.h.
EDT_SENDER=501 MM_CONTENT=503 BT_RECEIVE_CLOSE=504 BT_NEXT=505
MM_SEND_HISTORY=401 MM_RECEIVE_HISTORY=403 BT_HISTORY_CLOSE=406
MM_HELP=600 BT_HELP_OK=601 LB_VERSION=614 BT_ABOUT_OK=619
PORT=11395

lv_prefix info
app="$LV_DIR/app"
rm -rf "$app"
lv_install "$app"
printf '[Messenger]\r\nAddress=127.0.0.1\r\nPort=%d\r\nLog=msgsvc.log\r\n' "$PORT" >"$app/msgsvc.ini"
# Ctrl+Alt+Shift+F7 as the hot key (shortcut code: modifiers 0xE000 + VK_F7 0x76).
printf '[Options]\r\nAnimateWindow=0\r\nEnableHotkey=1\r\nHotKey=%d\r\n' $((0xE000 + 0x76)) >"$app/Lumivale.ini"
# An earlier sent record with lone LF line ends, as another editor may have left it.
printf '2026年1月2日 3:4\n接收者：老王(127.0.0.9)\n-----------------\n旧的发送记录\n\n\n\n\n' |
  iconv -f UTF-8 -t GBK >"$app/send.txt"

lv_typing_window
check "another program's window to type into" test -n "$LV_TYPING_XWIN"
lv_start "$app/Lumivale.exe"
lvpid=$LV_PID
check "main window appears" lv_driver wait Lumivale 30000
msgsvc_wait_listening "$app" || true
check "Lumivale started its msgsvc.exe" grep -q "listening on 127.0.0.1:$PORT" "$app/msgsvc.log"


send() { printf '%s' "$2" | timeout 20 smbclient -M LUMIVALE -I 127.0.0.1 -p "$PORT" -U "$1%" \
  --option='dos charset=CP936' >"$LV_DIR/smbclient.out" 2>&1; ! grep -q NT_STATUS "$LV_DIR/smbclient.out"; }
check "smbclient delivers the first message" send "张三" $'你好，世界\n第二行 second line\n'
for _ in $(seq 100); do grep -qF "$(printf '张三' | iconv -t GBK)" "$app/receive.txt" 2>/dev/null && break; sleep 0.1; done
check_eq "the pop-up was taken over" 0 "$(lv_driver count "$POPUP")"
log=$(iconv -f GBK -t UTF-8 "$app/receive.txt" | tr -d '\r')
check "receive.txt holds the record with the sender" grep -qx "发送者:张三" <<<"$log"
check "and both lines of the body" grep -qx "第二行 second line" <<<"$log"
check "the status area says so" grep -qx "收到信息！" <(lv_driver text Lumivale 108)
check "smbclient delivers a second message" send "李四" "再来一条"
for _ in $(seq 100); do [ "$(grep -c -- '-----------------' "$app/receive.txt")" = 2 ] && break; sleep 0.1; done

lv_press ctrl+alt+shift+F7
check "the hot key opens the received-message window while messages wait" lv_driver wait "$RECEIVE" 10000
sleep 0.5
check_eq "the oldest message first: its sender" "张三" "$(lv_driver text "$RECEIVE" $EDT_SENDER)"
check "its body" grep -q "第二行 second line" <(lv_driver text "$RECEIVE" $MM_CONTENT)
check_eq "下一个>> enabled: another waits" 1 "$(lv_driver enabled "$RECEIVE" $BT_NEXT)"
lv_window_shot "$RECEIVE" "$LV_WORK/receive-window.png"
lv_driver click "$RECEIVE" $BT_NEXT >/dev/null
sleep 0.5
check_eq "下一个>> shows the second" "李四" "$(lv_driver text "$RECEIVE" $EDT_SENDER)"
check_eq "and disables itself on the last" 0 "$(lv_driver enabled "$RECEIVE" $BT_NEXT)"
lv_driver click "$RECEIVE" $BT_RECEIVE_CLOSE >/dev/null
sleep 0.5
check_eq "关闭 closes it" 0 "$(lv_driver visible "$RECEIVE")"
check "nothing waits: the hot key hides the main window again" lv_hot_key ctrl+alt+shift+F7 Lumivale 0
check "and shows it again" lv_hot_key ctrl+alt+shift+F7 Lumivale 1

lv_driver click Lumivale $LV_BT_HISTORY >/dev/null
check "聊天记录 opens the history viewer" lv_driver wait "$HISTORY" 10000
sleep 0.5
recv=$(lv_driver text "$HISTORY" $MM_RECEIVE_HISTORY)
check "received records, newest first" test "$(grep -n '发送者:李四' <<<"$recv" | cut -d: -f1)" -lt "$(grep -n '发送者:张三' <<<"$recv" | cut -d: -f1)"
check "the old sent record, loaded" grep -q "旧的发送记录" <(lv_driver text "$HISTORY" $MM_SEND_HISTORY)
lv_window_shot "$HISTORY" "$LV_WORK/history-window.png"
lv_driver click "$HISTORY" $BT_HISTORY_CLOSE >/dev/null
sleep 0.5
check_eq "关闭 hides it" 0 "$(lv_driver visible "$HISTORY")"

lv_driver command Lumivale $LV_MN_HELP >/dev/null
check "帮助 opens the help window" lv_driver wait "$HELP" 10000
sleep 0.5
check "it shows README.TXT" grep -q "smbclient" <(lv_driver text "$HELP" $MM_HELP)
lv_window_shot "$HELP" "$LV_WORK/help-window.png"
lv_driver click "$HELP" $BT_HELP_OK >/dev/null
sleep 0.5
check_eq "确定 closes it" 0 "$(lv_driver visible "$HELP")"

lv_driver command Lumivale $LV_MN_ABOUT >/dev/null
check "关于 opens the about box" lv_driver wait "$ABOUT" 10000
sleep 0.5
check_eq "the version" "1.32" "$(lv_driver text "$ABOUT" $LB_VERSION)"
lv_window_shot "$ABOUT" "$LV_WORK/about-box.png"
lv_driver click "$ABOUT" $BT_ABOUT_OK >/dev/null
sleep 0.5
check_eq "确定 closes it" 0 "$(lv_driver visible "$ABOUT")"

lv_exit "$lvpid"
kill "$LV_TYPING_PID" 2>/dev/null
lv_finish
