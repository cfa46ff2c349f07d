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
