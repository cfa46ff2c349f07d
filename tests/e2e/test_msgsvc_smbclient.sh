#!/usr/bin/env bash
# Samba's smbclient -M sends to msgsvc.exe: a pop-up "信使服务 " appears whose message
# control splits by the capture's byte rules into exactly the sender and body sent. Also:
# the launcher starts one service and no second one, a second msgsvc.exe refuses to run,
# several pop-ups stay open at once, and past the pop-up limit the sender is told no room.
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/msgsvc_helpers.sh"

lv_prefix main
app="$LV_DIR/app"
rm -rf "$app"
lv_install "$app" msgsvc.exe lvlaunch.exe
msgsvc_ini "$app" 127.0.0.2 MaxPopups=3

# Started the way Lumivale starts it; a second launcher run finds it running.
"$WINE64" "$app/lvlaunch.exe" </dev/null >/dev/null 2>&1
msgsvc_wait_listening "$app" || true
check "the launcher started msgsvc.exe" grep -q "listening on 127.0.0.2:1139" "$app/msgsvc.log"
"$WINE64" "$app/lvlaunch.exe" </dev/null >/dev/null 2>&1
sleep 1
check_eq "a second launcher run starts no second service" 1 "$(grep -c listening "$app/msgsvc.log")"

"$WINE64" "$app/msgsvc.exe" </dev/null >/dev/null 2>"$LV_DIR/second.err"
check_eq "a second msgsvc.exe for the same address ends with code 3" 3 "$?"
check "and says why on its error output" grep -q "already running for 127.0.0.2:1139" "$LV_DIR/second.err"
check_eq "without showing any window" 0 "$(popup_count)"

# The Chinese two-line message.
check "smbclient delivers without error" smb_send 127.0.0.2 "张三" $'你好，世界\n第二行 second line\n'
check "a pop-up appears" lv_driver wait "$POPUP" 10000
popup_capture "$LV_DIR/first"
check_eq "the capture reads the sender" "张三" "$(cat "$LV_DIR/first.sender")"
check_eq "the capture reads the exact body (CR LF lines)" \
  "$(printf '你好，世界\r\n第二行 second line\r\n' | od -An -tx1)" "$(od -An -tx1 <"$LV_DIR/first.body")"
check "the header names the recipient" grep -q "^从 张三 到 LUMIVALE 于 [0-9/: ]*$" \
  <(iconv -f GB18030 -t UTF-8 "$LV_DIR/first.gbk" | head -1)
lv_driver closesync "$POPUP" >/dev/null
check_eq "WM_CLOSE removes the pop-up before it returns" 0 "$(popup_count)"

# Several pop-ups at once, each with its own message; then the limit (3) answers no room.
for who in alice bob carol; do smb_send 127.0.0.2 "$who" "from $who" || fail "send from $who"; done
for _ in $(seq 50); do [ "$(popup_count)" = 3 ] && break; sleep 0.2; done
check_eq "three pop-ups open at once" 3 "$(popup_count)"
smb_send 127.0.0.2 dave "one too many"
check "past the pop-up limit the sender gets an error" grep -q NT_STATUS "$LV_DIR/smbclient.err"
check_eq "and no fourth pop-up appears" 3 "$(popup_count)"
check "the refusal is logged" grep -q "pop-up limit reached, message from dave" "$app/msgsvc.log"
: >"$LV_DIR/each.txt"
for _ in 1 2 3; do
  popup_capture "$LV_DIR/each"
  echo "$(cat "$LV_DIR/each.sender"):$(cat "$LV_DIR/each.body")" >>"$LV_DIR/each.txt"
  lv_driver closesync "$POPUP" >/dev/null
done
check_eq "each pop-up holds its own message" "alice:from alice|bob:from bob|carol:from carol" \
  "$(sort "$LV_DIR/each.txt" | paste -sd'|')"
check "room again once they are closed" smb_send 127.0.0.2 erin "again"
check "and its pop-up appears" lv_driver wait "$POPUP" 10000
popups_close_all

lv_finish
