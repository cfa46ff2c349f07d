#!/usr/bin/env bash
# Start-up of Lumivale.exe (the stripped one the packages ship) against the floor: a minimal
# Win32 program that shows one window with Chinese text in the same font (bench/minimal.cpp,
# same compiler and static linking, stripped). ROUNDS (default 9) alternating starts of each
# after one warm-up of each, in one Wine prefix: ms from launch until the main window is
# visible and answers, and the working set one second later. Prints the medians and the
# ratios. Goals: <= 1.2 x the time and <= 1.3 x the memory.
#
# A third program, started in the same rounds, shows how much of the distance is not
# Lumivale's own code: minimal.cpp built with Lumivale's application manifest (the themed
# common controls) and importing the system DLLs Lumivale.exe imports. The bench prints its
# figures and Lumivale's ratios to it too.
#
#   bench/startup.sh [BIN_DIR]     (ROUNDS=9; the stripped programs: BIN_DIR/../resources/stripped)
BENCH_NAME=startup
[ -n "${1:-}" ] && export LV_BIN="$1"
source "$(dirname "$0")/bench_lib.sh"
rounds=${ROUNDS:-9}
[ "$rounds" -ge 1 ] && [ "$rounds" -le 30 ] || { echo "ROUNDS: 1..30"; exit 2; }
stripped="$LV_BIN/../resources/stripped"
[ -f "$stripped/Lumivale.exe" ] || { echo "no stripped Lumivale.exe in $stripped (build the windows preset)"; exit 2; }

lv_prefix bench-startup-floor
app="$LV_DIR/app" floor="$LV_DIR/floor"
bench_app "$app" 127.0.0.46 11446
cp "$stripped/Lumivale.exe" "$stripped/msgsvc.exe" "$app/"
mkdir -p "$floor"
x86_64-w64-mingw32-g++-posix -std=c++20 -O2 -municode -mwindows -static -s -o "$floor/minimal.exe" \
  "$top/bench/minimal.cpp" || { echo "minimal.exe does not build"; exit 2; }
manifest="$LV_BIN/../resources/Lumivale.manifest"
[ -f "$manifest" ] || { echo "no $manifest (configure the windows preset)"; exit 2; }
printf '#include <windows.h>\nCREATEPROCESS_MANIFEST_RESOURCE_ID RT_MANIFEST "%s"\n' "$manifest" >"$floor/themed.rc"
x86_64-w64-mingw32-windres "$floor/themed.rc" -O coff -o "$floor/themed.res.o" &&
  x86_64-w64-mingw32-g++-posix -std=c++20 -O2 -municode -mwindows -static -s -DLV_THEMED_FLOOR \
    -o "$floor/themed.exe" "$top/bench/minimal.cpp" "$floor/themed.res.o" -lcomctl32 -lshell32 -lws2_32 ||
  { echo "themed.exe does not build"; exit 2; }
# msgsvc.exe keeps running between Lumivale's starts, as it does for a user. Started here
# rather than by the first Lumivale.exe, which would hand it lvbench's output pipe to hold.
lv_start "$app/msgsvc.exe"
msgsvc_wait_listening "$app" || { echo "msgsvc.exe does not listen"; exit 2; }
lvbench window "$(winpath "$app/Lumivale.exe")" Lumivale 60000 >/dev/null
lvbench window "$(winpath "$floor/minimal.exe")" LvMinimal 60000 >/dev/null
lvbench window "$(winpath "$floor/themed.exe")" LvMinimal 60000 >/dev/null
: >"$LV_DIR/lumivale" ; : >"$LV_DIR/minimal" ; : >"$LV_DIR/themed"
for ((r = 1; r <= rounds; r++)); do
  lvbench window "$(winpath "$app/Lumivale.exe")" Lumivale 60000 | grep '^window' >>"$LV_DIR/lumivale"
  lvbench window "$(winpath "$floor/minimal.exe")" LvMinimal 60000 | grep '^window' >>"$LV_DIR/minimal"
  lvbench window "$(winpath "$floor/themed.exe")" LvMinimal 60000 | grep '^window' >>"$LV_DIR/themed"
done
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
col() { awk -v f="$2" '{ for (i = 1; i < NF; i++) if ($i == f) print $(i + 1) }' "$LV_DIR/$1" | median; }
lt=$(col lumivale answer) mt=$(col minimal answer) lm=$(col lumivale rss) mm=$(col minimal rss)
tt=$(col themed answer) tm=$(col themed rss)
ratio() { echo "scale=2; $1 / $2" | bc; }
echo "Lumivale.exe: main window answering after $lt ms, working set $lm KB (medians of $(wc -l <"$LV_DIR/lumivale"))"
echo "minimal.exe:  window answering after $mt ms, working set $mm KB (medians of $(wc -l <"$LV_DIR/minimal"))"
echo "themed floor: window answering after $tt ms, working set $tm KB (medians of $(wc -l <"$LV_DIR/themed"); minimal.exe with Lumivale's manifest and DLLs)"
echo "ratios: time $(ratio "$lt" "$mt"), memory $(ratio "$lm" "$mm")"
echo "themed floor to minimal.exe: time $(ratio "$tt" "$mt"), memory $(ratio "$tm" "$mm")"
echo "Lumivale.exe to the themed floor: time $(ratio "$lt" "$tt"), memory $(ratio "$lm" "$tm")"
lv_finish >/dev/null
