#!/usr/bin/env bash
# Set up (if needed), build and run every test under Wine and Xvfb.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}

"$root/scripts/setup.sh"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-i686-mingw.cmake" >/dev/null
cmake --build "$build" -j"$(nproc)"

# Wine must first start inside the X server: its desktop process keeps the
# display it was started with.
exec xvfb-run -a -s "-screen 0 1280x1024x24" "$root/scripts/ctest-under-wine.sh" "$build" "$@"
