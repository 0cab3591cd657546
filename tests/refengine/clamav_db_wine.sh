#!/usr/bin/env bash
# The generator's open signature databases through the real plug-in and the
# 32-bit engine under Wine, judged by bavhost, against clamscan's verdicts
# and names on the same files; then the generator's CVD and CLD containers.
#   clamav_db_wine.sh BUILD_DIR
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
. "$root/tests/common/prefix_settings.sh" "$1"
command -v clamscan >/dev/null || { echo "skipped: clamscan is not installed"; exit 77; }

work=$(mktemp -d "${TMPDIR:-/tmp}/clamav_db_wine.XXXXXX")
trap 'restore_settings; rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

engine=$work/engine
mkdir -p "$engine"
cp "$build/refengine/orlix32.dll" "$engine/"
python3 "$root/tests/native/refengine/clamav_db.py" loose "$engine/gen" || { echo "the generator failed"; exit 1; }
python3 "$root/tests/native/refengine/clamav_db.py" container "$engine/cont" || { echo "the generator failed"; exit 1; }
save_settings
wine "$build/bin/bavhost.exe" config "OrlixPath=$(winpath "$engine")\\" LogEnabled=0 NotifyVirus=0 NotifyError=0 \
  </dev/null >/dev/null 2>&1 || { echo "bavhost could not write the settings"; exit 1; }

# "NAME<TAB>verdict" per object, sorted: the virus name, or "clean". clamscan
# names records outside its signed containers with a ".UNOFFICIAL" suffix.
clamscan_verdicts() {
  clamscan --no-summary -d "$1" "${@:2}" 2>/dev/null |
    sed -n -e 's|^.*/\([^/]*\): OK$|\1\tclean|p' -e 's|^.*/\([^/]*\): \(.*\)\.UNOFFICIAL FOUND$|\1\t\2|p' \
      -e 's|^.*/\([^/]*\): \(.*\) FOUND$|\1\t\2|p' | LC_ALL=C sort
}
bavhost_verdicts() {
  local paths=() f
  for f in "$@"; do paths+=("$(winpath "$f")"); done
  wine "$build/bin/bavhost.exe" --no-progress check "${paths[@]}" </dev/null 2>/dev/null | tr -d '\r' |
    sed -n -e 's|^.*\\\([^\\]*\): 0 clean - Ok$|\1\tclean|p' -e 's|^.*\\\([^\\]*\): [0-9]* infected - Infected by \(.*\)$|\1\t\2|p' \
      -e 's|^.*\\\([^\\]*\): \(-\{0,1\}[0-9]* .*\)$|\1\tunexpected: \2|p' | LC_ALL=C sort
}
compare() {  # what, expected, actual
  if [ "$2" != "$3" ]; then
    fail "$1: the engine's verdicts differ from clamscan's (< clamscan, > engine):"
    diff <(echo "$2") <(echo "$3") | grep '^[<>]' | head -40
  fi
  echo "$1: $(echo "$2" | wc -l) objects, $(echo "$2" | grep -vcE "	(clean|unexpected: .*)$") found"
}

# Loose databases, named one by one, relative to the base file's folder.
: >"$engine/clamav.vdb"
for f in "$engine"/gen/db/*; do echo "database gen/db/${f##*/}" >>"$engine/clamav.vdb"; done
expected=$(clamscan_verdicts "$engine/gen/db" "$engine"/gen/objects/*)
[ "$(echo "$expected" | wc -l)" -gt 40 ] || fail "clamscan judged too few objects: $expected"
compare "loose databases" "$expected" "$(bavhost_verdicts "$engine"/gen/objects/*)"

# Containers: clamscan refuses these, which no publisher signed, so their
# verdicts are the generator's: daily.cld's hash finds, its .fp allows what
# main.cvd's hash finds, its .ign2 leaves out main.cvd's body record. A
# folder line finds main.cvd and daily.cld; damaged copies are rejected
# whole, and with nothing else loaded no check passes for clean.
hits=("$engine"/cont/*_hit.bin)
good=$(printf '%s\n' "body_hit.bin	clean" "daily_hit.bin	Test.Daily.Hash-2-0" "main_hit.bin	clean")
echo "database cont/good" >"$engine/clamav.vdb"
compare "containers" "$good" "$(bavhost_verdicts "${hits[@]}")"
(cd "$engine" && printf 'database %s\n' cont/good cont/bad/*) >"$engine/clamav.vdb"
compare "containers beside damaged copies" "$good" "$(bavhost_verdicts "${hits[@]}")"
(cd "$engine" && printf 'database %s\n' cont/bad/*) >"$engine/clamav.vdb"
compare "damaged containers alone" "$(printf '%s\n' "${hits[@]##*/}" | sed 's/$/\tunexpected: -3 failed - Engine error/')" \
  "$(bavhost_verdicts "${hits[@]}")"

[ "$failures" = 0 ] && echo "PASS" || exit 1
