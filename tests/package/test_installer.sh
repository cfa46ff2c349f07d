#!/usr/bin/env bash
# The NSIS installer under Wine, as a user would run it: a silent install (/S) into a fresh
# prefix, the installed Lumivale.exe starts, shows its main window and starts msgsvc.exe;
# an update keeps the user's msgsvc.ini; the silent uninstall removes the programs (ending
# the running msgsvc.exe) and keeps the user's files; /DELETEDATA removes those too. A
# msgsvc.exe that runs from another folder is left running by the update and the uninstall.
# Windows Firewall: the page offers the rule ticked; /S leaves the firewall alone, /S
# /FIREWALL runs the elevated step and still ends with 0 where the firewall cannot be
# changed (Wine runs "runas" as a plain start; its INetFwPolicy2 enumerates no rules), and the
# uninstall then runs the removal. What msgsvc.exe /firewall did is in its log.
# An update while the installed Lumivale.exe runs (in the tray) ends it as a confirmed Exit
# does, replaces it and starts it again; the uninstall ends it before removing it.
source "$LV_SRC/tests/e2e/lib.sh"
: "${LV_PACKAGE:?}"
setup="$LV_PACKAGE/Lumivale-1.32-win64-setup.exe"
[ -f "$setup" ] || { echo "FAIL: no $setup; build it with: cmake --build --preset windows --target package"; exit 1; }
PORT=11420
OTHER_PORT=1181
LV_MN_EXIT=207

