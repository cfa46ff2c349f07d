#!/usr/bin/env bash
# Two installations of Lumivale in two folders, each on a "computer" of its own (its own Wine
# prefix) with its msgsvc.exe on its own loopback address. A adds B with the friend editor,
# opens the send window from the friend menu, and sends a Chinese two-line text with
# Ctrl+Enter typed into the window (xdotool); B's Lumivale captures it. Then an ad-hoc send
# from A to B's address through the prompt.
source "$(dirname "$0")/lib.sh"

PORT=11430
ADDR_A=127.0.0.30 ADDR_B=127.0.0.31
LV_MN_EXIT=207
# Main window (app/Main.h), friend editor (friends/FriendEditor.h), send window and ad-hoc
# prompt (send/Send.h, send/TempSend.h) control IDs.
BT_ADD=101 BT_TEMPSEND=104 LSB_NAMES=105 MM_OUTPUT=108 MN_SEND=211
EDT_NAME=401 EDT_IP=403 BT_OK=404
LB_NAME=702 LB_IP=704 MM_CONTENT=706
EDT_TEMP_IP=721 BT_TEMP_OK=722
ADD="添加好友" SEND="发送信息" PROMPT="请输入"

# ctrl_enter TITLE: Ctrl+Enter typed into that window, as the user's keyboard would: the X
# window gets the focus (Wine activates it, the text has the keyboard), then the keys go
# through XTEST. (Not "key --window": those are synthetic events, whose Enter release Wine
# does not take, so it later presses the default button of the next window that opens.)
ctrl_enter() {
  local xwin
  xwin=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -1)
  [ -n "$xwin" ] || return 1
  xdotool windowfocus --sync "$xwin" 2>/dev/null
  sleep 0.3
  xdotool key ctrl+Return
}
# utf8 FILE: a GBK file as UTF-8 with CR LF made LF.
utf8() { iconv -f GBK -t UTF-8 "$1" 2>/dev/null | tr -d '\r'; }
records() { grep -c -- '^-----------------' "$1" 2>/dev/null || echo 0; }

declare -A prefix dir
for host in A B; do
  lv_prefix "host$host"
  prefix[$host]=$WINEPREFIX
  d="$LV_DIR/host$host"
  dir[$host]=$d
  rm -rf "$d"
  lv_install "$d" Lumivale.exe msgsvc.exe README.TXT
  addr=ADDR_$host
  printf '[Messenger]\r\nAddress=%s\r\nPort=%d\r\nLog=msgsvc.log\r\n' "${!addr}" "$PORT" >"$d/msgsvc.ini"
  # No global hot key: the two would fight for the same key on the one X display.
  printf '[Options]\r\nAnimateWindow=0\r\nEnableHotkey=0\r\n' >"$d/Lumivale.ini"
done
lv_friends "${dir[A]}/FRIENDS.DAT" 小明 王五 192.168.0.9
lv_friends "${dir[B]}/FRIENDS.DAT" 小红

for host in B A; do
  export WINEPREFIX=${prefix[$host]}
  # The first window program of a prefix starts Wine's desktop process, which inherits its
  # output: let that be a quiet one here, not an lv_driver whose pipe would then never close.
  "$WINE64" "$LV_BIN/lvdriver.exe" count Lumivale </dev/null >/dev/null 2>&1
  lv_start "${dir[$host]}/Lumivale.exe"
  eval "pid_$host=$LV_PID"
  check "Lumivale $host starts" lv_driver wait Lumivale 30000
done
for host in A B; do
  for _ in $(seq 50); do grep -q listening "${dir[$host]}/msgsvc.log" 2>/dev/null && break; sleep 0.2; done
  addr=ADDR_$host
  check "$host's msgsvc.exe listens on ${!addr}:$PORT" grep -q "listening on ${!addr}:$PORT" "${dir[$host]}/msgsvc.log"
done

# On A: add B with the friend editor.
export WINEPREFIX=${prefix[A]}
lv_driver click Lumivale "$BT_ADD" >/dev/null
check "the friend editor opens" lv_shown "$ADD" 1
lv_driver settext "$ADD" "$EDT_NAME" "小红" >/dev/null
lv_driver settext "$ADD" "$EDT_IP" "$ADDR_B" >/dev/null
lv_driver click "$ADD" "$BT_OK" >/dev/null
check "OK closes it" lv_shown "$ADD" 0
check_eq "B is A's second friend" "王五,小红" "$(lv_driver items Lumivale "$LSB_NAMES" | paste -sd,)"

