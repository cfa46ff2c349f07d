#!/usr/bin/env bash
# Capture latency of the real Lumivale.exe under Wine: from the start of `smbclient -M`
# (Linux, to the msgsvc.exe that Lumivale started on 127.0.0.42:11442) until the message's
# record is in receive.txt (the file replaced), COUNT messages one after the other (default
# 30, after one warm-up). Prints each time, then median, 95th percentile and maximum, and
# checks every message is in receive.txt exactly once. In the same run, the same sender's
# messages into Samba's smbd (127.0.0.1:11447) with a `message command` that appends each
# to a file: smbclient start to file written. Goal: Lumivale's median <= 1.3 x smbd's.
# smbd needs root; without it only Lumivale is timed.
#
#   bench/capture_latency.sh [BIN_DIR]     (COUNT=30)
BENCH_NAME=capture_latency
[ -n "${1:-}" ] && export LV_BIN="$1"
source "$(dirname "$0")/bench_lib.sh"
count=${COUNT:-30}
[ "$count" -ge 1 ] && [ "$count" -le 200 ] || { echo "COUNT: 1..200"; exit 2; }
[ -x "$(command -v smbclient)" ] || { echo "smbclient is missing"; exit 2; }

lv_prefix bench-latency
app="$LV_DIR/app"
bench_app "$app" 127.0.0.42 11442
bench_start "$app" || lv_finish

send='printf "latency %s\n第二行\n" "$LV_I" | timeout 20 smbclient -M LUMIVALE -I 127.0.0.42 -p 11442 -U "bench%" --option="dos charset=CP936" >/dev/null 2>&1'
LV_I=0 sh -c "$send"
for _ in $(seq 100); do [ "$(records "$app/receive.txt")" = 1 ] && break; sleep 0.1; done
[ "$(records "$app/receive.txt")" = 1 ] || { echo "the warm-up message was not captured"; LV_FAILS=1; lv_finish; }

"$BENCH_TOOLS/msgload" latency "$app/receive.txt" "$count" 20 "$send" >"$LV_DIR/times" || LV_FAILS=1
paste -sd' ' <(grep -v median "$LV_DIR/times" | awk '{ print $2 }') | fold -s -w 100 | sed 's/^/times (ms): /'
log=$(iconv -f GBK -t UTF-8 "$app/receive.txt" | tr -d '\r')
missing=0 twice=0
for ((i = 1; i <= count; i++)); do
  c=$(grep -cx "latency $i" <<<"$log")
  [ "$c" = 0 ] && missing=$((missing + 1))
  [ "$c" -gt 1 ] && twice=$((twice + 1))
done
echo "messages: $count sent one after the other; in receive.txt: $((count - missing)), missing $missing, twice $twice"
echo "latency smbclient start -> record on disk: $(grep median "$LV_DIR/times") (ms)"
[ "$missing" = 0 ] && [ "$twice" = 0 ] || LV_FAILS=1
bench_exit

if [ "$(id -u)" = 0 ] && [ -x /usr/sbin/smbd ]; then
  smb="$LV_DIR/smbd"
  smbd_start "$smb" 11447 +all.txt || echo "smbd did not start"
  : >"$smb/inbox/all.txt"
  chmod 666 "$smb/inbox/all.txt"
  ssend='printf "latency %s\n第二行\n" "$LV_I" | timeout 20 smbclient -M LUMIVALE -I 127.0.0.1 -p 11447 -U "bench%" --option="dos charset=CP936" >/dev/null 2>&1'
  LV_I=0 sh -c "$ssend"
  sleep 1
  "$BENCH_TOOLS/msgload" latency "$smb/inbox/all.txt" "$count" 20 "$ssend" >"$LV_DIR/smbd-times" || LV_FAILS=1
  smbd_stop
  echo "smbd, smbclient start -> message written by its message command: $(grep median "$LV_DIR/smbd-times") (ms)"
  lm=$(awk '/median/ { print $2 }' "$LV_DIR/times") sm=$(awk '/median/ { print $2 }' "$LV_DIR/smbd-times")
  [ -n "$lm" ] && [ -n "$sm" ] && echo "median Lumivale / smbd: $(echo "scale=2; $lm / $sm" | bc)"
fi
lv_finish >/dev/null
