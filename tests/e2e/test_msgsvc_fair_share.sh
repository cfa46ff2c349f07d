#!/usr/bin/env bash
# One peer cannot lock the others out of msgsvc.exe, at its default limits. Peer A
# (127.0.0.11) holds 128 idle sessions with keep-alives, reopening whatever is closed; peer B
# (127.0.0.12) sends 1000 messages as fast as the service answers; meanwhile peer C
# (smbclient -M, from 127.0.0.1) sends 10 messages. Each of C's must be shown, and each of
# B's either shown or refused with ERRnoroom, none lost. Then Deny= and Allow= on services
# of their own, with malformed entries that must not widen access.
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/msgsvc_helpers.sh"

MSGSVC_PORT=1150
peerload="$LV_DIR/peerload"
if ! c++ -std=c++20 -O1 -I"$LV_SRC" -o "$peerload" "$LV_SRC/tests/e2e/peerload.cpp" \
  "$LV_SRC/messenger/NetBios.cpp" "$LV_SRC/messenger/Smb.cpp"; then
  fail "peerload.cpp does not build"
  lv_finish
fi
# admitted|refused SERVER SOURCE: a session request from SOURCE is answered, or closed unanswered.
admitted() { "$peerload" knock "$1" "$MSGSVC_PORT" "$2" >/dev/null; }
refused() { "$peerload" knock "$1" "$MSGSVC_PORT" "$2" >/dev/null; [ $? = 1 ]; }
smb_refused() { ! smb_send "$@"; }
now_ms() { echo $(($(date +%s%N) / 1000000)); }

lv_prefix main
app="$LV_DIR/app"
rm -rf "$app"
lv_install "$app" msgsvc.exe
msgsvc_ini "$app" 127.0.0.50
lv_start "$app/msgsvc.exe"
msgsvc_wait_listening "$app" || true
check "msgsvc.exe runs" test -n "$(msgsvc_pid)"
log="$app/msgsvc.log"

timeout 150 "$peerload" hold 127.0.0.50 "$MSGSVC_PORT" 127.0.0.11 128 120 >"$LV_DIR/hold.out" &
holder=$!
for _ in $(seq 100); do grep -q ready "$LV_DIR/hold.out" && break; sleep 0.1; done
read -r _ _ held _ refused < <(grep ready "$LV_DIR/hold.out")
check_eq "peer A holds its share of sessions" 8 "${held:-}"
check "its other connections are closed at once (${refused:-0} so far)" test "${refused:-0}" -ge 120

# Peer C sends while B floods: both start together, C in the background.
carol() {
  local i
  for i in $(seq 10); do
    if smb_send 127.0.0.50 carol "carol $i"; then
      echo "delivered $i at $(now_ms)"
    else
      echo "failed $i at $(now_ms): $(cat "$LV_DIR/smbclient.out" "$LV_DIR/smbclient.err")"
    fi
  done
}
flood_start=$(now_ms)
carol >"$LV_DIR/carol.out" &
carol_pid=$!
timeout 120 "$peerload" flood 127.0.0.50 "$MSGSVC_PORT" 127.0.0.12 1000 90 >"$LV_DIR/flood.out"
check_eq "peer B's flood ran to its end, every message answered" 0 "$?"
flood_end=$(now_ms)
wait "$carol_pid"
cat "$LV_DIR/flood.out" "$LV_DIR/carol.out"
read -r _ sent _ shown _ nroom _ other _ unanswered _ < "$LV_DIR/flood.out"
during=$(awk -v end="$flood_end" '$1 == "delivered" && $4 <= end' "$LV_DIR/carol.out" | wc -l)
echo "peer B flooded for $((flood_end - flood_start)) ms; $during of C's messages were delivered meanwhile"
check_eq "peer C: every message delivered" 10 "$(grep -c '^delivered' "$LV_DIR/carol.out")"
check "peer C: delivered while B flooded, not only after" test "$during" -ge 1
check_eq "peer B: 1000 messages sent" 1000 "${sent:-}"
check_eq "peer B: shown up to its share of pop-ups" 50 "${shown:-}"
check_eq "peer B: the rest refused with ERRnoroom, none lost" "950 0 0" "${nroom:-} ${other:-} ${unanswered:-}"
kill -TERM "$holder"
wait "$holder"
cat "$LV_DIR/hold.out"
read -r _ _ _ most _ _ end _ _ _ _ _ dropped < <(tail -n 1 "$LV_DIR/hold.out")
check_eq "peer A never held more than its share" 8 "${most:-}"
check_eq "and kept it to the end: nobody else's limit took its sessions" "8 0" "${end:-} ${dropped:-}"

