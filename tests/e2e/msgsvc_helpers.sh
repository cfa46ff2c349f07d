# Sourced by the msgsvc end-to-end tests, after lib.sh.
POPUP="信使服务 "

# The port msgsvc_ini and smb_send use; a test may set another before calling them.
MSGSVC_PORT=1139

# msgsvc_ini DIR ADDRESS [EXTRA LINES...]: msgsvc.ini with the test port and a log.
msgsvc_ini() {
  local dir=$1 address=$2 line; shift 2
  { printf '[Messenger]\r\nAddress=%s\r\nPort=%d\r\nLog=msgsvc.log\r\n' "$address" "$MSGSVC_PORT"
    for line in "$@"; do printf '%s\r\n' "$line"; done; } >"$dir/msgsvc.ini"
}

# smb_send ADDRESS FROM TEXT: smbclient -M; its error output goes to $LV_DIR/smbclient.err.
# Succeeds only when smbclient reported no NT_STATUS error (its exit code is always 0).
smb_send() {
  printf '%s' "$3" | timeout 20 smbclient -M LUMIVALE -I "$1" -p "$MSGSVC_PORT" -U "$2%" \
    --option='dos charset=CP936' >"$LV_DIR/smbclient.out" 2>"$LV_DIR/smbclient.err"
  ! grep -q NT_STATUS "$LV_DIR/smbclient.out" "$LV_DIR/smbclient.err"
}

# smb_senders COUNT PER_SENDER ADDRESS PORT LABEL: COUNT concurrent smbclient -M senders
# ("senderN"), each sending its PER_SENDER messages "LABEL N/I" + a second Chinese line one
# after the other. Returns when they are done (only they are waited for: the programs
# under test are children of the shell too); SMB_SENDER_ERRORS: messages smbclient
# reported failed.
smb_senders() {
  local count=$1 per=$2 address=$3 port=$4 label=$5 n pids=()
  rm -f "$LV_DIR"/errors.*
  for n in $(seq "$count"); do
    (
      errors=0
      for ((i = 1; i <= per; i++)); do
        printf '%s %d/%d\n第二行\n' "$label" "$n" "$i" |
          timeout 20 smbclient -M LUMIVALE -I "$address" -p "$port" -U "sender$n%" \
            --option='dos charset=CP936' >"$LV_DIR/out.$n" 2>&1
        grep -q NT_STATUS "$LV_DIR/out.$n" && errors=$((errors + 1))
      done
      echo "$errors" >"$LV_DIR/errors.$n"
    ) &
    pids+=($!)
  done
  wait "${pids[@]}"
  SMB_SENDER_ERRORS=$(awk '{ n += $1 } END { print n + 0 }' "$LV_DIR"/errors.*)
}

# popup_capture FILE: reads the first pop-up's message control and splits it by the
# capture's byte rules (GBK): FILE.sender and FILE.body hold the parts, in UTF-8.
popup_capture() {
  local out=$1
  # lvdriver writes in text mode (LF → CR LF) and adds one line break.
  "$WINE64" "$LV_BIN/lvdriver.exe" text "$POPUP" 65535 </dev/null 2>/dev/null |
    perl -0777 -pe 's/\r\n/\n/g; s/\n\z//' | iconv -f UTF-8 -t GB18030 >"$out.gbk"
  perl -0777 -ne '
    my $p = index($_, "\xB5\xBD\x20"); my $q = index($_, "\n");
    open(my $s, ">", "$ARGV.sender"); print $s ($p > 4 ? substr($_, 3, $p - 4) : "");
    open(my $b, ">", "$ARGV.body"); print $b ($q >= 0 ? substr($_, $q + 2) : substr($_, 1));
  ' "$out.gbk"
  iconv -f GB18030 -t UTF-8 "$out.gbk.sender" >"$out.sender"
  iconv -f GB18030 -t UTF-8 "$out.gbk.body" >"$out.body"
}

popup_count() { lv_driver count "$POPUP"; }

# Closes every pop-up the way the capture does (WM_CLOSE, waited for).
popups_close_all() {
  local i
  for ((i = 0; i < 600; i++)); do
    [ "$(popup_count)" = 0 ] && return 0
    lv_driver closesync "$POPUP" >/dev/null
  done
  return 1
}

# rss_kb PID: resident memory of a process in kB.
rss_kb() { awk '/^VmRSS:/ { print $2 }' "/proc/$1/status" 2>/dev/null; }

# msgsvc_pid: the Linux pid of the msgsvc.exe running in this test's Wine prefix.
msgsvc_pid() {
  local pid
  for pid in $(pgrep -f 'msgsvc\.exe'); do
    if tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX"; then
      echo "$pid"
      return 0
    fi
  done
  return 1
}

# msgsvc_wait_listening DIR: waits (10 s at most) until the msgsvc.exe installed in DIR has
# logged that it listens; false if it never did.
msgsvc_wait_listening() {
  local _
  for _ in $(seq 50); do
    grep -q listening "$1/msgsvc.log" 2>/dev/null && return 0
    sleep 0.2
  done
  return 1
}

# smbd_required: ends the test as failed unless smbd can run here. Nothing that needs it may
# pass without having run; CI runs the tests as root with Samba installed.
smbd_required() {
  if [ "$(id -u)" != 0 ] || [ ! -x /usr/sbin/smbd ]; then
    echo "FAIL: this test needs root (smbd hands messages over as nobody) and /usr/sbin/smbd"
    exit 1
  fi
}

# smbd_start DIR PORT [COPY]: Samba's smbd on 127.0.0.1:PORT, everything in DIR, with a
# `message command` that copies each message into DIR/inbox: as COPY (default
# from-<sender>.txt), or under its own temporary name when COPY is empty; "+NAME" appends
# every message to DIR/inbox/NAME instead. Sets SMBD_PID; false when smbd never listened.
smbd_start() {
  local smb=$1 port=$2 copy=${3-from-%f.txt} _ deliver
  rm -rf "$smb"
  mkdir -p "$smb"/{lock,state,cache,private,pid,inbox}
  chmod 777 "$smb/inbox"
  if [ "${copy:0:1}" = + ]; then
    deliver="/bin/sh -c 'cat %s >>$smb/inbox/${copy:1}; rm %s' &"
  else
    deliver="/bin/sh -c 'cp %s $smb/inbox/$copy; rm %s' &"
  fi
  cat >"$smb/smb.conf" <<CONF
[global]
  smb ports = $port
  interfaces = lo
  bind interfaces only = yes
  disable netbios = yes
  server min protocol = NT1
  server role = standalone server
  lock directory = $smb/lock
  state directory = $smb/state
  cache directory = $smb/cache
  private dir = $smb/private
  pid directory = $smb/pid
  log file = $smb/log.%m
  load printers = no
  dos charset = CP936
  message command = $deliver
CONF
  # In a session of its own: on SIGTERM smbd signals its whole process group.
  setsid /usr/sbin/smbd -F --no-process-group --debug-stdout -s "$smb/smb.conf" >"$smb/smbd.out" 2>&1 </dev/null &
  SMBD_PID=$!
  for _ in $(seq 100); do
    (exec 3<>/dev/tcp/127.0.0.1/"$port") 2>/dev/null && return 0
    sleep 0.1
  done
  return 1
}

smbd_stop() {
  kill "$SMBD_PID" 2>/dev/null
  wait "$SMBD_PID" 2>/dev/null
}
