#!/usr/bin/env bash
# 50 sends at once to a local msgsvc.exe, each by its own send worker (the program's
# TSendThread and NetMessageBufferSend, driven by lvsendmany.exe), all logging into one
# send.txt. Prints how many the service accepted, the time from the first start to the last
# result, and the check of send.txt: every record there exactly once and whole (none lost,
# none mixed into another), and as many pop-ups as messages.
#
#   bench/send_concurrent.sh [BIN_DIR]     (default build/windows/bin; SENDS=50)
set -uo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
export LV_BIN="${1:-${LV_BIN:-$top/build/windows/bin}}"
export LV_SRC="$top" LV_WORK="${LV_WORK:-$top/build/bench}"
n=${SENDS:-50}
[ "$n" -ge 1 ] && [ "$n" -le 400 ] || { echo "SENDS: 1..400"; exit 2; }
[ -f "$LV_BIN/lvsendmany.exe" ] || { echo "no lvsendmany.exe in $LV_BIN; build the windows preset"; exit 2; }

source "$top/tests/e2e/lib.sh"
source "$top/tests/e2e/msgsvc_helpers.sh"
[ -f "$WINEPREFIX/.lumivale-fonts" ] || bash "$top/scripts/wine-prefix.sh" # once, like the test runner
lv_prefix bench-send
app="$LV_DIR/app"
rm -rf "$app"
lv_install "$app" msgsvc.exe lvsendmany.exe
printf '[Messenger]\r\nAddress=127.0.0.33\r\nPort=11433\r\nLog=msgsvc.log\r\n' >"$app/msgsvc.ini"
"$WINE64" "$LV_BIN/lvdriver.exe" count x </dev/null >/dev/null 2>&1
lv_start "$app/msgsvc.exe"
msgsvc_wait_listening "$app" || { echo "msgsvc.exe did not start"; lv_finish; }

out=$("$WINE64" "$app/lvsendmany.exe" "$n" 127.0.0.33 </dev/null 2>/dev/null | tr -d '\r')
read -r _ sent _ failed _ ms <<<"$out"
log=$(iconv -f GBK -t UTF-8 "$app/send.txt" 2>/dev/null | tr -d '\r')
records=$(grep -c -- '^-----------------$' <<<"$log")
whole=0 twice=0
for ((i = 0; i < n; i++)); do
  c=$(grep -cx "接收者：bench$i(127.0.0.33)" <<<"$log")
  [ "$c" -gt 1 ] && twice=$((twice + 1))
  # The record's own lines in their order: recipient, separator, its two text lines.
  body=$(printf '第%d条' "$i")
  letter=$(printf "\\$(printf '%03o' $((97 + i % 26)))")
  grep -A3 -x "接收者：bench$i(127.0.0.33)" <<<"$log" | paste -sd'|' |
    grep -qx "接收者：bench$i(127.0.0.33)|-----------------|$body|$(printf "%0.s$letter" $(seq 200))" && whole=$((whole + 1))
done
# Each record is 3 + 2 + 4 = 9 lines here (two text lines), nothing else in the file; the
# last record's four empty lines are gone from $log (command substitution drops them).
lines=$(wc -l <<<"$log")
expected=$((n * 9 - 4))
for _ in $(seq 50); do [ "$(popup_count)" -ge "$n" ] && break; sleep 0.2; done
popups=$(popup_count)

echo "sends: $n started at once; accepted $sent, refused $failed; ${ms} ms from the first start to the last result"
echo "send.txt: $records records, $whole of them whole and in place, $twice twice; $lines lines (expected $expected)"
echo "msgsvc.exe pop-ups: $popups"
[ "$sent" = "$n" ] && [ "$records" = "$n" ] && [ "$whole" = "$n" ] && [ "$twice" = 0 ] &&
  [ "$lines" = "$expected" ] && [ "$popups" = "$n" ] && echo "result: $n/$n logged once, none mixed" ||
  echo "result: FAILED"
lv_finish