# The send window for B: its line selected, then the friend menu's 发送(&S).
lv_driver select Lumivale "$LSB_NAMES" 1 >/dev/null
lv_driver command Lumivale "$MN_SEND" >/dev/null
check "发送(&S) opens the send window" lv_shown "$SEND" 1
check_eq "addressed to B by name" "小红" "$(lv_driver text "$SEND" "$LB_NAME")"
check_eq "and address" "$ADDR_B" "$(lv_driver text "$SEND" "$LB_IP")"
check_eq "with an empty text" "" "$(lv_driver text "$SEND" "$MM_CONTENT")"
read -r _ _ _ _ cw ch < <(lv_driver rect "$SEND")
check_eq "client area 377 × 364" "377 364" "$cw $ch"
text=$'你好，小红！\r\n第二行：来自小明的消息'
lv_driver settext "$SEND" "$MM_CONTENT" "$text" >/dev/null
sleep 0.5
lv_window_shot "$SEND" "$LV_WORK/send-window.png"
check "Ctrl+Enter typed into the send window" ctrl_enter "$SEND"
check "sends and closes the window" lv_shown "$SEND" 0

# B captures it.
for _ in $(seq 100); do [ "$(records "${dir[B]}/receive.txt")" -ge 1 ] && break; sleep 0.1; done
received=$(utf8 "${dir[B]}/receive.txt")
check "B's receive.txt has the sender" grep -qx "发送者:小明" <<<"$received"
check_eq "and the two lines of the text" "$(printf '你好，小红！\n第二行：来自小明的消息')" \
  "$(sed -n '4,5p' <<<"$received")"

# A's log and status lines.
for _ in $(seq 50); do grep -q '发送成功' <(lv_driver text Lumivale "$MM_OUTPUT") && break; sleep 0.2; done
status=$(lv_driver text Lumivale "$MM_OUTPUT" | grep '^小红:')
check_eq "A's status lines" "$(printf '小红:正在发送..\n小红:发送成功^_^')" "$status"
check_eq "A's send.txt holds exactly one record" 1 "$(records "${dir[A]}/send.txt")"
sent=$(utf8 "${dir[A]}/send.txt")
check "its date line" grep -qxE '[0-9]{4}年[0-9]{1,2}月[0-9]{1,2}日 [0-9]{1,2}:[0-9]{1,2}' <<<"$(head -1 <<<"$sent")"
check_eq "the record after the date line" \
  "$(printf '接收者：小红(%s)\n-----------------\n你好，小红！\n第二行：来自小明的消息\n\n\n\n' "$ADDR_B")" \
  "$(tail -n +2 <<<"$sent")"
check_eq "nine lines in all, the last four empty" 9 "$(utf8 "${dir[A]}/send.txt" | wc -l)"

# Ad-hoc: the prompt, B's address typed, OK; the send window opens on its own.
lv_driver click Lumivale "$BT_TEMPSEND" >/dev/null
check "临发(&T) opens the prompt" lv_shown "$PROMPT" 1
read -r _ _ _ _ cw ch < <(lv_driver rect "$PROMPT")
check_eq "prompt client area 265 × 103" "265 103" "$cw $ch"
lv_driver settext "$PROMPT" "$EDT_TEMP_IP" "$ADDR_B" >/dev/null
sleep 0.5
lv_window_shot "$PROMPT" "$LV_WORK/adhoc-prompt.png"
lv_driver click "$PROMPT" "$BT_TEMP_OK" >/dev/null
check "OK closes the prompt" lv_shown "$PROMPT" 0
check "and shows the send window" lv_shown "$SEND" 1
check_eq "under the ad-hoc name" "（临时发送）" "$(lv_driver text "$SEND" "$LB_NAME")"
check_eq "to the address typed" "$ADDR_B" "$(lv_driver text "$SEND" "$LB_IP")"
check_eq "the main window stays usable" 1 "$(lv_driver enabled Lumivale "$BT_ADD")"
lv_driver settext "$SEND" "$MM_CONTENT" "临时发送的一条" >/dev/null
check "Ctrl+Enter in the ad-hoc send window" ctrl_enter "$SEND"
check "sends and closes it" lv_shown "$SEND" 0
for _ in $(seq 100); do [ "$(records "${dir[B]}/receive.txt")" -ge 2 ] && break; sleep 0.1; done
check "B captures the ad-hoc message" grep -qx "临时发送的一条" <<<"$(utf8 "${dir[B]}/receive.txt")"
for _ in $(seq 50); do [ "$(records "${dir[A]}/send.txt")" -ge 2 ] && break; sleep 0.2; done
check "A logs it under the ad-hoc name, newest first" \
  test "$(utf8 "${dir[A]}/send.txt" | sed -n 2p)" == "接收者：（临时发送）($ADDR_B)"
for _ in $(seq 50); do grep -q '（临时发送）:发送成功' <(lv_driver text Lumivale "$MM_OUTPUT") && break; sleep 0.2; done
check_eq "its status lines" "$(printf '（临时发送）:正在发送..\n（临时发送）:发送成功^_^')" \
  "$(lv_driver text Lumivale "$MM_OUTPUT" | grep '^（临时发送）:')"

for host in A B; do
  export WINEPREFIX=${prefix[$host]}
  lv_driver command Lumivale "$LV_MN_EXIT" >/dev/null
  lv_driver wait dialog:请留步 10000 >/dev/null && lv_driver click dialog:请留步 6 >/dev/null
  pid=pid_$host
  lv_wait_exit "${!pid}" 20
  check_eq "Exit ends Lumivale $host" 0 "$?"
done

lv_finish
