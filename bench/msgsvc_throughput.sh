#!/usr/bin/env bash
# Messages per second into msgsvc.exe from 10 concurrent smbclient -M senders (loopback,
# 127.0.0.2:1139). Every message must arrive: msgsvc's log counts the deliveries and the
# pop-ups are counted on screen. Bounded: SENDERS x PER_SENDER messages, 120 s at most.
#
#   bench/msgsvc_throughput.sh [BIN_DIR]     (default build/windows/bin; PER_SENDER=50)
set -uo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
export LV_BIN="${1:-${LV_BIN:-$top/build/windows/bin}}"
export LV_SRC="$top" LV_WORK="${LV_WORK:-$top/build/bench}"
senders=10
per_sender=${PER_SENDER:-50}
[ "$per_sender" -ge 1 ] && [ "$per_sender" -le 150 ] || { echo "PER_SENDER: 1..150"; exit 2; }
total=$((senders * per_sender))
[ -x "$(command -v smbclient)" ] || { echo "smbclient is missing"; exit 2; }
[ -f "$LV_BIN/msgsvc.exe" ] || { echo "no msgsvc.exe in $LV_BIN; build the windows preset"; exit 2; }

source "$top/tests/e2e/lib.sh"
source "$top/tests/e2e/msgsvc_helpers.sh"
[ -f "$WINEPREFIX/.lumivale-fonts" ] || bash "$top/scripts/wine-prefix.sh" # once, like the test runner
lv_prefix bench
app="$LV_DIR/app"
rm -rf "$app"
lv_install "$app" msgsvc.exe
# All senders share one address: its share is the whole.
msgsvc_ini "$app" 127.0.0.2 MaxPopups=2000 MaxSessions=64 MaxPopupsPerPeer=2000 MaxSessionsPerPeer=64
lv_start "$app/msgsvc.exe"
msgsvc_wait_listening "$app" || true

start=$(date +%s%N)
smb_senders "$senders" "$per_sender" 127.0.0.2 1139 benchmark
sent_done=$(date +%s%N)
deadline=$(($(date +%s) + 120))
while [ "$(grep -c ' delivered ' "$app/msgsvc.log")" -lt "$total" ] && [ "$(date +%s)" -lt "$deadline" ]; do
  sleep 0.2
done
end=$(date +%s%N)
delivered=$(grep -c ' delivered ' "$app/msgsvc.log")
# Accepted messages are on their way to the UI thread; each becomes a pop-up shortly.
while [ "$(popup_count)" -lt "$delivered" ] && [ "$(date +%s)" -lt "$deadline" ]; do sleep 0.5; done
shown=$(date +%s%N)
popups=$(popup_count)
errors=$SMB_SENDER_ERRORS
pid=$(msgsvc_pid)
rss=$(rss_kb "$pid")
ms=$(((end - start) / 1000000))
send_ms=$(((sent_done - start) / 1000000))

echo "senders: $senders concurrent smbclient -M, $per_sender messages each ($total)"
echo "delivered (msgsvc log): $delivered   pop-ups on screen: $popups   sender errors: $errors"
echo "time: ${ms} ms until the last delivery (${send_ms} ms until the senders finished)"
echo "throughput: $(echo "scale=1; $delivered * 1000 / $ms" | bc) messages/s accepted;" \
  "$(echo "scale=1; $popups * 1000 / (($shown - $start) / 1000000)" | bc) pop-ups/s shown"
echo "msgsvc.exe resident memory with $popups pop-ups open: ${rss} kB"
[ "$delivered" = "$total" ] && [ "$popups" = "$total" ] && [ "$errors" = 0 ] || LV_FAILS=1
lv_finish >/dev/null
