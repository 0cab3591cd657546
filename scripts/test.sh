#!/usr/bin/env bash
# Set up (if needed), build and run every test: the native tier (the
# portable cores with the sanitizers, and the fuzz targets) on every
# machine, and the Windows tier under Wine and Xvfb where the machine can
# run 32-bit x86 code; elsewhere ctest reports those tests as skipped.
# Arguments go to both ctest runs (e.g. -R test_scan).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
native=${NATIVE_BUILD_DIR:-$root/build-native}

"$root/scripts/setup.sh"

cmake -S "$root/native" -B "$native" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build "$native" -j"$(nproc)"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-i686-mingw.cmake" >/dev/null
cmake --build "$build" -j"$(nproc)"

echo "== No two source files include or call each other"
cycles_rc=0
python3 "$root/scripts/check-cycles.py" "$build" || cycles_rc=$?

echo "== Native tier"
native_rc=0
(cd "$native" && ctest --output-on-failure -j"$(nproc)" "$@") || native_rc=$?

echo "== Windows tier"
windows_rc=0
if reason=$("$root/scripts/probe-i386.sh"); then
  # Wine must first start inside the X server: its desktop process keeps
  # the display it was started with.
  xvfb-run -a -s "-screen 0 1280x1024x24" "$root/scripts/ctest-under-wine.sh" "$build" "$@" || windows_rc=$?
else
  (cd "$build" && ORLIX_WINDOWS_SKIP="$reason" ctest --output-on-failure "$@") || windows_rc=$?
  echo
  echo "The Windows tests did NOT run: $reason."
  echo "They are reported as skipped. The native tier ran. The built orlix.bav, orlix32.dll"
  echo "and bavhost.exe are in $build; run this script on a machine with 32-bit support."
fi
exit $((cycles_rc != 0 || native_rc != 0 || windows_rc != 0))
