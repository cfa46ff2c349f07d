# Sourced by the end-to-end tests. Each test works in its own folder under $LV_WORK with
# its own copy of the Wine prefix (its own wineserver: its own windows and mutexes, like a
# computer of its own), installs the programs there and drives them with lvdriver.exe.
set -uo pipefail
: "${LV_BIN:?}" "${LV_SRC:?}" "${LV_WORK:?}"
source "$LV_SRC/scripts/wine-env.sh"
LV_BASE_PREFIX="$WINEPREFIX"
LV_TEST="$(basename "$0" .sh)"
LV_DIR="$LV_WORK/$LV_TEST"
LV_PREFIXES=()
LV_FAILS=0

fail() { echo "FAIL: $*"; LV_FAILS=$((LV_FAILS + 1)); }
check() { # description, then a command that must succeed
  local what=$1; shift
  if "$@"; then echo "ok: $what"; else fail "$what"; fi
}
check_eq() { # description, expected, actual
  if [ "$2" == "$3" ]; then echo "ok: $1"; else fail "$1: expected [$2], got [$3]"; fi
}

# lv_prefix NAME: a fresh prefix cloned from the project's one; sets WINEPREFIX to it.
lv_prefix() {
  local p="$LV_DIR/prefix-$1"
  rm -rf "$p"
  cp -a "$LV_BASE_PREFIX" "$p"
  rm -f "$p/wineserver"
  export WINEPREFIX="$p"
  LV_PREFIXES+=("$p")
  lv_wine_up
}

