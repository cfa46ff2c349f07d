#!/usr/bin/env bash
# Two "computers" (two Wine prefixes, each its own wineserver) with msgsvc.exe on 127.0.0.2
# and 127.0.0.3, same port, send each other messages with our NetMessageBufferSend. A send
# to where nothing listens fails with a non-zero status within the timeout.
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/msgsvc_helpers.sh"

declare -A prefix
for host in 2 3; do
  lv_prefix "host$host"
  prefix[$host]=$WINEPREFIX
  dir="$LV_DIR/host$host"
  rm -rf "$dir"
  lv_install "$dir" msgsvc.exe lvsend.exe
  msgsvc_ini "$dir" "127.0.0.$host"
  lv_start "$dir/msgsvc.exe"
done
for host in 2 3; do
  msgsvc_wait_listening "$LV_DIR/host$host" || true
  check "msgsvc.exe listens on 127.0.0.$host" grep -q "listening on 127.0.0.$host:1139" "$LV_DIR/host$host/msgsvc.log"
done

# send FROM_HOST TO_HOST SENDER TEXT: prints lvsend's status.
send() {
  WINEPREFIX=${prefix[$1]} "$WINE64" "$LV_DIR/host$1/lvsend.exe" "127.0.0.$2" "$3" "$4" </dev/null 2>/dev/null | tr -d '\r'
}

for pair in "2 3 王五" "3 2 赵六"; do
  read -r from to who <<<"$pair"
  text=$'来自'"$who"$'的消息\r\n第二行'
  check_eq "host $from → host $to: status 0" 0 "$(send "$from" "$to" "$who" "$text")"
  export WINEPREFIX=${prefix[$to]}
  check "a pop-up on host $to" lv_driver wait "$POPUP" 10000
  popup_capture "$LV_DIR/to$to"
  check_eq "its sender on host $to" "$who" "$(cat "$LV_DIR/to$to.sender")"
  check_eq "its body on host $to" "$(printf '%s' "$text" | od -An -tx1)" "$(od -An -tx1 <"$LV_DIR/to$to.body")"
  lv_driver closesync "$POPUP" >/dev/null
  export WINEPREFIX=${prefix[$from]}
  check_eq "nothing shows on the sending host $from" 0 "$(popup_count)"
done

# Nothing listens on 127.0.0.9:1139: refused at once, a non-zero status.
start=$(date +%s)
status=$(send 2 9 "王五" "无人接收")
took=$(($(date +%s) - start))
check "a send to where nothing listens fails (status $status)" test -n "$status" -a "$status" != 0
check "within the timeout (${took} s)" test "$took" -le 15

lv_finish
