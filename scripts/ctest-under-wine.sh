#!/usr/bin/env bash
# Runs ctest in a build tree with Wine's prefix private to that tree.
# Usage: ctest-under-wine.sh BUILD_DIR [ctest arguments]
set -euo pipefail
build=$1
shift
. "$(dirname "$0")/wine-env.sh" "$build"
# One wineserver for the whole run: every test process then starts quickly.
wineserver -p 30 >/dev/null 2>&1 </dev/null || true
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  wineboot -i >/dev/null 2>&1 </dev/null || true
fi
# A test process that crashes ends at once instead of waiting in Wine's debugger.
wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger /t REG_SZ /d "" /f \
  >/dev/null 2>&1 </dev/null || true
cd "$build"
ctest --output-on-failure "$@"
