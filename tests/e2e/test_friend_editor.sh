#!/usr/bin/env bash
# The friend editor of the real Lumivale.exe, opened with the main window's buttons and
# filled in through its controls from outside: add, a refused duplicate, edit, delete, and
# FRIENDS.DAT after each step.
source "$(dirname "$0")/lib.sh"

# Main window (app/Main.h) and friend editor (friends/FriendEditor.h) control IDs.
BT_ADD=101 BT_DELETE=102 BT_EDIT=103 LSB_NAMES=105
EDT_NAME=401 EDT_IP=403 BT_OK=404
ADD="添加好友" EDIT="修改好友信息"

# FRIENDS.DAT as readable text: NULs as "|", GBK as UTF-8.
friends_file() { tr '\0' '|' <"$app/FRIENDS.DAT" | iconv -f GBK -t UTF-8; }
names() { lv_driver items Lumivale "$LSB_NAMES" | paste -sd,; }

lv_prefix friend
app="$LV_DIR/app"
rm -rf "$app"
lv_install "$app"
printf '[Messenger]\r\nAddress=127.0.0.1\r\nPort=11410\r\n' >"$app/msgsvc.ini"
printf '[Options]\r\nAnimateWindow=0\r\n' >"$app/Lumivale.ini"
lv_friends "$app/FRIENDS.DAT" 我 王五 192.168.0.9

lv_start_main "$app"
lvpid=$LV_PID
check_eq "the friend from the file" "王五" "$(names)"

# Add.
lv_driver click Lumivale "$BT_ADD" >/dev/null
check "添加(&A) opens the editor in add mode" lv_shown "$ADD" 1
sleep 0.5
read -r left top right bottom cw ch < <(lv_driver rect "$ADD")
check_eq "client area" "249 166" "$cw $ch"
check_eq "placed at 312,220" "312 220" "$left $top"
check_eq "empty name field" "" "$(lv_driver text "$ADD" "$EDT_NAME")"
lv_driver settext "$ADD" "$EDT_NAME" "张三" >/dev/null
lv_driver settext "$ADD" "$EDT_IP" "192.168.0.7" >/dev/null
sleep 0.5
shot="$LV_WORK/friend-editor.png"
import -display "$DISPLAY" -window root -crop "$((right - left))x$((bottom - top))+$left+$top" +repage "$shot" 2>/dev/null
check "screenshot of the editor saved ($shot)" test -s "$shot"
lv_driver click "$ADD" "$BT_OK" >/dev/null
check "OK closes the editor" lv_shown "$ADD" 0
check_eq "the new friend is the last line" "王五,张三" "$(names)"
check_eq "FRIENDS.DAT with two friends" "1 2 |我|王五|192.168.0.9|张三|192.168.0.7|END" "$(friends_file)"

# A duplicate name is refused and the editor stays open with its input.
lv_driver click Lumivale "$BT_ADD" >/dev/null
check "the editor opens again" lv_shown "$ADD" 1
lv_driver settext "$ADD" "$EDT_NAME" "王五" >/dev/null
lv_driver click "$ADD" "$BT_OK" >/dev/null
check "a duplicate is refused with a box" lv_driver wait dialog:错误 10000
check "its text" grep -qx "好友已经存在，请用其他的名字。" <<<"$(lv_driver statics dialog:错误)"
lv_driver click dialog:错误 1 >/dev/null # OK
lv_driver gone dialog:错误 5000
check_eq "the editor is still open with its input" "王五" "$(lv_driver text "$ADD" "$EDT_NAME")"
lv_driver close "$ADD" >/dev/null
check "the close box closes it" lv_shown "$ADD" 0
check_eq "the close box adds nothing" "王五,张三" "$(names)"
check_eq "FRIENDS.DAT unchanged" "1 2 |我|王五|192.168.0.9|张三|192.168.0.7|END" "$(friends_file)"

# Edit the second friend.
lv_driver select Lumivale "$LSB_NAMES" 1 >/dev/null
lv_driver click Lumivale "$BT_EDIT" >/dev/null
check "编辑(&E) opens the editor in edit mode" lv_shown "$EDIT" 1
check_eq "the friend's name shown" "张三" "$(lv_driver text "$EDIT" "$EDT_NAME")"
check_eq "the friend's address shown" "192.168.0.7" "$(lv_driver text "$EDIT" "$EDT_IP")"
lv_driver settext "$EDIT" "$EDT_NAME" "张三丰" >/dev/null
lv_driver settext "$EDIT" "$EDT_IP" "pc-zhang" >/dev/null
lv_driver click "$EDIT" "$BT_OK" >/dev/null
check "OK closes it" lv_shown "$EDIT" 0
check_eq "the line renamed in place" "王五,张三丰" "$(names)"
check_eq "FRIENDS.DAT edited" "1 2 |我|王五|192.168.0.9|张三丰|pc-zhang|END" "$(friends_file)"

# Delete the first friend.
lv_driver select Lumivale "$LSB_NAMES" 0 >/dev/null
lv_driver click Lumivale "$BT_DELETE" >/dev/null
check "删除(&D) asks first" lv_driver wait dialog:手下留情 10000
check "the question names the friend" grep -qx "确认删除好友王五？" <<<"$(lv_driver statics dialog:手下留情)"
lv_driver click dialog:手下留情 6 >/dev/null # Yes
lv_driver gone dialog:手下留情 5000
sleep 0.5
check_eq "the line is gone" "张三丰" "$(names)"
check_eq "FRIENDS.DAT with one friend" "1 1 |我|张三丰|pc-zhang|END" "$(friends_file)"

lv_exit "$lvpid"

lv_finish
