#!/usr/bin/env bash
# The installer's exit request, "msgsvc.exe /exit PATH" run from a folder of its own as the
# installer runs it: the Lumivale.exe of PATH ends as a confirmed Exit does (what it received
# folded into receive.txt, or kept in the journal while another program holds the file, the
# position written, msgsvc.exe left running)
# without a question, also while its Exit question or a modal dialog is open, and the
# helper says so (5). A Lumivale.exe that cannot be asked (an older version; here another
# program under that name) is ended at once (6), and only the one of the path given: with
# none there the answer is 0.
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/msgsvc_helpers.sh"
address=127.0.0.74
MSGSVC_PORT=1174
OLD_PORT=1175
LV_MN_EXIT=207
LV_MN_SET=201

lv_prefix exitrequest
app="$LV_DIR/app"
helper="$LV_DIR/helper"
old="$LV_DIR/old"
rm -rf "$app" "$helper" "$old"
lv_install "$app"
lv_install "$helper" msgsvc.exe
msgsvc_ini "$app" "$address"
options() { printf '[Options]\r\nAnimateWindow=0\r\nEnableHotkey=0\r\nEnableSound=0\r\n' >"$app/Lumivale.ini"; }
win_path() { "$WINE64" winepath -w "$1" 2>/dev/null | tr -d '\r'; }
logged() { iconv -f GB18030 -t UTF-8 "$app/receive.txt" 2>/dev/null | tr -d '\r'; }
received() { # TEXT: its line is in receive.txt within 30 s
  for _ in $(seq 150); do
    logged | grep -qx "$1" && return 0
    sleep 0.2
  done
  return 1
}
# ask_exit PROGRAM: the helper's exit code in ASKED, its time in ms in TOOK.
ask_exit() {
  local start=$(date +%s%N)
  timeout 120 "$WINE64" "$helper/msgsvc.exe" /exit "$(win_path "$1")" >/dev/null 2>&1 </dev/null
  ASKED=$?
  TOOK=$((($(date +%s%N) - start) / 1000000))
}
service_runs() { timeout 2 bash -c "exec 3<>/dev/tcp/$address/$MSGSVC_PORT" 2>/dev/null; }

# ROUND NAME OPEN WAIT [HELD]: Lumivale receives a message, OPEN (a main-menu command) opens
# a box or dialog, WAIT (a window) shows it is open, then the request comes. HELD: another
# program holds receive.txt meanwhile, so the message is in the journal only.
round() {
  local name=$1 open=$2 wait=$3 held=${4:-} log="$app/receive.txt" holder=""
  echo "-- $name open"
  options
  [ -e "$log" ] || : >"$log" # to be held
  lv_start_main "$app"
  local pid=$LV_PID
  for _ in $(seq 50); do service_runs && break; sleep 0.2; done
  check "$name: msgsvc.exe listens" service_runs
  if [ -n "$held" ]; then
    "$WINE64" "$LV_BIN/lvdriver.exe" hold "Z:${log//\//\\}" 10000 >"$LV_DIR/hold.out" 2>&1 </dev/null &
    holder=$!
    for _ in $(seq 100); do grep -q held "$LV_DIR/hold.out" && break; sleep 0.1; done
  fi
  check "$name: a message is taken" smb_send "$address" "发信人" "taken $name"
  for _ in $(seq 100); do grep -aq "taken $name" "$log.journal" "$log" 2>/dev/null && break; sleep 0.1; done
  lv_driver command Lumivale "$open" >/dev/null
  check "$name: shown" lv_driver wait "$wait" 10000
  ask_exit "$app/Lumivale.exe"
  echo "$name: the helper returned after $TOOK ms"
  check_eq "$name: the helper reports an exit on request" 5 "$ASKED"
  lv_wait_exit "$pid" 5
  check_eq "$name: Lumivale has ended, with code 0" 0 "$?"
  if [ -n "$held" ]; then
    # As after a confirmed Exit: what could not be folded waits in the journal.
    check "$name: the journal keeps the message" grep -aq "taken $name" "$log.journal"
    wait "$holder"
  else
    check "$name: the message is in receive.txt" received "taken $name"
    check_eq "$name: no journal left" "" "$(ls "$app"/*.journal 2>/dev/null)"
  fi
  check "$name: the position written, as a confirmed Exit does" grep -q '^\[Position\]' "$app/Lumivale.ini"
  check "$name: msgsvc.exe goes on" service_runs
}

# The Exit question itself: a message box whose answer nobody gives.
round "exit-question" "$LV_MN_EXIT" "dialog:请留步" held
# The settings dialog: the framework's own modal loop. The start folds the journal.
round "settings-dialog" "$LV_MN_SET" "Lumivale设置"
check "the first round's message is in receive.txt now" received "taken exit-question"

# A Lumivale.exe that has no exit request: another program under that name, in a folder
# of its own (msgsvc.exe, which listens and so shows that it runs).
mkdir -p "$old"
cp "$LV_BIN/msgsvc.exe" "$old/Lumivale.exe"
printf '[Messenger]\r\nAddress=%s\r\nPort=%d\r\nFallbackPort=0\r\n' "$address" "$OLD_PORT" >"$old/msgsvc.ini"
lv_start "$old/Lumivale.exe"
old_pid=$LV_PID
old_runs() { timeout 2 bash -c "exec 3<>/dev/tcp/$address/$OLD_PORT" 2>/dev/null; }
for _ in $(seq 100); do old_runs && break; sleep 0.2; done
check "the old Lumivale.exe runs" old_runs
ask_exit "$app/Lumivale.exe"
check_eq "none runs from the installation: 0" 0 "$ASKED"
check "and the other folder's one goes on" old_runs
ask_exit "$old/Lumivale.exe"
echo "old: the helper returned after $TOOK ms"
check_eq "one that cannot be asked is ended outright: 6" 6 "$ASKED"
check "at once, not after the wait for an asked one ($TOOK ms)" test "$TOOK" -lt 15000
lv_wait_exit "$old_pid" 5
check "it has ended" bash -c "! kill -0 $old_pid 2>/dev/null"

lv_finish
