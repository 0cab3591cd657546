#!/usr/bin/env bash
# Installs the cross toolchain, Wine and the test tools on Debian 12. Safe to run again.
# Wine is installed only where the machine can run 32-bit x86 code.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)

# The native tier (and the compiler the 32-bit probe is built with).
native=(cmake make ninja-build googletest clang libclang-rt-14-dev zlib1g-dev clang-format python3
        clamav clamav-daemon clamdscan
        # the codec tests' references: libbz2, liblzma, and 7-Zip as the Deflate64 encoder;
        # bzip2 and xz write the compressed files the format tests walk
        libbz2-dev liblzma-dev 7zip bzip2 xz-utils
        # oracles of the Outlook formats: winmail.dat and compound files read back
        tnef python3-olefile
        # uuencode, a writer of the mail tests
        sharutils)
windows=(g++-mingw-w64-i686-posix mingw-w64-i686-dev binutils-mingw-w64-i686 imagemagick
         libz-mingw-w64-dev
         # the installer, its signing and the portable zip (scripts/package.sh)
         nsis osslsigncode openssl zip unzip)
wine=(wine wine32:i386 xvfb xauth x11-utils)

missing() {
  local p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || return 0
  done
  return 1
}
updated=0
install() {
  if missing "$@"; then
    export DEBIAN_FRONTEND=noninteractive
    if [ $updated = 0 ]; then apt-get update -qq; updated=1; fi
    apt-get install -y -qq --no-install-recommends "$@"
  fi
}

install "${native[@]}" "${windows[@]}"
if reason=$("$here/probe-i386.sh"); then
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
    updated=0
  fi
  install "${wine[@]}"
else
  echo "setup: not installing Wine: $reason" >&2
fi
