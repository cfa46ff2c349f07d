#!/usr/bin/env bash
# Whether messages can arrive, said in the status area: another program holds the port set
# in msgsvc.ini before Lumivale starts (named, with the reason, within 3 s; gone once the
# port is free); msgsvc.exe killed while Lumivale runs is started again and messages arrive
# again; with the default port held, msgsvc.exe takes the fallback, Lumivale says so, and
# Samba reaches it there; that, the usual state of a Windows PC, is said at the first start
# only (Lumivale.ini [Service] Port139Told=1). Ports 1181, 1182 and 139 on 127.0.0.181/.182
# only.
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/msgsvc_helpers.sh"

MM_OUTPUT=108
lv_prefix service
app="$LV_DIR/app"
rm -rf "$app"
lv_install "$app"
printf '[Options]\r\nEnableHotkey=0\r\n' >"$app/Lumivale.ini"

# hold ADDRESS PORT: another program listening there; sets HOLD_PID.
hold() {
  python3 -c 'import socket, sys, time
s = socket.socket(); s.bind((sys.argv[1], int(sys.argv[2]))); s.listen(8)
print("held", flush=True); time.sleep(120)' "$1" "$2" >"$LV_DIR/hold.out" 2>&1 &
  HOLD_PID=$!
  for _ in $(seq 50); do grep -q held "$LV_DIR/hold.out" 2>/dev/null && return 0; sleep 0.1; done
  return 1
}
status() { lv_driver text Lumivale $MM_OUTPUT; }
# status_has TEXT SECONDS: the status area shows TEXT within that time.
status_has() {
  local _
  for _ in $(seq $(($2 * 10))); do status | grep -qF "$1" && return 0; sleep 0.1; done
  return 1
}
smb_to() { # ADDRESS PORT TEXT
  printf '%s' "$3" | timeout 20 smbclient -M LUMIVALE -I "$1" -p "$2" -U tester% \
    --option='dos charset=CP936' >"$LV_DIR/smbclient.out" 2>&1
  ! grep -q NT_STATUS "$LV_DIR/smbclient.out"
}
received() { # TEXT: in receive.txt within 10 s
  local _
  for _ in $(seq 100); do grep -qaF "$1" "$app/receive.txt" 2>/dev/null && return 0; sleep 0.1; done
  return 1
}

# 1. A port set by hand, held by another program.
printf '[Messenger]\r\nAddress=127.0.0.181\r\nPort=1181\r\nLog=msgsvc.log\r\n' >"$app/msgsvc.ini"
check "another program holds 127.0.0.181:1181" hold 127.0.0.181 1181
"$WINE64" "$LV_BIN/lvdriver.exe" count Lumivale </dev/null >/dev/null 2>&1
lv_start "$app/Lumivale.exe"
pid=$LV_PID
check "Lumivale starts" lv_driver wait Lumivale 30000
check "within 3 s the status area names the port and the address" status_has "端口1181（地址127.0.0.181）" 3
check "and why" status_has "已被其他程序占用" 1
check "and where the fix is described" status_has "README.TXT" 1
check_eq "no fallback for a port set by hand" 0 "$(status | grep -c '备用')"
lv_window_shot Lumivale "$LV_WORK/service-port-taken.png"
lv_exit "$pid"
kill "$HOLD_PID"; wait "$HOLD_PID" 2>/dev/null

# 2. The port free again: nothing said; msgsvc.exe killed is started again.
lv_start "$app/Lumivale.exe"
pid=$LV_PID
check "Lumivale starts again" lv_driver wait Lumivale 30000
check "msgsvc.exe listens" msgsvc_wait_listening "$app"
sleep 3
check_eq "nothing said when all is well" 0 "$(status | grep -c -e '端口' -e '收不到')"
kill -9 "$(msgsvc_pid)"
for _ in $(seq 50); do [ "$(grep -c 'listening on' "$app/msgsvc.log")" -ge 2 ] && break; sleep 0.2; done
check_eq "killed msgsvc.exe is started again" 2 "$(grep -c 'listening on' "$app/msgsvc.log")"
check "a message arrives again" smb_to 127.0.0.181 1181 "again-after-restart"
check "and is captured" received "again-after-restart"
check_eq "still nothing said" 0 "$(status | grep -c -e '端口' -e '收不到')"
lv_exit "$pid"

# 3. The default port held: the fallback (1182 here instead of 1139, which other tests use).
printf '[Messenger]\r\nAddress=127.0.0.182\r\nFallbackPort=1182\r\nLog=msgsvc.log\r\n' >"$app/msgsvc.ini"
check "another program holds 127.0.0.182:139" hold 127.0.0.182 139
lv_start "$app/Lumivale.exe"
pid=$LV_PID
check "Lumivale starts with the default port" lv_driver wait Lumivale 30000
check "within 3 s: 139 cannot be used, and the fallback is" status_has "备用端口1182" 3
check "names 139 and the address" status_has "端口139（地址127.0.0.182）" 1
check_eq "messages still arrive, so not 'nothing arrives'" 0 "$(status | grep -c '收不到信息！')"
lv_window_shot Lumivale "$LV_WORK/service-port-fallback.png"
check "Samba reaches it on the fallback" smb_to 127.0.0.182 1182 "via-the-fallback"
check "and it is captured" received "via-the-fallback"
lv_exit "$pid"
check "told once: remembered in Lumivale.ini" grep -qx $'Port139Told=1\r' "$app/Lumivale.ini"
check "beside the other settings" grep -qx $'EnableHotkey=0\r' "$app/Lumivale.ini"
lv_start "$app/Lumivale.exe"
pid=$LV_PID
check "Lumivale starts again, 139 still held" lv_driver wait Lumivale 30000
sleep 4
check_eq "the next start says nothing about it" 0 "$(status | grep -c -e '端口139' -e '备用端口')"
check "messages still arrive on the fallback" smb_to 127.0.0.182 1182 "second-start"
check "and are captured" received "second-start"
lv_exit "$pid"
kill "$HOLD_PID"; wait "$HOLD_PID" 2>/dev/null
lv_finish
