#!/usr/bin/env bash
# A failed send says why, and a computer name reaches the PC behind it. One Lumivale whose
# own msgsvc.exe listens on one loopback address, and five friends:
#   双址  a name this test puts in /etc/hosts twice: first an address where nothing listens,
#         then msgsvc.exe's; the message reaches the second, once, and counts as sent;
#   拒绝  an address where nothing listens: "对方电脑拒绝连接";
#   丢包  an address whose packets an iptables rule of this test drops: "对方没有应答",
#         after the connect time and well within the send's deadline;
#   无名  a name nothing resolves: "找不到计算机名".
# The hosts lines and the rule are removed however the test ends (it runs as root). Only
# loopback addresses are used.
source "$(dirname "$0")/lib.sh"

PORT=11444
LSB_NAMES=105 MM_OUTPUT=108 BT_CLEAR=111 MN_SEND=211 MM_CONTENT=706 BT_SEND=708
SEND="发送信息"
DEAD=127.0.0.97 DROPPED=127.0.0.99 FIRST=127.0.0.41 SECOND=127.0.0.42
twoname="lv-twoaddr-$$" noname="lv-nosuchhost-$$"
hosts_lines=$(printf '%s %s\n%s %s' "$FIRST" "$twoname" "$SECOND" "$twoname")
drop_rule=(INPUT -d "$DROPPED" -p tcp -j DROP)

cleanup() {
  # Rewritten in place: /etc/hosts may be a mount point that a rename cannot replace.
  local kept
  kept=$(grep -vxF -e "$FIRST $twoname" -e "$SECOND $twoname" /etc/hosts)
  printf '%s\n' "$kept" >/etc/hosts
  while iptables -D "${drop_rule[@]}" 2>/dev/null; do :; done
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

if ! command -v iptables >/dev/null; then
  fail "iptables is not installed (scripts/setup-deps.sh)"
  lv_finish
fi
check "nothing resolves $noname" bash -c "! getent hosts '$noname' >/dev/null"
if ! printf '%s\n' "$hosts_lines" >>/etc/hosts; then
  fail "/etc/hosts cannot be written (the test runs as root)"
  lv_finish
fi
check_eq "$twoname resolves to both addresses, in this order" "$FIRST $SECOND" \
  "$(getent ahostsv4 "$twoname" | awk '$2 == "STREAM" { print $1 }' | paste -sd' ')"
check "the drop rule is in place" iptables -I "${drop_rule[@]}"

lv_prefix send-failures
app="$LV_DIR/app"
rm -rf "$app"
lv_install "$app"
printf '[Messenger]\r\nAddress=%s\r\nPort=%d\r\nLog=msgsvc.log\r\n' "$SECOND" "$PORT" >"$app/msgsvc.ini"
printf '[Options]\r\nAnimateWindow=0\r\nEnableHotkey=0\r\n' >"$app/Lumivale.ini"
lv_friends "$app/FRIENDS.DAT" 我 双址 "$twoname" 拒绝 "$DEAD" 丢包 "$DROPPED" 无名 "$noname"

lv_start_main "$app"
lvpid=$LV_PID
for _ in $(seq 50); do grep -q listening "$app/msgsvc.log" 2>/dev/null && break; sleep 0.2; done
check "msgsvc.exe listens on $SECOND:$PORT" grep -q "listening on $SECOND:$PORT" "$app/msgsvc.log"
records() { grep -c -- '^-----------------' "$1" 2>/dev/null || echo 0; }

# send_to LINE TEXT: the friend on that line of the list, the text, Send.
send_to() {
  lv_driver click Lumivale "$BT_CLEAR" >/dev/null
  lv_driver select Lumivale "$LSB_NAMES" "$1" >/dev/null
  lv_driver command Lumivale "$MN_SEND" >/dev/null
  lv_shown "$SEND" 1 || return 1
  lv_driver settext "$SEND" "$MM_CONTENT" "$2" >/dev/null
  lv_driver click "$SEND" "$BT_SEND" >/dev/null
}
# result NAME MS: waits until NAME's result line shows; prints the status lines from it on.
result() {
  lv_driver watch Lumivale 0 "$MM_OUTPUT" "$1:发送" "$2" >/dev/null
  sleep 0.5
  lv_driver text Lumivale "$MM_OUTPUT" | sed -n "/^$1:发送/,\$p"
}

send_to 0 "两个地址，第二个收"
out=$(result 双址 15000)
echo "$out"
check_eq "the name's second address takes it" "双址:发送成功^_^" "$(grep '^双址:' <<<"$out")"
check "and nothing says it failed" bash -c "! grep -qE '^(对方|找不到)' <<<'$out'"
for _ in $(seq 50); do [ "$(records "$app/receive.txt")" -ge 1 ] && break; sleep 0.2; done
sleep 2
check_eq "the message arrived once" 1 "$(records "$app/receive.txt")"
check "it is the one sent" grep -q "两个地址，第二个收" <(iconv -f GBK -t UTF-8 "$app/receive.txt")

send_to 1 "没人听"
out=$(result 拒绝 15000)
echo "$out"
check_eq "a refused send fails" "拒绝:发送失败:-(" "$(sed -n 1p <<<"$out")"
check "and says the PC refused" grep -q "^对方电脑拒绝连接" <<<"$(sed -n 2p <<<"$out")"

send_to 3 "没有这台电脑"
out=$(result 无名 15000)
echo "$out"
check_eq "an unknown name fails" "无名:发送失败:-(" "$(sed -n 1p <<<"$out")"
check "and says the name is not found" grep -q "^找不到计算机名“$noname”" <<<"$(sed -n 2p <<<"$out")"

start=$(date +%s%N)
send_to 2 "包被丢掉"
out=$(result 丢包 30000)
took=$((($(date +%s%N) - start) / 1000000))
echo "$out"
check_eq "a dropped send fails" "丢包:发送失败:-(" "$(sed -n 1p <<<"$out")"
check "and says there was no answer" grep -q "^对方没有应答" <<<"$(sed -n 2p <<<"$out")"
check "naming the port to open" grep -q "TCP端口$PORT" <<<"$(sed -n 2p <<<"$out")"
# The connect time is 3 s; the send's deadline 26 s.
check "after the connect time, within the deadline ($took ms)" test "$took" -ge 2500 -a "$took" -lt 12000
check_eq "no failed send was logged" 1 "$(records "$app/send.txt")"
lv_window_shot Lumivale "$LV_WORK/send-failures.png"

lv_exit "$lvpid"
lv_finish
