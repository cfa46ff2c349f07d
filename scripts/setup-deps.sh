#!/usr/bin/env bash
# Installs what building and testing Lumivale needs on Debian 12 (run as root).
set -euo pipefail
pkgs=(cmake ninja-build g++ clang libclang-rt-14-dev googletest
      mingw-w64 g++-mingw-w64-x86-64-posix
      wine64 xvfb xauth x11-utils imagemagick fonts-wqy-zenhei
      smbclient samba procps psmisc xdotool trayer
      nsis icoutils libxml2-utils python3 bc iptables)
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
