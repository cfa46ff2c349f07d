#!/usr/bin/env bash
# Hostile clients against msgsvc.exe: garbage, truncated frames, huge declared lengths,
# text blocks without a start, thousands of blocks, a thousand connections at once, an idle
# and a one-byte-a-second peer. After each, msgsvc.exe still runs, an ordinary smbclient -M
# message still becomes a pop-up, and its memory stays bounded.
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/msgsvc_helpers.sh"

hostile="$LV_DIR/hostile"
if ! c++ -std=c++20 -O1 -o "$hostile" "$LV_SRC/tests/e2e/hostile.cpp"; then
  fail "hostile.cpp does not build"
  lv_finish
fi

lv_prefix main
app="$LV_DIR/app"
rm -rf "$app"
lv_install "$app" msgsvc.exe
msgsvc_ini "$app" 127.0.0.2 IdleSeconds=3
lv_start "$app/msgsvc.exe"
for _ in $(seq 50); do grep -q listening "$app/msgsvc.log" 2>/dev/null && break; sleep 0.2; done
pid=$(msgsvc_pid)
check "msgsvc.exe runs" test -n "$pid"
base=$(rss_kb "$pid")
echo "msgsvc.exe resident memory at start: ${base} kB"

# still_serves WHAT: msgsvc alive, a normal message still arrives as a pop-up, memory bounded.
still_serves() {
  check "after $1: msgsvc.exe still runs" kill -0 "$pid"
  check "after $1: smbclient -M still delivers" smb_send 127.0.0.2 "张三" "after $1"
  check "after $1: its pop-up appears" lv_driver wait "$POPUP" 10000
  popup_capture "$LV_DIR/after"
  check_eq "after $1: the pop-up holds that message" "after $1" "$(cat "$LV_DIR/after.body")"
  popups_close_all
  local rss
  rss=$(rss_kb "$pid")
  echo "msgsvc.exe resident memory after $1: ${rss} kB"
  # Wine's own share is ~20 MB; sessions and buffers must add no more than a few MB.
  check "after $1: memory bounded (${rss} kB)" test "${rss:-999999}" -lt $((base + 32768))
}

# run_hostile MODE: runs the client while sampling msgsvc's memory; sets PEAK (kB).
run_hostile() {
  timeout 60 "$hostile" 127.0.0.2 1139 "$1" &
  local client=$! rss
  PEAK=0
  while kill -0 "$client" 2>/dev/null; do
    rss=$(rss_kb "$pid")
    [ "${rss:-0}" -gt "$PEAK" ] && PEAK=$rss
    sleep 0.1
  done
  wait "$client"
}

for mode in garbage truncated biglen orphan blocks flood; do
  check "hostile $mode: the server behaved" run_hostile "$mode"
  check "hostile $mode: memory bounded during the attack (peak ${PEAK} kB)" \
    test "$PEAK" -lt $((base + 32768))
  check_eq "hostile $mode: no pop-up from it" 0 "$(popup_count)"
  still_serves "$mode"
done

check "an idle peer is cut off after the idle time" timeout 20 "$hostile" 127.0.0.2 1139 idle 3

# A peer dripping one byte a second must not hold up another sender meanwhile.
timeout 20 "$hostile" 127.0.0.2 1139 slow 5 &
slow=$!
sleep 1
start=$(date +%s%N)
check "while a slow peer drips, another sender delivers" smb_send 127.0.0.2 "李四" "not held up"
check "and its pop-up appears" lv_driver wait "$POPUP" 10000
took=$((($(date +%s%N) - start) / 1000000))
check "promptly (${took} ms)" test "$took" -lt 4000
wait "$slow"
check "the slow peer ran its course" test $? = 0
popups_close_all
still_serves slow

check "the session limit was logged" grep -q "session limit reached" "$app/msgsvc.log"
lv_finish
