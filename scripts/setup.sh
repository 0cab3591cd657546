#!/usr/bin/env bash
# Installs the cross toolchain, Wine and the test tools on Debian 12. Safe to run again.
set -euo pipefail

need=()
pkgs=(cmake make ninja-build g++-mingw-w64-i686-posix mingw-w64-i686-dev
      binutils-mingw-w64-i686 googletest wine wine32:i386 xvfb xauth
      imagemagick libz-mingw-w64-dev x11-utils clang-format python3 clamav
      clamav-daemon clamdscan)

if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
  need+=(update)
fi
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || need+=("$p")
done
if [ ${#need[@]} -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${pkgs[@]}"
fi
