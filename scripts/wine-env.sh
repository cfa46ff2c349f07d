# Sourced by the scripts that run Windows programs: the project's own Wine set-up.
# LV_WINEPREFIX chooses another prefix (tests that need two "computers" use two).
top="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
export WINEPREFIX="${LV_WINEPREFIX:-$top/build/wineprefix}"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win64
# Command-line arguments and file names reach Wine as UTF-8.
export LANG=C.UTF-8 LC_ALL=C.UTF-8
WINE64=/usr/lib/wine/wine64
[ -x "$WINE64" ] || WINE64="$(command -v wine64 || command -v wine)"
export WINE64
WINESERVER=/usr/lib/wine/wineserver
[ -x "$WINESERVER" ] || WINESERVER="$(command -v wineserver)"
export WINESERVER
: "${DISPLAY:=:99}"
export DISPLAY

# Starts a persistent wineserver for the prefix and Wine's own background services with
# their output detached: the services outlive the program that started them, and if they
# inherited a test runner's pipe the runner would wait for them forever.
lv_wine_up() {
  "$WINESERVER" -p >/dev/null 2>&1 </dev/null &
  "$WINE64" cmd /c exit >/dev/null 2>&1 </dev/null || true
}
lv_wine_down() {
  "$WINESERVER" -k >/dev/null 2>&1 || true
}
