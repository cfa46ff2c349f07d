#!/usr/bin/env bash
# The global hot key of the real Lumivale.exe, pressed from outside with xdotool while the
# user works in another program: each press hides or shows the main window; a combination
# another program holds is reported at start-up.
source "$(dirname "$0")/lib.sh"

# Ctrl+Alt+Shift+F9 as a shortcut code: Shift 0x2000 + Ctrl 0x4000 + Alt 0x8000 + VK_F9 0x78.
HOTKEY=$((0x2000 + 0x4000 + 0x8000 + 0x78))
XKEYS=ctrl+alt+shift+F9

lv_prefix hotkey
app="$LV_DIR/app"
rm -rf "$app"
lv_install "$app"
printf '[Messenger]\r\nAddress=127.0.0.1\r\nPort=11393\r\n' >"$app/msgsvc.ini"
printf '[Options]\r\nAnimateWindow=0\r\nEnableHotkey=1\r\nHotKey=%d\r\n' "$HOTKEY" >"$app/Lumivale.ini"

lv_typing_window
check "another program's window to type into" test -n "$LV_TYPING_XWIN"

lv_start_main "$app"
lvpid=$LV_PID
check_eq "no conflict box at start" "" "$(lv_driver statics dialog:Lumivale 2>/dev/null | grep 热键冲突)"
check_eq "shown at start" 1 "$(lv_driver visible Lumivale)"

check "the hot key hides the main window" lv_hot_key "$XKEYS" Lumivale 0
check "pressed again, it shows it" lv_hot_key "$XKEYS" Lumivale 1

lv_exit "$lvpid"

kill "$LV_TYPING_PID" 2>/dev/null
lv_finish
