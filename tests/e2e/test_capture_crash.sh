#!/usr/bin/env bash
# Lumivale killed (kill -9) at random moments while 200-message bursts arrive, ten rounds,
# started again after each: every message a sender saw accepted ends up in receive.txt
# (taken before the crash, or still open in msgsvc.exe and taken after the restart), and
# receive.txt is made of whole records at every moment it is looked at. Duplicates are
# counted: a pop-up whose record was on disk but which the crash left open is taken again.
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/msgsvc_helpers.sh"

ROUNDS=${ROUNDS:-10} PER_ROUND=200 SENDERS=8
address=127.0.0.71 port=1171

lv_prefix main
app="$LV_DIR/app"
rm -rf "$app"
lv_install "$app"
printf '[Messenger]\r\nAddress=%s\r\nPort=%d\r\nLog=msgsvc.log\r\nMaxPopups=2000\r\nMaxPopupsPerPeer=2000\r\nMaxSessions=64\r\nMaxSessionsPerPeer=64\r\n' \
  "$address" "$port" >"$app/msgsvc.ini"
printf '[Options]\r\nAnimateWindow=0\r\nEnableHotkey=0\r\nEnableSound=0\r\n' >"$app/Lumivale.ini"

start_lumivale() {
  lv_start "$app/Lumivale.exe"
  lv_driver wait Lumivale 60000 >/dev/null
}
whole_records() { python3 "$LV_SRC/tests/e2e/check_receive_log.py" "$app/receive.txt" crash >"$LV_DIR/check.out"; }

start_lumivale || fail "Lumivale starts"
msgsvc_wait_listening "$app" || fail "msgsvc.exe listens"

# sender R K: its share of round R, one smbclient run a message; the accepted ones are listed.
sender() {
  local r=$1 k=$2 i out="$LV_DIR/send-$1-$2"
  : >"$out.accepted"
  for ((i = k; i < PER_ROUND; i += SENDERS)); do
    printf 'crash %d/%d' "$r" "$i" | timeout 20 smbclient -M LUMIVALE -I "$address" -p "$port" \
      -U "sender$k%" >"$out.log" 2>&1
    grep -q NT_STATUS "$out.log" || echo "crash $r/$i" >>"$out.accepted"
  done
}

torn=0
for ((r = 1; r <= ROUNDS; r++)); do
  pids=()
  for ((k = 0; k < SENDERS; k++)); do sender "$r" "$k" & pids+=($!); done
  # Somewhere in the burst: between 0.3 and 4 s after it began.
  sleep "$(awk -v s="$RANDOM" 'BEGIN { printf "%.2f", 0.3 + (s % 371) / 100 }')"
  kill -9 "$LV_PID" 2>/dev/null
  wait "$LV_PID" 2>/dev/null
  [ -f "$app/receive.txt" ] && ! whole_records && { torn=$((torn + 1)); cat "$LV_DIR/check.out"; }
  start_lumivale || fail "Lumivale starts again after round $r"
  wait "${pids[@]}"
done
check_eq "receive.txt was whole after every kill" 0 "$torn"

cat "$LV_DIR"/send-*.accepted | sort -u >"$LV_DIR/accepted"
accepted=$(wc -l <"$LV_DIR/accepted")
echo "messages accepted by msgsvc.exe: $accepted of $((ROUNDS * PER_ROUND))"
# What is still open is taken now, ten a second.
for _ in $(seq 600); do
  [ "$(popup_count)" = 0 ] && whole_records && [ "$(awk '/^unique/ { print $2 }' "$LV_DIR/check.out")" -ge "$accepted" ] && break
  sleep 0.5
done
lv_exit "$LV_PID"
check "receive.txt is made of whole records" whole_records
cat "$LV_DIR/check.out"
iconv -f GB18030 -t UTF-8 "$app/receive.txt" | tr -d '\r' | grep '^crash ' | sort -u >"$LV_DIR/logged"
check_eq "every accepted message is in receive.txt" "" "$(comm -23 "$LV_DIR/accepted" "$LV_DIR/logged" | head -5)"
check_eq "nothing is left in the journal" "" "$(ls "$app"/*.journal 2>/dev/null)"
echo "duplicates: $(awk '/^duplicates/ { print $2 }' "$LV_DIR/check.out") (pop-ups whose record was on disk when the kill came before their close)"
lv_finish
