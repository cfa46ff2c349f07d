#!/usr/bin/env bash
# One capture into a 10 MB receive.txt against one plain 10 MB file write, in the same run,
# both seen from inside Wine (lvbench.exe, same folder): the plain write (create, write,
# close), the same with FlushFileBuffers, and the atomic replace the log uses (flushed
# temporary file, then MoveFileEx). The capture is timed from the pop-up's appearance: until
# it is closed (the capture's 100 ms timer found it) and until receive.txt is replaced.
# CAPTURES (default 3) captures one after the other; medians are printed with the ratios.
# Goal: capture <= 1.5 x the plain write.
#
#   bench/capture_large_log.sh [BIN_DIR]     (LOG_MB=10, CAPTURES=3)
BENCH_NAME=capture_large_log
[ -n "${1:-}" ] && export LV_BIN="$1"
source "$(dirname "$0")/bench_lib.sh"
mb=${LOG_MB:-10}
captures=${CAPTURES:-3}
[ "$captures" -ge 1 ] && [ "$captures" -le 20 ] || { echo "CAPTURES: 1..20"; exit 2; }
[ -x "$(command -v smbclient)" ] || { echo "smbclient is missing"; exit 2; }

lv_prefix bench-large
app="$LV_DIR/app"
bench_app "$app" 127.0.0.43 11443
bench_log "$app/receive.txt" "$mb"
size=$(stat -c %s "$app/receive.txt")
echo "receive.txt: $size bytes, $(records "$app/receive.txt") records"
bench_start "$app" || lv_finish
sleep 1

read -r _ plain _ flushed _ atomic < <(lvbench write "$(winpath "$app/plain.bin")" "$size" | tail -1)
echo "plain write of $size bytes: ${plain} ms; with FlushFileBuffers: ${flushed} ms;" \
  "atomic replace (flushed temporary file + MoveFileEx): ${atomic} ms (medians of 3)"

for ((k = 1; k <= captures; k++)); do
  out="$LV_DIR/capture.$k"
  "$WINE64" "$BENCH_TOOLS/lvbench.exe" capture "$POPUP" "$(winpath "$app/receive.txt")" 30000 \
    </dev/null 2>&1 | tr -d '\r' >"$out" &
  watcher=$!
  for _ in $(seq 100); do grep -q ready "$out" && break; sleep 0.1; done
  printf 'large log %d\n第二行\n' "$k" | timeout 20 smbclient -M LUMIVALE -I 127.0.0.43 -p 11443 \
    -U "bench%" --option='dos charset=CP936' >/dev/null 2>&1
  wait "$watcher"
  echo "  capture $k: $(tail -1 "$out") (ms after the pop-up appeared)"
  sleep 0.5
done

median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
field() { cat "$LV_DIR"/capture.* | awk -v f="$1" '{ for (i = 1; i < NF; i++) if ($i == f) print $(i + 1) }'; }
closed=$(field closed | median) replaced=$(field replaced | median)
work=$(paste <(field closed) <(field replaced) | awk '{ print $2 - $1 }' | median)
ratio() { echo "scale=2; $1 / $2" | bc; }
echo "capture, pop-up -> receive.txt replaced: ${replaced} ms (median), of which waiting for the" \
  "timer until the pop-up closed: ${closed} ms, and closed -> replaced: ${work} ms"
echo "ratio to the plain write: $(ratio "$replaced" "$plain") (timer wait left out: $(ratio "$work" "$plain"));" \
  "to the atomic replace: $(ratio "$replaced" "$atomic") ($(ratio "$work" "$atomic"))"
# What the log itself costs, at several sizes: bench/log_scale.sh.
got=$(records "$app/receive.txt")
expected=$(($(grep -c -- '^-----------------' <(bench_log /dev/stdout "$mb")) + captures))
echo "records in receive.txt: $got (expected $expected)"
[ "$got" = "$expected" ] || LV_FAILS=1
bench_exit
lv_finish >/dev/null
