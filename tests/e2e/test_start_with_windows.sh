#!/usr/bin/env bash
# 随Windows启动 of the real Lumivale.exe, driven from outside: a machine-wide Run value left
# by an older installation shows the box ticked and unticking removes it; ticking writes the
# per-user value with the path in quotes; unticking removes that again.
source "$(dirname "$0")/lib.sh"

LV_MN_SET=201  # 设置(&S)
SET="Lumivale设置"
CB_AUTO_START=313 BT_OK=314
RUN='Software\Microsoft\Windows\CurrentVersion\Run'

lv_prefix autostart
# A folder with a blank in its name, where an unquoted value would be ambiguous.
app="$LV_DIR/my apps"
rm -rf "$app"
lv_install "$app"
printf '[Messenger]\r\nAddress=127.0.0.1\r\nPort=1182\r\n' >"$app/msgsvc.ini"
printf '[Options]\r\nAnimateWindow=0\r\nEnableHotkey=0\r\n' >"$app/Lumivale.ini"
exe=$("$WINE64" winepath -w "$app/Lumivale.exe" 2>/dev/null | tr -d '\r')
check "the program's Windows path ($exe)" grep -q 'Lumivale.exe$' <<<"$exe"

# run_value ROOT: the data of the value "Lumivale" under ROOT's Run key, or nothing.
run_value() {
  "$WINE64" reg query "$1\\$RUN" /v Lumivale 2>/dev/null | tr -d '\r' |
    sed -n 's/^ *Lumivale *REG_SZ *//p'
}
# settings CHECK: opens the dialog, sets the box (1 ticked, 0 not) and presses OK.
settings() {
  lv_driver command Lumivale "$LV_MN_SET" >/dev/null
  lv_shown "$SET" 1
  [ "$(lv_driver checked "$SET" "$CB_AUTO_START")" == "$1" ] || lv_driver click "$SET" "$CB_AUTO_START" >/dev/null
  lv_driver click "$SET" "$BT_OK" >/dev/null
  lv_shown "$SET" 0
}

# As an older installation wrote it: machine-wide, unquoted, in other letter case.
"$WINE64" reg add "HKLM\\$RUN" /v Lumivale /d "${exe^^}" /f >/dev/null 2>&1
check_eq "the machine-wide value is in place" "${exe^^}" "$(run_value HKLM)"

lv_start_main "$app"
lvpid=$LV_PID
lv_driver command Lumivale "$LV_MN_SET" >/dev/null
check "the dialog opens" lv_shown "$SET" 1
check_eq "an older installation's machine-wide value shows the box ticked" 1 \
  "$(lv_driver checked "$SET" "$CB_AUTO_START")"
lv_window_shot "$SET" "$LV_WORK/start-with-windows.png"
lv_driver click "$SET" "$CB_AUTO_START" >/dev/null
lv_driver click "$SET" "$BT_OK" >/dev/null
check "OK closes the dialog" lv_shown "$SET" 0
check_eq "unticked: the machine-wide value is removed" "" "$(run_value HKLM)"

settings 1
check_eq "ticked: the per-user value holds the quoted path" "\"$exe\"" "$(run_value HKCU)"
check_eq "and nothing machine-wide" "" "$(run_value HKLM)"
check "no box after OK" test -z "$(lv_driver statics dialog:Lumivale 2>/dev/null | grep -v 'no window')"
settings 0
check_eq "unticked: the per-user value is removed" "" "$(run_value HKCU)"

lv_exit "$lvpid"
lv_finish
