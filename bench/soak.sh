#!/usr/bin/env bash
# A long soak: RATE (20) messages a second from `smbclient -M` for SECONDS (600) into the
# real Lumivale.exe and its msgsvc.exe under Wine, both left running. Every 30 s: each
# program's resident memory (VmRSS) and its GDI and USER object counts (GetGuiResources;
# Wine may report 0). Prints the first sample after the warm-up (60 s) and the last, with
# the growth, and checks every message reached receive.txt. Goal: growth under 5 %.
#
#   bench/soak.sh [BIN_DIR]     (RATE=20, SOAK_SECONDS=600)
BENCH_NAME=soak
[ -n "${1:-}" ] && export LV_BIN="$1"
source "$(dirname "$0")/bench_lib.sh"
rate=${RATE:-20} seconds=${SOAK_SECONDS:-600}
[ "$rate" -ge 1 ] && [ "$rate" -le 50 ] && [ "$seconds" -ge 90 ] && [ "$seconds" -le 3600 ] ||
  { echo "RATE 1..50, SOAK_SECONDS 90..3600"; exit 2; }
[ -x "$(command -v smbclient)" ] || { echo "smbclient is missing"; exit 2; }

lv_prefix bench-soak
app="$LV_DIR/app"
bench_app "$app" 127.0.0.47 11448
bench_start "$app" || lv_finish

# The programs of this soak only (their command lines name the app folder, / or \ between).
rss() { awk '/^VmRSS/ { print $2 }' "/proc/$(pgrep -f "soak.app.$1" | head -1)/status" 2>/dev/null; }
sample() { # SECOND
  local g
  g=$(lvbench gui Lumivale.exe msgsvc.exe)
  printf '%s lumivale_kb %s msgsvc_kb %s %s\n' "$1" "$(rss 'Lumivale\.exe')" "$(rss 'msgsvc\.exe')" \
    "$(awk '{ printf "%s_gdi %s %s_user %s ", $1, $5, $1, $7 }' <<<"$g")" >>"$LV_DIR/samples"
}
: >"$LV_DIR/samples"
sent=0 failed=0 senders=()
start=$(date +%s)
next_sample=0
while :; do
  now=$(($(date +%s) - start))
  [ "$now" -ge "$seconds" ] && break
  # One second's messages, spread over the second, several at once.
  # At most 40 senders at once: a slow machine sends fewer rather than piling up senders.
  for ((i = 0; i < rate; i++)); do
    running=()
    for pid in "${senders[@]}"; do kill -0 "$pid" 2>/dev/null && running+=("$pid"); done
    senders=("${running[@]}")
    if [ "${#senders[@]}" -ge 40 ]; then sleep 0.05; continue; fi
    printf 'soak %d\n第二行\n' "$sent" | timeout 20 smbclient -M LUMIVALE -I 127.0.0.47 -p 11448 \
      -U "soak%" --option='dos charset=CP936' >/dev/null 2>&1 &
    senders+=($!)
    sent=$((sent + 1))
    sleep "$(echo "scale=3; 1 / $rate" | bc)"
  done
  if [ "$now" -ge "$next_sample" ]; then sample "$now"; next_sample=$((next_sample + 30)); fi
done
# Only the senders: the programs under test keep running (a bare wait would wait for them).
for pid in "${senders[@]}"; do wait "$pid" 2>/dev/null; done
for _ in $(seq 300); do [ "$(records "$app/receive.txt")" -ge "$sent" ] && break; sleep 0.2; done
sample "$(($(date +%s) - start))"
got=$(records "$app/receive.txt")
echo "messages sent: $sent in $seconds s ($(echo "scale=1; $sent / $seconds" | bc)/s); in receive.txt: $got"
first=$(awk '$1 >= 60' "$LV_DIR/samples" | head -1) last=$(tail -1 "$LV_DIR/samples")
echo "after warm-up: $first"
echo "at the end:    $last"
paste <(tr ' ' '\n' <<<"$first") <(tr ' ' '\n' <<<"$last") | awk 'NR > 1 && NR % 2 == 0 { name = $1 } NR > 1 && NR % 2 == 1 && $1 > 0 { printf "%s growth %.1f%%\n", name, ($2 - $1) * 100 / $1 }'
[ "$got" -ge "$sent" ] || LV_FAILS=1
bench_exit
lv_finish >/dev/null
