#!/usr/bin/env bash
# The real Lumivale.exe under Wine, driven from outside: where its window opens, what a
# second copy does, what closing and Exit do, and a screenshot of the main window.
source "$(dirname "$0")/lib.sh"

LV_MN_EXIT=207 # the Exit item of the main menu
lv_prefix main
app="$LV_DIR/app"
rm -rf "$app"
lv_install "$app"
# Keep the messenger service it starts on loopback and off the system's port 139.
printf '[Messenger]\r\nAddress=127.0.0.1\r\nPort=11390\r\n' >"$app/msgsvc.ini"
# Two friends and a sender, with Chinese names, as FRIENDS.DAT holds them (GBK bytes).
lv_friends "$app/FRIENDS.DAT" 张三 李四 127.0.0.2 王五 PC-WANG

read -r scr_w scr_h < <(xdpyinfo -display "$DISPLAY" | awk '/dimensions:/ { split($2, d, "x"); print d[1], d[2] }')

lv_start "$app/Lumivale.exe"
first=$LV_PID
check "main window appears" lv_driver wait Lumivale 30000
sleep 1
read -r left top right bottom cw ch < <(lv_driver rect Lumivale)
check_eq "client area" "138 565" "$cw $ch"
check_eq "default left edge: 10 px from the right screen edge" "$((scr_w - (right - left) - 10))" "$left"
check_eq "default top edge: vertically centred" "$(((scr_h - (bottom - top)) / 2))" "$top"

list=$(lv_child_id Lumivale ListBox)
check_eq "friend list" "$(printf '李四\n王五')" "$(lv_driver items Lumivale "$list")"
memo=$(lv_child_id Lumivale Edit)
status=$(lv_driver text Lumivale "$memo")
expected=$(printf '欢迎使用Lumivale！\n当前版本：1.32\n\n正在读取好友数据..\n数据文件版本:1.0\n好友个数：2\n发送者名字：张三\n好友数据读取完毕！')
check_eq "status area after start-up" "$expected" "$status"

shot="$LV_WORK/main-window.png"
import -display "$DISPLAY" -window root -crop "$((right - left))x$((bottom - top))+$left+$top" +repage "$shot" 2>/dev/null
check "screenshot of the main window saved ($shot)" test -s "$shot"

# A second copy says the program runs already and ends with code 0; the first stays.
lv_start "$app/Lumivale.exe"
second=$LV_PID
check "second copy shows its message box" lv_driver wait dialog:Lumivale 20000
check_eq "second copy's message" "Lumivale已经运行，请点击系统托盘图标显示窗口。" "$(lv_driver statics dialog:Lumivale)"
lv_driver click dialog:Lumivale 1 >/dev/null
lv_wait_exit "$second" 20
check_eq "second copy's exit code" 0 "$?"
check "first copy still runs" kill -0 "$first"
check_eq "first copy still shows its window" 1 "$(lv_driver visible Lumivale)"

# Closing only hides the window, and stores where it was.
lv_driver close Lumivale >/dev/null
sleep 1.5
check_eq "close hides the window" 0 "$(lv_driver visible Lumivale)"
check "the program goes on" kill -0 "$first"
ini=$(tr -d '\r' <"$app/Lumivale.ini" 2>/dev/null)
check "close stores Position X" grep -qx "X=$left" <<<"$ini"
check "close stores Position Y" grep -qx "Y=$top" <<<"$ini"

# Exit, answered Yes, ends the process.
lv_driver command Lumivale "$LV_MN_EXIT" >/dev/null
check "Exit asks first" lv_driver wait dialog:请留步 10000
check_eq "the question" "退出后就无法拦截Windows信使信息，按“否”隐藏窗口，“是”退出。" "$(lv_driver statics dialog:请留步)"
lv_driver click dialog:请留步 6 >/dev/null
lv_wait_exit "$first" 20
check_eq "Exit answered Yes ends the program with code 0" 0 "$?"

# StartHide: the next start opens hidden, where the window was, with its status area filled.
printf '[Options]\r\nStartHide=1\r\n' >>"$app/Lumivale.ini"
lv_start "$app/Lumivale.exe"
third=$LV_PID
check "hidden start creates the main window" lv_driver wait Lumivale 30000
sleep 1
check_eq "StartHide keeps the window hidden" 0 "$(lv_driver visible Lumivale)"
read -r left2 top2 _ < <(lv_driver rect Lumivale)
check_eq "the stored position is used" "$left $top" "$left2 $top2"
check_eq "status area filled while hidden" "$expected" "$(lv_driver text Lumivale "$memo")"
lv_driver command Lumivale "$LV_MN_EXIT" >/dev/null
check "Exit asks while hidden" lv_driver wait dialog:请留步 10000
lv_driver click dialog:请留步 6 >/dev/null
lv_wait_exit "$third" 20
check_eq "and ends" 0 "$?"

lv_finish
