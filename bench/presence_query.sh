#!/usr/bin/env bash
# The presence query over a full friend list: 500 entries at loopback addresses
# (127.0.0.1 .. 127.0.1.250), run in the real Lumivale.exe under Wine as root. Prints the
# query's total time against its plan of 2000 + n x 20 + 6000 ms, and the longest the
# main window took to answer a message sent to it during the query (goal: under 100 ms).
# Only loopback addresses are probed; their answers are sent to loopback, not to the
# address the query listens on, so none is reported.
#
#   bench/presence_query.sh [BIN_DIR]     (default build/windows/bin; FRIENDS=500)
set -uo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
export LV_BIN="${1:-${LV_BIN:-$top/build/windows/bin}}"
export LV_SRC="$top" LV_WORK="${LV_WORK:-$top/build/bench}"
n=${FRIENDS:-500}
[ "$n" -ge 0 ] && [ "$n" -le 500 ] || { echo "FRIENDS: 0..500"; exit 2; }
[ -f "$LV_BIN/Lumivale.exe" ] || { echo "no Lumivale.exe in $LV_BIN; build the windows preset"; exit 2; }
[ "$(id -u)" = 0 ] || echo "warning: not root, so raw ICMP sockets are refused; the timing still holds"

source "$top/tests/e2e/lib.sh"
[ -f "$WINEPREFIX/.lumivale-fonts" ] || bash "$top/scripts/wine-prefix.sh" # once, like the test runner
lv_prefix bench-presence
app="$LV_DIR/app"
rm -rf "$app"
lv_install "$app"
printf '[Messenger]\r\nAddress=127.0.0.1\r\nPort=11402\r\n' >"$app/msgsvc.ini"
printf '[Options]\r\nAnimateWindow=0\r\nEnableHotkey=0\r\n' >"$app/Lumivale.ini"
{
  printf '1 %d \0bench\0' "$n"
  for ((i = 0; i < n; i++)); do printf 'f%d\000127.0.%d.%d\0' "$i" $((i / 250)) $((i % 250 + 1)); done
  printf 'END'
} >"$app/FRIENDS.DAT"

lv_start "$app/Lumivale.exe"
lv_driver wait Lumivale 30000 >/dev/null || { echo "Lumivale did not start"; lv_finish; }
sleep 1
lv_driver click Lumivale 111 >/dev/null # empty the status area
sleep 0.5
read -r _ elapsed _ longest _ answered < <(lv_driver watch Lumivale 106 108 "查询完毕！" 60000)
lines=$(lv_driver text Lumivale 108)
planned=$((2000 + n * 20 + 6000))
echo "friends:                 $n"
echo "planned (2000+n*20+6000): $planned ms"
echo "total:                   $elapsed ms ($((elapsed - planned)) ms over the plan, $(((elapsed - planned) * 1000 / (n > 0 ? n : 1))) us a friend)"
echo "longest answer of the window: $longest ms ($answered messages answered during the query)"
echo "answers reported:        $(grep -c ' 在线' <<<"$lines")"
echo "last status line:        $(tail -1 <<<"$lines")"
lv_driver command Lumivale 207 >/dev/null
lv_driver wait dialog:请留步 10000 >/dev/null && lv_driver click dialog:请留步 6 >/dev/null
lv_wait_exit "$LV_PID" 20
lv_finish
