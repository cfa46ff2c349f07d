#!/usr/bin/env bash
# The settings dialog of the real Lumivale.exe, opened from the main menu and filled in
# through its controls from outside: what OK stores, and a new hot key that works at once.
source "$(dirname "$0")/lib.sh"

LV_MN_SET=201  # 设置(&S)
SET="Lumivale设置"
# The dialog's control IDs (settings/Set.h).
EDT_SEND_NAME=301 CB_ENABLE_SOUND=304 HK_SET=309 BT_OK=314 CB_NOTICE=316
# Ctrl+Alt+Shift+F8 at start; the dialog changes it to Ctrl+Alt+Shift+F9. As a shortcut code
# Shift 0x2000 + Ctrl 0x4000 + Alt 0x8000 + the virtual key; the hot-key control's value has
# HOTKEYF_SHIFT 1 | HOTKEYF_CONTROL 2 | HOTKEYF_ALT 4 in its high byte.
OLD_HOTKEY=$((0xE000 + 0x77))
NEW_HOTKEY=$((0xE000 + 0x78))
NEW_CONTROL_VALUE=$((0x0700 + 0x78))

lv_prefix settings
app="$LV_DIR/app"
rm -rf "$app"
lv_install "$app"
printf '[Messenger]\r\nAddress=127.0.0.1\r\nPort=11394\r\n' >"$app/msgsvc.ini"
printf '[Options]\r\nAnimateWindow=0\r\nEnableHotkey=1\r\nHotKey=%d\r\n' "$OLD_HOTKEY" >"$app/Lumivale.ini"

lv_typing_window
check "another program's window to type into" test -n "$LV_TYPING_XWIN"

lv_start_main "$app"
lvpid=$LV_PID

lv_driver command Lumivale "$LV_MN_SET" >/dev/null
check "the menu item opens the dialog" lv_driver wait "$SET" 10000
sleep 1
read -r left top right bottom cw ch < <(lv_driver rect "$SET")
check_eq "client area" "287 341" "$cw $ch"
check_eq "the sender name shown" "Sender" "$(lv_driver text "$SET" "$EDT_SEND_NAME")"
check_eq "sound on as stored by default" 1 "$(lv_driver checked "$SET" "$CB_ENABLE_SOUND")"
check_eq "arrival notifications on by default" 1 "$(lv_driver checked "$SET" "$CB_NOTICE")"
shot="$LV_WORK/settings-dialog.png"
import -display "$DISPLAY" -window root -crop "$((right - left))x$((bottom - top))+$left+$top" +repage "$shot" 2>/dev/null
check "screenshot of the dialog saved ($shot)" test -s "$shot"

lv_driver settext "$SET" "$EDT_SEND_NAME" "赵六" >/dev/null
lv_driver click "$SET" "$CB_ENABLE_SOUND" >/dev/null
lv_driver sethotkey "$SET" "$HK_SET" "$NEW_CONTROL_VALUE" >/dev/null
sleep 0.5
check_eq "the click unticked sound" 0 "$(lv_driver checked "$SET" "$CB_ENABLE_SOUND")"
lv_driver click "$SET" "$BT_OK" >/dev/null
sleep 1
check_eq "OK closes the dialog" 0 "$(lv_driver visible "$SET")"
check "no box after OK" test -z "$(lv_driver statics dialog:Lumivale 2>/dev/null | grep -v 'no window')"

ini=$(tr -d '\r' <"$app/Lumivale.ini")
check "sound off stored" grep -qx "EnableSound=0" <<<"$ini"
check "the new hot key stored as a shortcut code" grep -qx "HotKey=$NEW_HOTKEY" <<<"$ini"
check "StartHide stored" grep -qx "StartHide=0" <<<"$ini"
check "the sender name in FRIENDS.DAT (GBK)" grep -qF "$(printf '赵六' | iconv -t GBK)" "$app/FRIENDS.DAT"

check_eq "shown before the new hot key" 1 "$(lv_driver visible Lumivale)"
lv_press ctrl+alt+shift+F8
sleep 1
check_eq "the old hot key no longer acts" 1 "$(lv_driver visible Lumivale)"
check "the new hot key hides the main window at once" lv_hot_key ctrl+alt+shift+F9 Lumivale 0
check "pressed again, it shows it" lv_hot_key ctrl+alt+shift+F9 Lumivale 1

lv_exit "$lvpid"

kill "$LV_TYPING_PID" 2>/dev/null
lv_finish
