#!/usr/bin/env bash
# Acceptance rate of msgsvc.exe (under Wine, alone, 127.0.0.45:11445) beside Samba's smbd
# (127.0.0.1:11446, a `message command` that copies each message into a folder), in the same
# run, under the same load: msgload (a native Linux client, the project's own protocol core)
# sends TOTAL messages over CONNECTIONS persistent sessions (start, text, end, as smbclient
# -M sends one, each request waiting for its answer), so the sender is not the bottleneck. Prints messages/s accepted by
# each, and checks that every message was accepted and then shown (pop-ups on screen) or
# handed to the command (files in the folder). Needs root for smbd.
#
#   bench/msgsvc_acceptance.sh [BIN_DIR]     (TOTAL=1000, CONNECTIONS=8)
BENCH_NAME=msgsvc_acceptance
[ -n "${1:-}" ] && export LV_BIN="$1"
source "$(dirname "$0")/bench_lib.sh"
total=${TOTAL:-1000} connections=${CONNECTIONS:-8}
[ "$total" -ge 1 ] && [ "$total" -le 2000 ] || { echo "TOTAL: 1..2000 (msgsvc shows at most 2000 pop-ups)"; exit 2; }
if [ "$(id -u)" != 0 ] || [ ! -x /usr/sbin/smbd ]; then
  echo "needs root (smbd hands messages over as nobody) and /usr/sbin/smbd"
  exit 2
fi
shopt -s nullglob

# msgsvc.exe alone: it shows every message as a pop-up, nobody captures them.
lv_prefix bench-accept
app="$LV_DIR/app"
rm -rf "$app"
lv_install "$app" msgsvc.exe
# All sessions come from one address: its share is the whole.
printf '[Messenger]\r\nAddress=127.0.0.45\r\nPort=11445\r\nLog=msgsvc.log\r\nMaxPopups=2000\r\nMaxSessions=64\r\nMaxPopupsPerPeer=2000\r\nMaxSessionsPerPeer=64\r\n' >"$app/msgsvc.ini"
lv_start "$app/msgsvc.exe"
msgsvc_wait_listening "$app" || { echo "msgsvc.exe did not start"; LV_FAILS=1; lv_finish; }

smb="$LV_DIR/smbd"
smbd_start "$smb" 11446 "" || echo "smbd did not start"
trap 'smbd_stop; bench_stop_xvfb' EXIT

echo "load: $total messages over $connections persistent sessions"
start=$(date +%s%N)
read -r _ _ _ m_ok _ m_refused _ m_ms _ m_rate < <("$BENCH_TOOLS/msgload" accept 127.0.0.45 11445 "$connections" "$total" 120)
deadline=$(($(date +%s) + 120))
while [ "$(popup_count)" -lt "$total" ] && [ "$(date +%s)" -lt "$deadline" ]; do sleep 0.5; done
shown_ms=$((($(date +%s%N) - start) / 1000000))
popups=$(popup_count)
echo "msgsvc.exe: accepted ${m_ok:-0}, refused ${m_refused:-?} in ${m_ms:-?} ms: ${m_rate:-0} messages/s;" \
  "$popups pop-ups on screen after $shown_ms ms"
rss=$(rss_kb "$(msgsvc_pid)")
echo "msgsvc.exe resident memory with $popups pop-ups: ${rss} kB"

start=$(date +%s%N)
read -r _ _ _ s_ok _ s_refused _ s_ms _ s_rate < <("$BENCH_TOOLS/msgload" accept 127.0.0.1 11446 "$connections" "$total" 120)
deadline=$(($(date +%s) + 60))
files() { local f=("$smb"/inbox/*); echo "${#f[@]}"; }
while [ "$(files)" -lt "$total" ] && [ "$(date +%s)" -lt "$deadline" ]; do sleep 0.2; done
written_ms=$((($(date +%s%N) - start) / 1000000))
echo "smbd:       accepted ${s_ok:-0}, refused ${s_refused:-?} in ${s_ms:-?} ms: ${s_rate:-0} messages/s;" \
  "$(files) files written by the message command after $written_ms ms"
[ -n "${m_rate:-}" ] && [ -n "${s_rate:-}" ] &&
  echo "msgsvc.exe / smbd: $(echo "scale=2; $m_rate / $s_rate" | bc)"

[ "${m_ok:-0}" = "$total" ] && [ "$popups" = "$total" ] && [ "${s_ok:-0}" = "$total" ] && [ "$(files)" = "$total" ] || LV_FAILS=1
smbd_stop
lv_finish >/dev/null
