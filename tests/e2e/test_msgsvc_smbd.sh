#!/usr/bin/env bash
# Our NetMessageBufferSend (lvsend.exe) delivers a Chinese two-line message to Samba's smbd,
# whose message command hands over a file: it must hold exactly the text (UTF-8, CR dropped).
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/msgsvc_helpers.sh"

smbd_required
# An empty inbox must count as no file, not as one unmatched pattern.
shopt -s nullglob

lv_prefix main
app="$LV_DIR/app"
rm -rf "$app"
lv_install "$app" lvsend.exe
msgsvc_ini "$app" 127.0.0.1

smb="$LV_DIR/smbd"
smbd_start "$smb" 1139 || echo "smbd did not start"
trap 'smbd_stop' EXIT

status=$("$WINE64" "$app/lvsend.exe" 127.0.0.1 "张三" $'你好，Samba\r\n第二行 second line' </dev/null 2>/dev/null | tr -d '\r')
check_eq "NetMessageBufferSend to smbd returns 0" 0 "$status"
for _ in $(seq 50); do ls "$smb"/inbox/from-*.txt >/dev/null 2>&1 && break; sleep 0.2; done
files=("$smb"/inbox/from-*.txt)
check_eq "smbd handed over one message" 1 "${#files[@]}"
check_eq "the file holds exactly the text" \
  "$(printf '你好，Samba\n第二行 second line' | od -An -tx1)" "$(od -An -tx1 <"${files[0]:-/dev/null}" 2>/dev/null)"

# A long message crosses several text blocks, split between whole Chinese characters.
rm -f "$smb"/inbox/*
long=$(for i in $(seq 30); do printf '第%02d行：汉字与ASCII混排\r\n' "$i"; done)
long=${long%$'\r'}
status=$("$WINE64" "$app/lvsend.exe" 127.0.0.1 lisi "$long" </dev/null 2>/dev/null | tr -d '\r')
check_eq "a long message is accepted" 0 "$status"
for _ in $(seq 50); do ls "$smb"/inbox/from-*.txt >/dev/null 2>&1 && break; sleep 0.2; done
files=("$smb"/inbox/from-*.txt)
check_eq "smbd handed over one long message" 1 "${#files[@]}"
check "from the sender given" test -f "$smb/inbox/from-lisi.txt"
check_eq "and arrives whole, no character broken" "$(printf '%s' "$long" | tr -d '\r' | od -An -tx1)" \
  "$(od -An -tx1 <"${files[0]:-/dev/null}" 2>/dev/null)"

smbd_stop
lv_finish
