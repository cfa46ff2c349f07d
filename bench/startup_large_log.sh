#!/usr/bin/env bash
# Start-up of the real Lumivale.exe under Wine with a 10 MB receive.txt (GBK records as the
# capture writes them) against start-up without logs, in the same run and the same Wine
# prefix: ms from launch until the main window is visible and answers a message, and ms from
# pressing 聊天记录 until the history viewer is shown with its areas filled and answers.
# One warm-up start (not counted), then ROUNDS (default 2) alternating starts of each kind;
# the best of each kind is printed with the ratio. Goal: start-up not frozen for seconds.
#
#   bench/startup_large_log.sh [BIN_DIR]     (LOG_MB=10, ROUNDS=2)
BENCH_NAME=startup_large_log
[ -n "${1:-}" ] && export LV_BIN="$1"
source "$(dirname "$0")/bench_lib.sh"
mb=${LOG_MB:-10}
rounds=${ROUNDS:-2}
[ "$rounds" -ge 1 ] && [ "$rounds" -le 5 ] || { echo "ROUNDS: 1..5"; exit 2; }

lv_prefix bench-startup
empty="$LV_DIR/empty" large="$LV_DIR/large"
bench_app "$empty" 127.0.0.40 11440
bench_app "$large" 127.0.0.41 11441
bench_log "$large/receive.txt" "$mb"
size=$(stat -c %s "$large/receive.txt")
echo "receive.txt: $size bytes, $(records "$large/receive.txt") records"

# run KIND DIR: one start; "window W answer A history H chars C" into $LV_DIR/KIND.N
n=0
run() {
  n=$((n + 1))
  # Into a file, not a pipe: the msgsvc.exe that Lumivale starts inherits the output and
  # would keep a pipe open.
  "$WINE64" "$BENCH_TOOLS/lvbench.exe" startup "$(winpath "$2/Lumivale.exe")" 60000 \
    >"$LV_DIR/out" 2>&1 </dev/null
  tr -d '\r' <"$LV_DIR/out" | tail -1 >"$LV_DIR/$1.$n"
  # The program is ended from outside; its msgsvc.exe stays for the next start of the kind.
  sleep 1
  echo "  $1: $(cat "$LV_DIR/$1.$n")"
}
run warmup "$empty"
for ((r = 1; r <= rounds; r++)); do
  run empty "$empty"
  run large "$large"
done

best() { # KIND FIELD: the smallest value of that field over the kind's runs
  cat "$LV_DIR/$1".* | awk -v f="$2" '{ for (i = 1; i < NF; i++) if ($i == f) print $(i + 1) }' | sort -n | head -1
}
ea=$(best empty answer) la=$(best large answer)
eh=$(best empty history) lh=$(best large history)
chars=$(best large chars)
echo "start-up until the main window answers: no log ${ea} ms, ${mb} MB log ${la} ms," \
  "ratio $(echo "scale=2; $la / $ea" | bc)"
echo "history viewer shown and filled:        no log ${eh} ms, ${mb} MB log ${lh} ms" \
  "(receive area: $chars characters)"
[ -n "$la" ] && [ "$chars" -gt 0 ] || LV_FAILS=1
lv_finish >/dev/null
