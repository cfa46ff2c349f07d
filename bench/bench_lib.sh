# Sourced by the message and start-up benchmarks after setting BENCH_NAME: the e2e helpers,
# an X display of their own (:45 unless BENCH_DISPLAY says otherwise; started here and
# stopped at exit when none runs there), and the two helper programs built into the work
# folder: lvbench.exe (mingw-w64, run under Wine) and msgload (host compiler, with the
# portable protocol core).
set -uo pipefail
top="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
export LV_BIN="${LV_BIN:-$top/build/windows/bin}"
export LV_SRC="$top" LV_WORK="${LV_WORK:-$top/build/bench}"
export DISPLAY="${BENCH_DISPLAY:-:45}"
[ -f "$LV_BIN/Lumivale.exe" ] && [ -f "$LV_BIN/msgsvc.exe" ] ||
  { echo "no Lumivale.exe/msgsvc.exe in $LV_BIN; build the windows preset"; exit 2; }

BENCH_XVFB_PID=""
if ! xdpyinfo -display "$DISPLAY" >/dev/null 2>&1; then
  Xvfb "$DISPLAY" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
  BENCH_XVFB_PID=$!
  for _ in $(seq 50); do xdpyinfo -display "$DISPLAY" >/dev/null 2>&1 && break; sleep 0.1; done
fi
bench_stop_xvfb() { [ -z "$BENCH_XVFB_PID" ] || kill "$BENCH_XVFB_PID" 2>/dev/null; }
trap bench_stop_xvfb EXIT

source "$top/tests/e2e/lib.sh"
source "$top/tests/e2e/msgsvc_helpers.sh"
bash "$top/scripts/wine-prefix.sh" >/dev/null # idempotent, cheap once the prefix is there

BENCH_TOOLS="$LV_WORK/tools"
mkdir -p "$BENCH_TOOLS"
if [ ! -x "$BENCH_TOOLS/msgload" ] || [ "$top/bench/msgload.cpp" -nt "$BENCH_TOOLS/msgload" ] ||
  [ "$top/tests/e2e/PeerSocket.h" -nt "$BENCH_TOOLS/msgload" ]; then
  c++ -std=c++20 -O2 -I"$top" -o "$BENCH_TOOLS/msgload" "$top/bench/msgload.cpp" \
    "$top/messenger/NetBios.cpp" "$top/messenger/Smb.cpp" || { echo "msgload does not build"; exit 2; }
fi
if [ ! -f "$BENCH_TOOLS/lvbench.exe" ] || [ "$top/bench/lvbench.cpp" -nt "$BENCH_TOOLS/lvbench.exe" ]; then
  x86_64-w64-mingw32-g++-posix -std=c++20 -O2 -municode -static -o "$BENCH_TOOLS/lvbench.exe" \
    "$top/bench/lvbench.cpp" -lpsapi || { echo "lvbench.exe does not build"; exit 2; }
fi
lvbench() { "$WINE64" "$BENCH_TOOLS/lvbench.exe" "$@" 2>&1 </dev/null | tr -d '\r'; }

# bench_app DIR ADDRESS PORT: Lumivale.exe and msgsvc.exe installed in DIR, msgsvc on
# ADDRESS:PORT with room for bursts (every sender is on one address here, so its share is
# the whole), no fades, no hot key.
bench_app() {
  local dir=$1
  rm -rf "$dir"
  lv_install "$dir"
  cp "$LV_BIN/README.TXT" "$dir/"
  printf '[Messenger]\r\nAddress=%s\r\nPort=%d\r\nLog=msgsvc.log\r\nMaxPopups=2000\r\nMaxSessions=64\r\nMaxPopupsPerPeer=2000\r\nMaxSessionsPerPeer=64\r\n' \
    "$2" "$3" >"$dir/msgsvc.ini"
  printf '[Options]\r\nAnimateWindow=0\r\nEnableHotkey=0\r\n' >"$dir/Lumivale.ini"
}

# bench_log FILE MEGABYTES: a receive log of that size in GBK with CR LF, made of records as
# the capture writes them (date, sender, rule, a two-line Chinese body, four empty lines).
bench_log() {
  python3 - "$1" "$2" <<'PY'
import sys
path, size = sys.argv[1], int(float(sys.argv[2]) * 1024 * 1024)
out, total, i = [], 0, 0
while total < size:
    i += 1
    rec = (f"2025年{i % 12 + 1}月{i % 28 + 1}日 {i % 24}:{i % 60}\r\n发送者:张三{i % 97}\r\n"
           f"-----------------\r\n第{i}条消息：今天下午三点在二楼会议室开会，请准时参加。\r\n"
           f"收到请回复，谢谢！Meeting at 3pm.\r\n\r\n\r\n\r\n\r\n").encode("gbk")
    out.append(rec)
    total += len(rec)
open(path, "wb").write(b"".join(out))
PY
}

# bench_start DIR: starts DIR's Lumivale.exe (which starts its msgsvc.exe) and waits until
# both are up. Sets BENCH_LV_PID.
bench_start() {
  lv_start "$1/Lumivale.exe"
  BENCH_LV_PID=$LV_PID
  lv_driver wait Lumivale 60000 >/dev/null || { echo "Lumivale did not start"; return 1; }
  msgsvc_wait_listening "$1" || { echo "msgsvc.exe did not start"; return 1; }
}

# bench_exit: Exit from the main window's menu, confirmed.
bench_exit() {
  lv_driver command Lumivale 207 >/dev/null
  lv_driver wait dialog:请留步 10000 >/dev/null && lv_driver click dialog:请留步 6 >/dev/null
  lv_wait_exit "$BENCH_LV_PID" 20 >/dev/null
}

# records FILE: the records in a receive log (its rule lines).
records() { local n; n=$(grep -c -- '^-----------------' "$1" 2>/dev/null); echo "${n:-0}"; }

# winpath PATH: the Windows form of a Linux path (drive Z: is the root).
winpath() { local p; p=$(realpath -m "$1"); echo "Z:${p//\//\\}"; }
