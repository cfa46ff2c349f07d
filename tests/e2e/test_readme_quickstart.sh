#!/usr/bin/env bash
# The README's first steps, as a newcomer takes them: scripts/start.sh builds and starts the
# programs, smbclient -M sends a message, and Lumivale has captured it. Run in a folder and
# Wine prefix of the test's own, with msgsvc.ini on a test port instead of 139.
source "$(dirname "$0")/lib.sh"

PORT=11396
app="$LV_DIR/quickstart-app"
prefix="$LV_DIR/quickstart-prefix"
rm -rf "$app" "$prefix"
mkdir -p "$app"
printf '[Messenger]\r\nAddress=127.0.0.1\r\nPort=%d\r\n' "$PORT" >"$app/msgsvc.ini"
cp -a "$LV_BASE_PREFIX" "$prefix"
rm -f "$prefix/wineserver"

check "scripts/start.sh builds and starts Lumivale" \
  env LV_APP_DIR="$app" LV_WINEPREFIX="$prefix" bash "$LV_SRC/scripts/start.sh"
export WINEPREFIX="$prefix"
LV_PREFIXES+=("$prefix")
check "the main window is up" lv_driver wait Lumivale 30000
for f in Lumivale.exe msgsvc.exe README.TXT msg.wav; do check "$f in the program folder" test -s "$app/$f"; done
check_eq "start.sh kept the msgsvc.ini it found" "Port=$PORT" "$(grep -a Port "$app/msgsvc.ini" | tr -d '\r')"

for _ in $(seq 50); do
  echo "你好，这是第一条信息" | timeout 20 smbclient -M LUMIVALE -I 127.0.0.1 -p "$PORT" -U "新手%" \
    --option='dos charset=CP936' >"$LV_DIR/quick.out" 2>&1 && ! grep -q NT_STATUS "$LV_DIR/quick.out" && break
  sleep 0.2 # msgsvc.exe may still be starting
done
for _ in $(seq 100); do [ -s "$app/receive.txt" ] && break; sleep 0.1; done
log=$(iconv -f GBK -t UTF-8 "$app/receive.txt" 2>/dev/null | tr -d '\r')
check "the message is captured in receive.txt" grep -qx "你好，这是第一条信息" <<<"$log"
check "with its sender" grep -qx "发送者:新手" <<<"$log"
lv_finish
