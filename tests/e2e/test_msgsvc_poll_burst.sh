#!/usr/bin/env bash
# A burst of 200 smbclient -M messages into msgsvc.exe while a capture polls for "信使服务 "
# every millisecond, reading control 65535 and closing each pop-up it finds: it must never
# find a pop-up that does not hold its text yet (it would read nothing and close it, and
# the message would be lost), and it must read every message exactly once.
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/msgsvc_helpers.sh"

N=200
SENDERS=8

lv_prefix main
app="$LV_DIR/app"
rm -rf "$app"
lv_install "$app" msgsvc.exe
# The senders stand for machines of their own but share one address here: its share is the
# whole, so no message is refused for the per-peer limits while the capture catches up.
msgsvc_ini "$app" 127.0.0.2 MaxSessionsPerPeer=128 MaxPopupsPerPeer=500
lv_start "$app/msgsvc.exe"
msgsvc_wait_listening "$app" || true
check "msgsvc.exe listens" grep -q "listening on 127.0.0.2:1139" "$app/msgsvc.log"

poll="$LV_DIR/poll"
timeout 300 "$WINE64" "$LV_BIN/lvdriver.exe" pollpopups "$POPUP" 240000 "$N" \
  </dev/null >"$poll.out" 2>"$poll.err" &
poller=$!
for _ in $(seq 200); do grep -q polling "$poll.out" 2>/dev/null && break; sleep 0.1; done
check "the capture polls" grep -q polling "$poll.out"

# sender K: messages K, K+SENDERS, ... each from its own smbclient run.
sender() {
  local k=$1 i
  for ((i = k; i < N; i += SENDERS)); do
    printf 'burst %d' "$i" | timeout 20 smbclient -M LUMIVALE -I 127.0.0.2 -p 1139 -U "sender$k%" \
      >"$LV_DIR/send-$k.out" 2>&1
    grep -q NT_STATUS "$LV_DIR/send-$k.out" && echo "message $i: $(grep NT_STATUS "$LV_DIR/send-$k.out")"
  done
  return 0
}
start=$(date +%s)
pids=()
for ((k = 0; k < SENDERS; k++)); do
  sender "$k" >"$LV_DIR/sender-$k.err" &
  pids+=($!)
done
wait "${pids[@]}"
echo "sent $N messages in $(($(date +%s) - start)) s"
check_eq "smbclient reported no error" "" "$(cat "$LV_DIR"/sender-*.err)"

wait "$poller"
check_eq "the capture never found a pop-up without its text" 0 "$?"
tr -d '\r' <"$poll.out" >"$poll.txt"
cat "$poll.err"
tail -n 1 "$poll.txt"
check_eq "it read every message" "read $N, without text 0" "$(tail -n 1 "$poll.txt")"
check_eq "each message exactly once" "$N" "$(grep '^burst ' "$poll.txt" | sort -u | wc -l)"
check "msgsvc.exe logged every delivery" grep -q "delivered $N from" "$app/msgsvc.log"
popups_close_all

lv_finish
