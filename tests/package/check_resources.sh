#!/usr/bin/env bash
# What Windows shows of an executable: version resource, application manifest and icon
# group, read back with wrestool (icoutils) from the built Lumivale.exe and msgsvc.exe.
#   check_resources.sh LUMIVALE_EXE MSGSVC_EXE
set -uo pipefail
fails=0
fail() { echo "FAIL: $*"; fails=$((fails + 1)); }
check() { local what=$1; shift; if "$@"; then echo "ok: $what"; else fail "$what"; fi; }
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# A missing tool reads as "no resource" or, worse, as agreement; it fails the run instead.
for tool in wrestool icotool xmllint iconv od; do
  command -v "$tool" >/dev/null || fail "$tool not found (scripts/setup-deps.sh installs it)"
done
if [ "$fails" -gt 0 ]; then exit 1; fi

# check_exe EXE DESCRIPTION
check_exe() {
  local exe=$1 description=$2 name
  name=$(basename "$exe" .exe)
  local list
  list=$(wrestool -l "$exe" 2>&1)
  check "$name: version resource" grep -q -- "--type=16 --name=1 " <<<"$list"
  check "$name: manifest (RT_MANIFEST 1)" grep -q -- "--type=24 --name=1 " <<<"$list"
  check "$name: icon group 1" grep -q -- "--type=14 --name=1 " <<<"$list"

  # The manifest: themed controls, no elevation, not DPI-aware.
  local manifest
  manifest=$(wrestool -x --raw --type=24 --name=1 "$exe" 2>/dev/null | tr -d '\r\n' | tr -s ' ')
  check "$name: common controls 6" grep -q 'name="Microsoft.Windows.Common-Controls" version="6.0.0.0"' <<<"$manifest"
  check "$name: asInvoker" grep -q 'requestedExecutionLevel level="asInvoker"' <<<"$manifest"
  check "$name: DPI-unaware" grep -q '<dpiAware[^>]*>false</dpiAware>' <<<"$manifest"
  check "$name: manifest is well-formed XML" bash -c 'printf "%s" "$1" | xmllint --noout - 2>/dev/null' _ "$manifest"

  # The version resource: the fixed part (1.32.0.0 for file and product) and the texts.
  wrestool -x --raw --type=16 --name=1 "$exe" >"$tmp/$name.ver" 2>/dev/null
  local fixed
  # VS_FIXEDFILEINFO starts with 0xFEEF04BD; file version MS/LS, product version MS/LS follow
  # the structure version.
  fixed=$(od -An -tx4 -v -w4 "$tmp/$name.ver" | tr -d ' ' | awk '/^feef04bd$/ { f = NR } f && NR > f + 1 && NR <= f + 5 { printf "%s ", $1 }')
  check "$name: FILEVERSION and PRODUCTVERSION 1.32.0.0" test "$fixed" = "00010020 00000000 00010020 00000000 "
  local texts
  # Each text follows its key; the key's line starts with the entry's binary lengths.
  texts=$(iconv -f UTF-16LE -t UTF-8 "$tmp/$name.ver" 2>/dev/null | tr '\0' '\n' | tr -s '\n')
  local pair
  for pair in "FileVersion=1.32" "ProductVersion=1.32" "ProductName=Lumivale" \
    "FileDescription=$description" "CompanyName=Kestro" "OriginalFilename=$name.exe"; do
    check "$name: $pair" grep -qxF -- "${pair#*=}" <<<"$(grep -A1 -E -- "${pair%%=*}\$" <<<"$texts" | tail -n 1)"
  done
  check "$name: LegalCopyright" grep -qx "Copyright (C) Kestro" <<<"$texts"

  # The icon group rebuilt as an .ico: the four sizes Windows asks for, 32-bit.
  wrestool -x --type=14 --name=1 "$exe" >"$tmp/$name.ico" 2>/dev/null
  local sizes
  sizes=$(icotool -l "$tmp/$name.ico" 2>/dev/null | sed -E 's/.*--width=([0-9]+) --height=([0-9]+) --bit-depth=([0-9]+).*/\1x\2x\3/' | sort -n | tr '\n' ' ')
  check "$name: icon sizes 16, 32, 48, 256 at 32 bits" test "$sizes" = "16x16x32 32x32x32 48x48x32 256x256x32 "
}

check_exe "$1" "Lumivale 局域网信使"
check_exe "$2" "Lumivale 信使服务"
# cmp also "differs" when a file is missing or empty, so both icons must be there first.
check "msgsvc.exe has an icon of its own" bash -c '[ -s "$1" ] && [ -s "$2" ] && ! cmp -s "$1" "$2"' \
  _ "$tmp/Lumivale.ico" "$tmp/msgsvc.ico"

if [ "$fails" -gt 0 ]; then echo "$fails check(s) failed"; exit 1; fi
echo "all checks passed"
