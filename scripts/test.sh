#!/usr/bin/env bash
# Set up (if needed), build and run every test under Wine and Xvfb.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}

"$root/scripts/setup.sh"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-i686-mingw.cmake" >/dev/null
cmake --build "$build" -j"$(nproc)"

export WINEPREFIX=$build/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win32
# One wineserver for the whole run: every test process then starts quickly.
wineserver -p 30 >/dev/null 2>&1 </dev/null || true
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  wineboot -i >/dev/null 2>&1 </dev/null || true
fi
cd "$build"
# A test process that crashes ends at once instead of waiting in Wine's
# debugger. Set inside the virtual display: the first Wine program of a
# server run starts the desktop process, and one started without a display
# leaves every later test unable to create a window.
xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
  wine reg add "HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug" /v Debugger /t REG_SZ /d "" /f \
    >/dev/null 2>&1 </dev/null || true
  exec ctest --output-on-failure "$@"' ctest-run "$@"
