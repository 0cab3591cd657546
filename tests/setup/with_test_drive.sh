#!/usr/bin/env bash
# Runs a test with a drive letter of the private Wine prefix mapped to an
# empty folder of the build tree, so drive searches never walk a real disk.
# The test finds the letter in ORLIX_TEST_DRIVE and a marker file at its root.
set -u
prog=$1
shift
root=$(cd "$(dirname "$0")/../.." && pwd)
dir=$(cd "$(dirname "$prog")" && pwd)
while [ "$dir" != / ] && [ ! -f "$dir/CMakeCache.txt" ]; do dir=$(dirname "$dir"); done
. "$root/scripts/wine-env.sh" "$dir"
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  wineboot -i >/dev/null 2>&1 </dev/null || true
  wineserver -w || true
fi
letter=o
drive=$dir/setup-drive
link=$WINEPREFIX/dosdevices/$letter:
rm -rf "$drive" && mkdir -p "$drive" && touch "$drive/orlix-test-drive.txt"
# A link to its own parent: Wine lists it as a directory reparse point, as
# Windows lists a junction (Wine cannot make junctions itself).
ln -s . "$drive/loop"
ln -sfn "$drive" "$link"
# Wine draws the window frames itself (no window manager under Xvfb), so the
# pictures show the captions.
"$root/scripts/wine-run.sh" reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null 2>&1 </dev/null
shots=$dir/screenshots
mkdir -p "$shots"
ORLIX_TEST_DRIVE=O ORLIX_SCREENSHOTS="$shots" "$root/scripts/wine-run.sh" "$prog" "$@"
rc=$?
rm -f "$link"
# The test saves window pictures as bitmaps; keep them as PNG.
for f in "$shots"/*.bmp; do
  [ -e "$f" ] || continue
  convert "$f" "${f%.bmp}.png" && rm -f "$f"
done
exit $rc
