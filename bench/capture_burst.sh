#!/usr/bin/env bash
# A burst into the real Lumivale.exe under Wine: SENDERS (20) concurrent `smbclient -M`
# senders, PER_SENDER (50) messages each, to the msgsvc.exe Lumivale started on
# 127.0.0.44:11444. Every message must end up in receive.txt exactly once, in its sender's
# order, and nothing else may: the records are matched against what was sent; msgsvc.exe
# must refuse none. Prints the counts, the times and the rate captured.
# Goal: >= 200 messages/s captured, sustained. Bounded: 1000 messages by default (at most
# 2000), 180 s for the capture.
#
# With PRELOAD=1 the messages are sent while msgsvc.exe runs alone, and the time is taken
# from Lumivale's start until every one is captured: the capture's own rate, whatever the
# senders manage.
#
#   bench/capture_burst.sh [BIN_DIR]     (SENDERS=20, PER_SENDER=50, PRELOAD=0)
BENCH_NAME=capture_burst
[ -n "${1:-}" ] && export LV_BIN="$1"
source "$(dirname "$0")/bench_lib.sh"
senders=${SENDERS:-20} per_sender=${PER_SENDER:-50}
total=$((senders * per_sender))
[ "$senders" -ge 1 ] && [ "$senders" -le 20 ] && [ "$total" -le 2000 ] || { echo "SENDERS 1..20, at most 2000 messages"; exit 2; }
[ -x "$(command -v smbclient)" ] || { echo "smbclient is missing"; exit 2; }

lv_prefix bench-burst
app="$LV_DIR/app"
bench_app "$app" 127.0.0.44 11444
preload=${PRELOAD:-0}
if [ "$preload" = 1 ]; then
  cp "$LV_BIN/lvlaunch.exe" "$app/"
  "$WINE64" "$app/lvlaunch.exe" </dev/null >/dev/null 2>&1
  msgsvc_wait_listening "$app" || { echo "msgsvc.exe did not start"; lv_finish; }
else
  bench_start "$app" || lv_finish
fi

start=$(date +%s%N)
smb_senders "$senders" "$per_sender" 127.0.0.44 11444 burst
sent=$(date +%s%N)
if [ "$preload" = 1 ]; then
  echo "pop-ups waiting: $(popup_count)"
  lv_start "$app/Lumivale.exe"
  BENCH_LV_PID=$LV_PID
  # From the first record on: the capture's rate, not the start-up's.
  for _ in $(seq 1200); do [ -s "$app/receive.txt" ] && break; sleep 0.05; done
  start=$(date +%s%N)
  sent=$start
  before=$(records "$app/receive.txt")
fi
deadline=$(($(date +%s) + 180))
while [ "$(records "$app/receive.txt")" -lt "$total" ] && [ "$(date +%s)" -lt "$deadline" ]; do sleep 0.05; done
done_at=$(date +%s%N)
sleep 1 # anything captured twice would show up now
errors=$SMB_SENDER_ERRORS

log=$(iconv -f GBK -t UTF-8 "$app/receive.txt" | tr -d '\r')
bodies=$(grep -E '^burst [0-9]+/[0-9]+$' <<<"$log" | sort)
expected=$(for n in $(seq "$senders"); do for ((i = 1; i <= per_sender; i++)); do echo "burst $n/$i"; done; done | sort)
missing=$(comm -23 <(echo "$expected") <(echo "$bodies") | grep -c .)
twice=$(uniq -d <<<"$bodies" | grep -c .)
unknown=$(comm -13 <(echo "$expected") <(sort -u <<<"$bodies") | grep -c .)
recs=$(records "$app/receive.txt")
senders_ok=0
for n in $(seq "$senders"); do
  c=$(grep -cx "发送者:sender$n" <<<"$log")
  # Newest first in the log: read backwards, the sender's messages must come 1, 2, 3...
  order=$(grep -E "^burst $n/[0-9]+$" <<<"$log" | tac | cut -d/ -f2 | paste -sd' ')
  [ "$c" = "$per_sender" ] && [ "$order" = "$(seq -s' ' "$per_sender")" ] && senders_ok=$((senders_ok + 1))
done
echo "sent: $total messages from $senders concurrent smbclient -M ($per_sender each), sender errors: $errors"
echo "records in receive.txt: $recs; missing $missing, captured twice $twice, not sent $unknown;" \
  "senders with all their records, in their order: $senders_ok/$senders"
echo "time: senders done after $(((sent - start) / 1000000)) ms, all captured after $(((done_at - start) / 1000000)) ms"
echo "pop-ups left on screen: $(popup_count); refused by msgsvc.exe: $errors"
echo "captured: $(echo "scale=1; ($total - ${before:-0}) * 1000000000 / ($done_at - $start)" | bc) messages/s" \
  "$([ "$preload" = 1 ] && echo "from the first record ($before then) to the last" || echo "from the first send to the last record")"
[ "$recs" = "$total" ] && [ "$missing" = 0 ] && [ "$twice" = 0 ] && [ "$unknown" = 0 ] && [ "$errors" = 0 ] || LV_FAILS=1
bench_exit
lv_finish >/dev/null
