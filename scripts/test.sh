#!/usr/bin/env bash
# Installs what is missing, builds every preset and runs every test tier:
# native (portable code, GoogleTest), fuzz (libFuzzer, bounded time), windows (Win32 code
# and end-to-end tests under Wine). Ends with one line "N passed, N failed".
set -uo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
cd "$top"

as_root() { if [ "$(id -u)" = 0 ]; then "$@"; else sudo "$@"; fi; }
as_root bash scripts/setup-deps.sh || { echo "installing dependencies failed"; exit 1; }

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

source scripts/wine-env.sh
bash scripts/wine-prefix.sh
lv_wine_up
run_tier windows
lv_wine_down

echo
echo "${passed} passed, ${failed} failed"
exit $status
