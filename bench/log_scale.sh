#!/usr/bin/env bash
# The message log at 10, 64 and 256 MB (LOG_SIZES): what recording one message costs the
# thread that records it (the capture's main thread; median and worst of 20), and a burst of
# 200 messages (BURST) put in front at once: the time until all are in the file, and how many
# rewrites of the file that took. Run under Wine with the program's own log code
# (bench/logprobe.cpp). Goal: the cost of a record does not grow with the log, and a burst
# costs a few rewrites, not one per message.
#
#   bench/log_scale.sh [BIN_DIR]     (LOG_SIZES="10 64 256", BURST=200)
BENCH_NAME=log_scale
[ -n "${1:-}" ] && export LV_BIN="$1"
source "$(dirname "$0")/bench_lib.sh"
sizes=${LOG_SIZES:-10 64 256}
burst=${BURST:-200}
[ "$burst" -ge 1 ] && [ "$burst" -le 2000 ] || { echo "BURST: 1..2000"; exit 2; }

lv_prefix bench-log-scale
probe="$BENCH_TOOLS/logprobe.exe"
sources=("$top/bench/logprobe.cpp" "$top/messagelog/MessageLog.cpp" "$top/messagelog/DiskLogFile.cpp" "$top/framework/Files.cpp")
rebuild=0
[ -f "$probe" ] || rebuild=1
for s in "${sources[@]}"; do [ "$s" -nt "$probe" ] && rebuild=1; done
if [ "$rebuild" = 1 ]; then
  x86_64-w64-mingw32-g++-posix -std=c++20 -O2 -municode -static -fexec-charset=GB18030 -I"$top" \
    -o "$probe" "${sources[@]}" || { echo "logprobe.exe does not build"; exit 1; }
fi
printf '%-8s %-10s %-14s %-12s %-16s %s\n' "log" "load ms" "record ms" "worst ms" "burst on disk ms" "rewrites"
for mb in $sizes; do
  [ "$mb" -ge 1 ] && [ "$mb" -le 512 ] || { echo "sizes: 1..512 MB"; continue; }
  log="$LV_DIR/receive-$mb.txt"
  bench_log "$log" "$mb"
  read -r _ load _ prepend _ worst _ burstms _ writes rest < <("$WINE64" "$probe" "$(winpath "$log")" "$burst" </dev/null 2>&1 | tr -d '\r')
  printf '%-8s %-10s %-14s %-12s %-16s %s %s\n' "${mb} MB" "$load" "$prepend" "$worst" "$burstms" "$writes" "$rest"
  rm -f "$log" "$log.journal"
done
lv_finish >/dev/null
