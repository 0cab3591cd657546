#!/usr/bin/env bash
# Runs a Windows program under Wine with a prefix private to the build tree.
# The build tree is found from the program's path (tests live under build/).
set -eu
prog=$1
dir=$(cd "$(dirname "$prog")" && pwd)
while [ "$dir" != / ] && [ ! -f "$dir/CMakeCache.txt" ]; do dir=$(dirname "$dir"); done
[ -f "$dir/CMakeCache.txt" ] || dir=$(pwd)
. "$(dirname "$0")/wine-env.sh" "$dir"
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  wineboot -i >/dev/null 2>&1 || true
  wineserver -w || true
fi
# Wine may start its background services from this process; they would keep
# ctest's output pipe open, so the program writes to a file that is shown after.
out=$(mktemp)
trap 'rm -f "$out"' EXIT
rc=0
wine "$@" >"$out" 2>&1 </dev/null || rc=$?
cat "$out"
exit $rc