# lv_friends FILE SENDER [NAME ADDRESS]...: FRIENDS.DAT as the program writes it, the names
# given in UTF-8 and stored in GBK.
lv_friends() {
  local file=$1 sender=$2
  shift 2
  {
    printf '1 %d \0%s' $(($# / 2)) "$sender"
    while [ $# -ge 2 ]; do printf '\0%s\0%s' "$1" "$2"; shift 2; done
    printf '\0END'
  } | iconv -f UTF-8 -t GBK >"$file"
}

# lv_install DIR [FILE...]: the programs as a user would have them (by default Lumivale.exe,
# msgsvc.exe and the README.TXT whose absence Lumivale reports at start-up) in the folder DIR.
lv_install() {
  local dir=$1 exe; shift
  mkdir -p "$dir"
  [ $# -gt 0 ] || set -- Lumivale.exe msgsvc.exe README.TXT
  for exe in "$@"; do cp "$LV_BIN/$exe" "$dir/"; done
}

# lv_wait_exit PID [SECONDS]: waits for a process started with lv_start; its exit code.
lv_wait_exit() {
  local pid=$1 limit=${2:-20} i
  for ((i = 0; i < limit * 10; i++)); do
    kill -0 "$pid" 2>/dev/null || { wait "$pid"; return $?; }
    sleep 0.1
  done
  return 124
}

# lv_child_id TITLE CLASS [N]: control ID of the Nth (1-based) child of that window class.
lv_child_id() {
  lv_driver children "$1" | awk -F'\t' -v cls="$2" -v n="${3:-1}" '$2 == cls && ++seen == n { print $1 }'
}

# lv_start EXE [ARGS]: starts a Windows program in the background and sets LV_PID to its
# Linux pid (not in a $(...) subshell: lv_wait_exit needs it to be this shell's child).
lv_start() {
  "$WINE64" "$@" >/dev/null 2>&1 </dev/null &
  LV_PID=$!
}

# lv_start_main DIR: starts DIR's Lumivale.exe (LV_PID as lv_start sets it), checks that its
# main window appears, and gives it a second to settle.
lv_start_main() {
  lv_start "$1/Lumivale.exe"
  check "main window appears" lv_driver wait Lumivale 30000
  sleep 1
}

lv_driver() {
  # count, visible and enabled always print an answer: an empty one is a start of the driver
  # that Wine did not carry out under load, and the question is asked again.
  local out try
  case "$1" in
    count | visible | enabled)
      for try in 1 2 3; do
        out=$("$WINE64" "$LV_BIN/lvdriver.exe" "$@" 2>&1 </dev/null | tr -d '\r')
        [ -n "$out" ] && break
      done
      printf '%s\n' "$out"
      ;;
    *) "$WINE64" "$LV_BIN/lvdriver.exe" "$@" 2>&1 </dev/null | tr -d '\r' ;;
  esac
}

# lv_exit PID: the main menu's Exit, its question answered Yes, and the program (started
# with lv_start as PID) ended with code 0 -- each step checked.
lv_exit() {
  lv_driver command Lumivale 207 >/dev/null # the main menu's 退出(&E)
  check "Exit asks first" lv_driver wait dialog:请留步 10000
  lv_driver click dialog:请留步 6 >/dev/null
  lv_wait_exit "$1" 20
  check_eq "Exit ends the program" 0 "$?"
}

# lv_shown TITLE 1|0: waits up to 10 s until a window of that caption is (1) or is not (0)
# shown. Windows that close by hiding still exist, so "wait" and "gone" cannot tell.
lv_shown() {
  local _
  for _ in $(seq 50); do
    [ "$(lv_driver visible "$1")" == "$2" ] && return 0
    sleep 0.2
  done
  return 1
}

# lv_window_shot TITLE FILE: a screenshot of that window alone (PNG), checked to exist.
lv_window_shot() {
  local left top right bottom cw ch
  read -r left top right bottom cw ch < <(lv_driver rect "$1")
  import -display "$DISPLAY" -window root -crop "$((right - left))x$((bottom - top))+$left+$top" +repage "$2" 2>/dev/null
  check "screenshot of $1 ($2)" test -s "$2"
}

# Screenshot of the whole X display into FILE (PNG).
lv_screenshot() { import -display "$DISPLAY" -window root "$1" 2>/dev/null; }

# lv_typing_window: starts Notepad as another program the user works in. Wine sees a key
# only through the X window that has the keyboard focus (it grabs nothing globally), so a
# hot key is typed there. Sets LV_TYPING_PID; false when its window did not appear.
lv_typing_window() {
  lv_start notepad
  LV_TYPING_PID=$LV_PID
  LV_TYPING_XWIN=""
  for _ in $(seq 100); do
    LV_TYPING_XWIN=$(xdotool search --onlyvisible --name 'Notepad' 2>/dev/null | head -1)
    [ -n "$LV_TYPING_XWIN" ] && return 0
    sleep 0.2
  done
  return 1
}

# lv_press KEYS: an xdotool key combination (ctrl+alt+F9) pressed in that window.
lv_press() {
  # Wine reads the keyboard's state when one of its windows gains the focus; keys that come
  # while it does so can be taken as already down and lost, so they wait for it.
  if [ "$(xdotool getwindowfocus 2>/dev/null)" != "$LV_TYPING_XWIN" ]; then
    xdotool windowfocus --sync "$LV_TYPING_XWIN" 2>/dev/null
    sleep 0.5
  fi
  xdotool key --window "$LV_TYPING_XWIN" --clearmodifiers "$1"
}

# lv_hot_key KEYS TITLE VISIBLE: presses KEYS until the window TITLE is shown (1) or hidden
# (0), waiting 3 s after each press, three presses at most; false when it never was. Under
# load a key now and then gets lost between the X server and Wine (the window stays as it
# was, and the same key a moment later works); a hot key that acts twice would still show,
# as the window never settles.
lv_hot_key() {
  local press _
  for press in 1 2 3; do
    lv_press "$1"
    for _ in $(seq 15); do
      [ "$(lv_driver visible "$2")" == "$3" ] && return 0
      sleep 0.2
    done
  done
  return 1
}

lv_finish() {
  local p
  for p in "${LV_PREFIXES[@]}"; do WINEPREFIX="$p" lv_wine_down; done
  for p in "${LV_PREFIXES[@]}"; do rm -rf "$p"; done
  if [ "$LV_FAILS" -gt 0 ]; then echo "$LV_TEST: $LV_FAILS check(s) failed"; exit 1; fi
  echo "$LV_TEST: all checks passed"
  exit 0
}

mkdir -p "$LV_DIR"
