#!/usr/bin/env bash
# msgsvc.exe's notice of a ready pop-up: Lumivale takes it at once, never before its text is
# in (a pop-up announced before its text is taken whole, later), and with the notices turned
# off (Notify=0, as a msgsvc.exe of an older version behaves) the 100 ms timer still takes
# every pop-up of a burst.
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/msgsvc_helpers.sh"
address=127.0.0.72 port=1172

lv_prefix main
app="$LV_DIR/app"
rm -rf "$app"
lv_install "$app"
write_ini() { # NOTIFY
  printf '[Messenger]\r\nAddress=%s\r\nPort=%d\r\nLog=msgsvc.log\r\nNotify=%s\r\n' \
    "$address" "$port" "$1" >"$app/msgsvc.ini"
}
printf '[Options]\r\nAnimateWindow=0\r\nEnableHotkey=0\r\nEnableSound=0\r\n' >"$app/Lumivale.ini"
logged() { iconv -f GB18030 -t UTF-8 "$app/receive.txt" 2>/dev/null | tr -d '\r'; }
burst() { # PREFIX N: N smbclient -M messages, four senders at once
  local k i pids=()
  for ((k = 0; k < 4; k++)); do
    for ((i = k; i < $2; i += 4)); do
      printf '%s %d' "$1" "$i" | timeout 20 smbclient -M LUMIVALE -I "$address" -p "$port" -U "s$k%" >/dev/null 2>&1
    done &
    pids+=($!)
  done
  wait "${pids[@]}"
}
all_logged() { # REGEX N: N body lines match
  for _ in $(seq 150); do
    [ "$(logged | grep -cE "$1")" -ge "$2" ] && return 0
    sleep 0.2
  done
  return 1
}

write_ini 1
lv_start "$app/Lumivale.exe"
check "Lumivale starts" lv_driver wait Lumivale 60000
msgsvc_wait_listening "$app" || fail "msgsvc.exe listens"

late="$(printf '从 迟到者 到 LUMIVALE 于 2026/12/10 10:00\n\r文字晚到的信息')"
out=$(timeout 60 "$WINE64" "$LV_BIN/lvdriver.exe" latepopup "$late" 400 </dev/null 2>&1 | tr -d '\r')
echo "$out"
check "a pop-up announced before its text is taken only once its text is in" grep -q '^closed after' <<<"$out"
check "and taken whole" all_logged "^文字晚到的信息$" 1
check_eq "its sender too" 1 "$(logged | grep -c '^发送者:迟到者$')"

burst notice 40
check "with notices, a burst is taken whole" all_logged "^notice [0-9]+$" 40

lv_exit "$LV_PID"
# msgsvc.exe outlives Lumivale: end it, so that the next start runs one with the new ini.
pkill -f 'test_capture_notice.app.msgsvc\.exe' 2>/dev/null
for _ in $(seq 50); do pgrep -f 'test_capture_notice.app.msgsvc\.exe' >/dev/null || break; sleep 0.2; done
rm -f "$app/msgsvc.log"
write_ini 0
lv_start "$app/Lumivale.exe"
check "Lumivale starts again" lv_driver wait Lumivale 60000
msgsvc_wait_listening "$app" || fail "msgsvc.exe listens again"
burst timer 40
check "with the notices off, the timer takes every pop-up" all_logged "^timer [0-9]+$" 40
check_eq "none twice" 0 "$(logged | grep -E '^(notice|timer) ' | sort | uniq -d | wc -l)"
check_eq "no pop-up left" 0 "$(popup_count)"
lv_exit "$LV_PID"
lv_finish
