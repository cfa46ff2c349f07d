#!/usr/bin/env bash
# The built package: the zip holds exactly the five files, the installer was built without
# a makensis warning, and the files themselves are what they should be.
#   check_package.sh BUILD_DIR        (after: cmake --build --preset windows --target package)
set -uo pipefail
build=$(cd "$1" && pwd)
pkg="$build/package"
zip="$pkg/Lumivale-1.32-win64.zip"
setup="$pkg/Lumivale-1.32-win64-setup.exe"
fails=0
fail() { echo "FAIL: $*"; fails=$((fails + 1)); }
check() { local what=$1; shift; if "$@"; then echo "ok: $what"; else fail "$what"; fi; }
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

if [ ! -f "$zip" ] || [ ! -f "$setup" ]; then
  echo "FAIL: no package in $pkg; build it with: cmake --build --preset windows --target package"
  exit 1
fi
check "zip is newer than Lumivale.exe (not left over from an older build)" test "$zip" -nt "$build/bin/Lumivale.exe"
check "installer is newer than Lumivale.exe" test "$setup" -nt "$build/bin/Lumivale.exe"

expected=$'Lumivale.exe\nREADME.TXT\nmsg.wav\nmsgsvc.exe\nmsgsvc.ini'
check "zip lists exactly the five files" test "$(cmake -E tar tf "$zip" | LC_ALL=C sort)" = "$expected"

# makensis' own report: no warnings (the script also turns any warning into an error).
log="$build/package/_CPack_Packages/win64/NSIS/makensis.log"
check "makensis log present and complete" grep -q "^Total size:" "$log"
check "makensis reported no warnings" bash -c '! grep -qiE "^[0-9]+ warnings?:|warning:" "$1"' _ "$log"
# The script the installer was built from: the firewall page (its behaviour is
# test_installer.sh's) and the silent option IT departments use.
nsi="$build/package/_CPack_Packages/win64/NSIS/project.nsi"
check "installer has the firewall page" grep -q '^Page custom FirewallPage FirewallPageLeave' "$nsi"
check "installer reads /FIREWALL" grep -qF '${GetOptions} $0 "/FIREWALL" $1' "$nsi"

(cd "$tmp" && cmake -E tar xf "$zip")
check "README.TXT is the program's" cmp -s "$tmp/README.TXT" "$(dirname "$0")/../../app/README.TXT"
# msgsvc.ini: GBK with CR LF; every key commented out at its default, so it reads as an
# absent file would.
ini=$(tr -d '\r' <"$tmp/msgsvc.ini")
check "msgsvc.ini has CR LF line ends" test "$(grep -c $'\r$' "$tmp/msgsvc.ini")" = "$(wc -l <"$tmp/msgsvc.ini")"
check "msgsvc.ini is GBK text" iconv -f GBK -t UTF-8 -o /dev/null "$tmp/msgsvc.ini"
check "msgsvc.ini: only the section is active" test "$(grep -v '^;' <<<"$ini" | grep -v '^$')" = "[Messenger]"
for kv in Address=0.0.0.0 Port=139 FallbackPort=1139 Log=msgsvc.log MaxSessions=128 IdleSeconds=30 SessionSeconds=120 MaxPopups=500 \
  MaxSessionsPerPeer=8 MaxPopupsPerPeer=50 Deny= Allow=; do
  check "msgsvc.ini documents ;$kv" grep -qxF ";$kv" <<<"$ini"
done
# msg.wav: PCM, short, and not silent.
wav="$tmp/msg.wav"
check "msg.wav is a RIFF WAVE file" test "$(head -c 4 "$wav")$(tail -c +9 "$wav" | head -c 8)" = "RIFFWAVEfmt "
read -r fmt channels rate <<<"$(od -An -tu2 -j20 -N4 "$wav" | tr -s ' ') $(od -An -tu4 -j24 -N4 "$wav")"
check "msg.wav is PCM" test "$fmt" = 1
bytes=$(od -An -tu4 -j40 -N4 "$wav" | tr -d ' ')
ms=$((bytes * 1000 / (rate * channels * 2)))
check "msg.wav lasts 0.2 to 2 s ($ms ms)" test "$ms" -ge 200 -a "$ms" -le 2000
peak=$(od -An -td2 -j44 -v "$wav" | tr -s ' ' '\n' | awk '$1 != "" { v = $1 < 0 ? -$1 : $1; if (v > m) m = v } END { print m + 0 }')
check "msg.wav is audible and does not clip (peak $peak)" test "$peak" -ge 8000 -a "$peak" -le 32000
# The zip's programs are the built ones, stripped, still with their resources.
check "zip's Lumivale.exe keeps its manifest" bash -c 'wrestool -l "$1" | grep -q -- "--type=24"' _ "$tmp/Lumivale.exe"
check "zip's Lumivale.exe is stripped" test "$(stat -c %s "$tmp/Lumivale.exe")" -lt "$(stat -c %s "$build/bin/Lumivale.exe")"

if [ "$fails" -gt 0 ]; then echo "$fails check(s) failed"; exit 1; fi
echo "all checks passed"
