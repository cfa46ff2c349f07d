#!/usr/bin/env bash
# Installs what is missing, builds every preset and runs every test tier:
# native (portable code, GoogleTest), fuzz (libFuzzer, bounded time), windows (Win32 code
# and end-to-end tests under Wine). Ends with one line "N passed, N failed".
set -uo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
cd "$top"

as_root() { if [ "$(id -u)" = 0 ]; then "$@"; else sudo "$@"; fi; }
as_root bash scripts/setup-deps.sh || { echo "installing dependencies failed"; exit 1; }

# The Windows tier runs in a prefix of its own (so ending its wineserver never ends the
# programs start.sh runs) and in an Xvfb of its own on a free display number, never on the
# user's display, where its windows would appear and its clicks could land. Both are
# stopped however the run ends, Ctrl-C included.
export LV_WINEPREFIX="$top/build/test-wineprefix"
xvfb_pid="" wine_started=0
cleanup() {
  if [ "$wine_started" = 1 ]; then lv_wine_down; fi
  if [ -n "$xvfb_pid" ]; then
    kill "$xvfb_pid" 2>/dev/null
    wait "$xvfb_pid" 2>/dev/null
  fi
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# Xvfb picks a free display itself and writes its number to the descriptor once it serves.
start_xvfb() {
  local numbers
  numbers="$(mktemp)"
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$numbers" >/dev/null 2>&1 </dev/null &
  xvfb_pid=$!
  for _ in $(seq 100); do [ -s "$numbers" ] && break; sleep 0.1; done
  DISPLAY=":$(tr -dc 0-9 <"$numbers")"
  rm -f "$numbers"
  [ "$DISPLAY" != ":" ] && export DISPLAY
}

passed=0 failed=0 status=0
run_tier() { # preset
  local preset=$1 log="build/test-$1.log"
  mkdir -p build
  if ! cmake --preset "$preset" >"build/configure-$preset.log" 2>&1; then
    cat "build/configure-$preset.log"; echo "configure $preset failed"; failed=$((failed + 1)); status=1; return
  fi
  if ! cmake --build --preset "$preset" -j "$(nproc)" >"build/build-$preset.log" 2>&1; then
    tail -n 60 "build/build-$preset.log"; echo "build $preset failed"; failed=$((failed + 1)); status=1; return
  fi
  # The package tests check the zip and installer this builds.
  if [ "$preset" = windows ] && ! cmake --build --preset windows --target package >"build/package-windows.log" 2>&1; then
    tail -n 60 "build/package-windows.log"; echo "package failed"; failed=$((failed + 1)); status=1
  fi
  ctest --preset "$preset" 2>&1 | tee "$log"
  [ "${PIPESTATUS[0]}" = 0 ] || status=1
  local line total fails
  line=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n 1)
  if [ -z "$line" ]; then failed=$((failed + 1)); status=1; return; fi
  total=$(sed -E 's/.*out of ([0-9]+).*/\1/' <<<"$line")
  fails=$(sed -E 's/.*passed, ([0-9]+) tests? failed.*/\1/' <<<"$line")
  passed=$((passed + total - fails)); failed=$((failed + fails))
}

run_tier native
run_tier fuzz

if start_xvfb; then
  source scripts/wine-env.sh
  bash scripts/wine-prefix.sh
  wine_started=1
  lv_wine_up
  run_tier windows
else
  echo "Xvfb did not start"; failed=$((failed + 1)); status=1
fi

echo
echo "${passed} passed, ${failed} failed"
exit $status