# What the service did, from its side: every message it answered with success is on the screen.
for _ in $(seq 50); do [ "$(popup_count)" -ge 60 ] && break; sleep 0.2; done
check_eq "pop-ups on the screen: B's 50 and C's 10" 60 "$(popup_count)"
check_eq "the log shows each of B's shown messages" "${shown:-}" "$(grep -c ' from flood at 127.0.0.12 to ' "$log")"
check_eq "the log shows each of C's messages" 10 "$(grep -c ' from carol at 127.0.0.1 to ' "$log")"
check "the log names the peer over its session share" \
  grep -q "session limit per peer reached, connection from 127.0.0.11 refused" "$log"
check "the log names the peer over its pop-up share" \
  grep -q "pop-up limit per peer reached, message from flood at 127.0.0.12 refused" "$log"
lines=$(grep -c "limit per peer reached" "$log")
check "refusals are logged once per hundred, not each ($lines lines)" test "$lines" -lt 100

# Deny= shuts out one address; its malformed entries are reported and ignored.
deny="$LV_DIR/deny"
rm -rf "$deny"
lv_install "$deny" msgsvc.exe
msgsvc_ini "$deny" 127.0.0.51 "Deny=127.0.0.12, 127.0.0.300,10.0.0.0/33"
lv_start "$deny/msgsvc.exe"
msgsvc_wait_listening "$deny" || true
check "Deny: the listed address is closed at once" refused 127.0.0.51 127.0.0.12
check "Deny: another address is admitted" admitted 127.0.0.51 127.0.0.13
check "Deny: smbclient from elsewhere still delivers" smb_send 127.0.0.51 carol "past Deny"
check "Deny: the refusal is logged" \
  grep -q "connection from 127.0.0.12 refused: listed in Deny" "$deny/msgsvc.log"
check "Deny: a malformed entry is reported" \
  grep -q 'Deny: "127.0.0.300" is not an IPv4 address or CIDR range, ignored' "$deny/msgsvc.log"
check "Deny: so is a range that is none" grep -q '"10.0.0.0/33" is not' "$deny/msgsvc.log"

# Allow= admits only its usable entries: a malformed one that would have admitted every
# loopback address admits nobody.
allow="$LV_DIR/allow"
rm -rf "$allow"
lv_install "$allow" msgsvc.exe
msgsvc_ini "$allow" 127.0.0.52 "Allow=127.0.0.13, 127.0.0.0/8x"
lv_start "$allow/msgsvc.exe"
msgsvc_wait_listening "$allow" || true
check "Allow: the listed address is admitted" admitted 127.0.0.52 127.0.0.13
check "Allow: another address is closed at once" refused 127.0.0.52 127.0.0.12
check "Allow: smbclient from an unlisted address is refused" smb_refused 127.0.0.52 carol "not allowed"
check "Allow: the refusal is logged" \
  grep -q "connection from 127.0.0.1 refused: not in Allow" "$allow/msgsvc.log"
check "Allow: the malformed entry is reported" grep -q '"127.0.0.0/8x" is not' "$allow/msgsvc.log"
check "Allow: the log says who is admitted" \
  grep -q "connections admitted only from 127.0.0.13.$" "$allow/msgsvc.log"

# An Allow= with no usable entry admits nobody, never everybody.
none="$LV_DIR/none"
rm -rf "$none"
lv_install "$none" msgsvc.exe
msgsvc_ini "$none" 127.0.0.53 "Allow=localhost, 127.0.0.1/40"
lv_start "$none/msgsvc.exe"
msgsvc_wait_listening "$none" || true
check "Allow with no usable entry: no address is admitted" refused 127.0.0.53 127.0.0.13
check "Allow with no usable entry: smbclient is refused" smb_refused 127.0.0.53 carol "nobody"
check "Allow with no usable entry: the log says so" \
  grep -q "Allow has no usable entry: every connection is refused" "$none/msgsvc.log"
check_eq "no pop-up came past Allow" 61 "$(popup_count)"

lv_finish