lv_prefix installer
user_dir=$(ls -d "$WINEPREFIX"/drive_c/users/*/ | grep -v /Public/ | head -n 1)
app="${user_dir}AppData/Local/Lumivale"
menu="${user_dir}AppData/Roaming/Microsoft/Windows/Start Menu/Programs/Lumivale"
uninst_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Lumivale'
check "fresh prefix: nothing installed" test ! -e "$app"

# The installer's window; its caption ends in a blank on some pages.
setup_title() {
  local t
  for t in "Lumivale 1.32 安装" "Lumivale 1.32 安装 "; do
    [ "$(lv_driver count "$t")" -gt 0 ] 2>/dev/null && { printf '%s' "$t"; return 0; }
  done
  return 1
}
# setup_page HEADER: waits until the installer shows the page with that header.
setup_page() {
  local _ t
  for _ in $(seq 100); do
    t=$(setup_title) && [ "$(lv_driver text "$t" 1037)" == "$1" ] && return 0
    sleep 0.2
  done
  return 1
}

# The firewall page, as a user sees it: ticked, public networks not, cancelled there.
lv_start "$setup"
setup_pid=$LV_PID
check "the installer shows the folder page" setup_page "选择安装位置"
lv_driver click "$(setup_title)" 1 >/dev/null
check "next comes the firewall page" setup_page "Windows防火墙"
title=$(setup_title)
check_eq "its box is ticked" 1 "$(lv_driver checked "$title" 1201)"
check "and says what it does" grep -q "允许Lumivale通过Windows防火墙接收信息" <<<"$(lv_driver text "$title" 1201)"
check_eq "public networks are not ticked" 0 "$(lv_driver checked "$title" 1202)"
check "it names the rule IT would add" grep -q "程序msgsvc.exe，入站TCP端口1139和139" <<<"$(lv_driver statics "$title")"
lv_window_shot "$title" "$LV_DIR/installer-firewall.png"
lv_driver click "$title" 1201 >/dev/null
sleep 0.5
check_eq "unticked, the public box goes grey" 0 "$(lv_driver enabled "$title" 1202)"
lv_driver click "$title" 2 >/dev/null
check "cancel asks first" lv_driver wait "dialog:$title" 10000
lv_driver click "dialog:$title" 6 >/dev/null
lv_wait_exit "$setup_pid" 20
check "a cancelled installation leaves nothing" test ! -e "$app"

# run_setup ARGS: runs the installer and waits for it (it is a normal program until it ends).
run_setup() { timeout 120 "$WINE64" "$setup" "$@" >/dev/null 2>&1 </dev/null; }
# run_uninstall ARGS: the uninstaller copies itself away and returns at once; the copy
# removes Uninstall.exe last, so wait for that.
run_uninstall() {
  timeout 60 "$WINE64" "$app/Uninstall.exe" "$@" >/dev/null 2>&1 </dev/null
  for _ in $(seq 300); do [ -e "$app/Uninstall.exe" ] || break; sleep 0.2; done
  sleep 1
}
listening() { timeout 2 bash -c "exec 3<>/dev/tcp/127.0.0.1/${1:-$PORT}" 2>/dev/null; }
files() { (cd "$1" 2>/dev/null && ls -1 | LC_ALL=C sort | tr '\n' ' '); }

run_setup /S
check_eq "installer exit code" 0 "$?"
check_eq "installed files" "Lumivale.exe README.TXT Uninstall.exe msg.wav msgsvc.exe msgsvc.ini " "$(files "$app")"
zipdir="$LV_DIR/zip"
rm -rf "$zipdir" && mkdir -p "$zipdir" && (cd "$zipdir" && cmake -E tar xf "$LV_PACKAGE/Lumivale-1.32-win64.zip")
for f in Lumivale.exe msgsvc.exe README.TXT msg.wav msgsvc.ini; do
  check "installed $f is the package's" cmp -s "$zipdir/$f" "$app/$f"
done
check_eq "Start-menu entries" "Lumivale.lnk 使用说明.lnk 卸载 Lumivale.lnk " "$(files "$menu")"
reg=$("$WINE64" reg query "$uninst_key" 2>/dev/null | tr -d '\r')
check "Add/Remove Programs entry (per user)" grep -q "DisplayName.*Lumivale 1.32" <<<"$reg"
check "its quiet uninstall command" grep -qF 'Uninstall.exe" /S' <<<"$reg"
check "/S alone leaves the firewall alone" bash -c '! grep -q FirewallRule <<<"$1"' _ "$reg"

# The user's files: the service on loopback and a port of this test's own, logging outside
# the folder (msgsvc.exe /firewall writes there too), two friends.
fwlog="$LV_DIR/msgsvc.log"
rm -f "$fwlog"
win_fwlog=$("$WINE64" winepath -w "$fwlog" 2>/dev/null | tr -d '\r')
printf '[Messenger]\r\nAddress=127.0.0.1\r\nPort=%s\r\nLog=%s\r\n' "$PORT" "$win_fwlog" >"$app/msgsvc.ini"
printf '1 2 \0%s\0%s\0%s\0%s\0%s\0END' "$(printf '张三' | iconv -t GBK)" \
  "$(printf '李四' | iconv -t GBK)" 127.0.0.2 "$(printf '王五' | iconv -t GBK)" PC-WANG >"$app/FRIENDS.DAT"
printf 'sent\r\n' >"$app/send.txt"
printf 'received\r\n' >"$app/receive.txt"

lv_start "$app/Lumivale.exe"
pid=$LV_PID
check "installed Lumivale.exe shows its main window" lv_driver wait Lumivale 30000
check_eq "and it is visible" 1 "$(lv_driver visible Lumivale)"
memo=$(lv_child_id Lumivale Edit)
check "it read the friend file" grep -q "好友个数：2" <<<"$(lv_driver text Lumivale "$memo")"
for _ in $(seq 100); do listening && break; sleep 0.2; done
check "it started msgsvc.exe (listening on 127.0.0.1:$PORT)" listening
sleep 1
lv_screenshot "$LV_DIR/installed.png"

# Exit: Lumivale ends (writing Lumivale.ini), msgsvc.exe goes on as a service does.
lv_driver command Lumivale "$LV_MN_EXIT" >/dev/null
lv_driver wait dialog:请留步 10000 >/dev/null && lv_driver click dialog:请留步 6 >/dev/null
lv_wait_exit "$pid" 20
check_eq "Lumivale exits" 0 "$?"
check "Lumivale.ini written" test -s "$app/Lumivale.ini"
check "msgsvc.exe still runs" listening

# Another copy of the service, from a folder of its own (another user's, say).
other="$LV_DIR/other"
rm -rf "$other" && mkdir -p "$other" && cp "$app/msgsvc.exe" "$other/"
printf '[Messenger]\r\nAddress=127.0.0.1\r\nPort=%s\r\n' "$OTHER_PORT" >"$other/msgsvc.ini"
lv_start "$other/msgsvc.exe"
other_pid=$LV_PID
for _ in $(seq 100); do listening "$OTHER_PORT" && break; sleep 0.2; done
check "the other folder's msgsvc.exe listens" listening "$OTHER_PORT"

# An update over the running service: replaces the programs, keeps the user's msgsvc.ini;
# asked for the firewall rule, silently.
run_setup /S /FIREWALL
check_eq "update's exit code, the firewall unchangeable" 0 "$?"
win_msgsvc=$("$WINE64" winepath -w "$app/msgsvc.exe" 2>/dev/null | tr -d '\r')
check "the elevated step ran for the installed msgsvc.exe, domain and private networks" \
  grep -qF "firewall allow $win_msgsvc: domain and private networks;" "$fwlog"
check "and the rule was looked for afterwards" grep -qF "firewall check $win_msgsvc:" "$fwlog"
check "the uninstaller is told to take it away" bash -c '"$WINE64" reg query "$1" /v FirewallRule 2>/dev/null | grep -q 0x1' _ "$uninst_key"
check "update keeps msgsvc.ini" grep -q "Port=$PORT" "$app/msgsvc.ini"
check "the update ended the installed msgsvc.exe" bash -c '! timeout 2 bash -c "exec 3<>/dev/tcp/127.0.0.1/$1" 2>/dev/null' _ "$PORT"
check "the update left the other folder's msgsvc.exe running" listening "$OTHER_PORT"
"$WINE64" "$app/msgsvc.exe" >/dev/null 2>&1 </dev/null &
for _ in $(seq 100); do listening && break; sleep 0.2; done
check "the updated msgsvc.exe runs" listening

# An update while Lumivale runs from the installation, hidden in the tray as when started
# with Windows, with a message it has just taken. Its file is marked first (bytes after the
# image, which Windows does not load), so that only a replaced file equals the package's.
# A Lumivale.exe of the installation in this test's prefix (other tests may run their own).
lumivale_runs() {
  local p
  for p in $(pgrep -f 'AppData.Local.Lumivale.Lumivale\.exe'); do
    tr '\0' '\n' <"/proc/$p/environ" 2>/dev/null | grep -qx "WINEPREFIX=$WINEPREFIX" && return 0
  done
  return 1
}
lumivale_gone() { ! lumivale_runs; }
printf 'mark' >>"$app/Lumivale.exe"
printf '[Options]\r\nStartHide=1\r\nAnimateWindow=0\r\nEnableHotkey=0\r\nEnableSound=0\r\n' >"$app/Lumivale.ini"
lv_start "$app/Lumivale.exe"
check "Lumivale runs in the tray" lv_driver wait Lumivale 30000
check_eq "hidden" 0 "$(lv_driver visible Lumivale)"
for _ in $(seq 50); do listening && break; sleep 0.2; done
printf 'taken before the update' | timeout 20 smbclient -M LUMIVALE -I 127.0.0.1 -p "$PORT" -U "sender%" >/dev/null 2>&1
taken() { tr -d '\r' <"$app/receive.txt" 2>/dev/null | grep -qx "taken before the update"; }
for _ in $(seq 100); do taken && break; sleep 0.2; done
check "it took a message" taken
# What Lumivale writes only when it ends as a confirmed Exit does: the position.
printf '[Options]\r\nStartHide=1\r\nAnimateWindow=0\r\nEnableHotkey=0\r\nEnableSound=0\r\n' >"$app/Lumivale.ini"
run_setup /S
check_eq "update over a running Lumivale: exit code" 0 "$?"
check "Lumivale.exe replaced by the package's" cmp -s "$zipdir/Lumivale.exe" "$app/Lumivale.exe"
check "msgsvc.exe is the package's" cmp -s "$zipdir/msgsvc.exe" "$app/msgsvc.exe"
check "Lumivale ended as a confirmed Exit does (position written)" grep -q '^\[Position\]' "$app/Lumivale.ini"
for _ in $(seq 100); do [ "$(lv_driver count Lumivale)" = 1 ] && break; sleep 0.2; done
check_eq "Lumivale runs again after the update" 1 "$(lv_driver count Lumivale)"
check "from the installation" lumivale_runs
check_eq "still in the tray" 0 "$(lv_driver visible Lumivale)"
check "receive.txt keeps the older records" grep -q "^received" "$app/receive.txt"
check "and the message taken before the update" taken
check_eq "no journal left over" "" "$(ls "$app"/*.journal 2>/dev/null)"
for _ in $(seq 100); do listening && break; sleep 0.2; done
check "the restarted Lumivale has its msgsvc.exe" listening

# 随Windows启动 ticked in the installed Lumivale: the uninstall removes its per-user value.
run_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Run'
win_exe=$("$WINE64" winepath -w "$app/Lumivale.exe" 2>/dev/null | tr -d '\r')
"$WINE64" reg add "$run_key" /v Lumivale /d "\"$win_exe\"" /f >/dev/null 2>&1
check "the per-user Run value is in place" bash -c '"$WINE64" reg query "$1" /v Lumivale >/dev/null 2>&1' _ "$run_key"

# The uninstall while that Lumivale runs.
run_uninstall /S
check_eq "the uninstall ran the rule's removal" 1 "$(grep -cF "firewall remove $win_msgsvc:" "$fwlog")"
check "the uninstall ended Lumivale" lumivale_gone
check_eq "no Lumivale window left" 0 "$(lv_driver count Lumivale)"
check "the uninstall removes the per-user Run value" bash -c '! "$WINE64" reg query "$1" /v Lumivale >/dev/null 2>&1' _ "$run_key"
check_eq "silent uninstall keeps the user's files" "FRIENDS.DAT Lumivale.ini msgsvc.ini receive.txt send.txt " "$(files "$app")"
check "the running msgsvc.exe was ended" bash -c '! timeout 2 bash -c "exec 3<>/dev/tcp/127.0.0.1/$1" 2>/dev/null' _ "$PORT"
check "the uninstall left the other folder's msgsvc.exe running" listening "$OTHER_PORT"
# /stop of the other copy ends it, as the installer's own stop does.
timeout 60 "$WINE64" "$other/msgsvc.exe" /stop >/dev/null 2>&1 </dev/null
check_eq "msgsvc.exe /stop's exit code" 0 "$?"
lv_wait_exit "$other_pid" 10
check "msgsvc.exe /stop ended the copy of its folder" bash -c '! timeout 2 bash -c "exec 3<>/dev/tcp/127.0.0.1/$1" 2>/dev/null' _ "$OTHER_PORT"
check "Start-menu entries removed" test ! -e "$menu"
check "Add/Remove Programs entry removed" bash -c '! "$WINE64" reg query "$1" >/dev/null 2>&1' _ "$uninst_key"

# Installed again (the rule for public networks too) and uninstalled with /DELETEDATA:
# nothing is left.
run_setup /S /FIREWALL=PUBLIC
check "/FIREWALL=PUBLIC takes in public networks" grep -qF "firewall allow $win_msgsvc: domain, private and public networks;" "$fwlog"
check "reinstall finds the friends" cmp -s "$app/FRIENDS.DAT" <(printf '1 2 \0%s\0%s\0%s\0%s\0%s\0END' "$(printf '张三' | iconv -t GBK)" \
  "$(printf '李四' | iconv -t GBK)" 127.0.0.2 "$(printf '王五' | iconv -t GBK)" PC-WANG)
run_uninstall /S /DELETEDATA
check "uninstall /DELETEDATA removes the folder" test ! -e "$app"
check_eq "and ran the rule's removal again" 2 "$(grep -cF "firewall remove $win_msgsvc:" "$fwlog")"

lv_finish
