#!/usr/bin/env bash
# Loading the open hash databases: the reference engine's native core and
# clamscan side by side on the same synthetic .hdb lists of 1 M and 3.3 M
# records, alone and with a .ndb of 100,000 body records (one run, ratios
# printed; no timed test). Needs the native tier
# built without sanitizers in build-native-bench/ (bench_refengine_native)
# and Debian's clamav.
#
#   bench/clamdb/run.sh [RECORDS...]     default: 1000000 3300000
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
native=${NATIVE_BUILD_DIR:-$root/build-native-bench}/bench/bench_refengine_native
# The 32-bit DLL under Wine too, where BUILD_DIR (default build/) holds it
# and the machine runs 32-bit code.
build=${BUILD_DIR:-$root/build}
wine_bench=$build/bin/bench_refengine.exe
if [ -f "$wine_bench" ] && "$root/scripts/probe-i386.sh" >/dev/null; then
  . "$root/scripts/wine-env.sh" "$build"
else
  wine_bench=
fi
wine_rows=()
counts=("$@")
[ ${#counts[@]} -gt 0 ] || counts=(1000000 3300000)
work=$(mktemp -d "${TMPDIR:-/tmp}/bench_clamdb.XXXXXX")
trap 'rm -rf "$work"' EXIT
# Peak resident kilobytes, wall seconds and CPU seconds of a command, from
# GNU time: on a shared machine the CPU seconds are the steadier figure.
measure() { /usr/bin/time -f '%M %e %U %S' -o "$work/time" "$@" >"$work/out" 2>"$work/err" || true; tail -1 "$work/time"; }

printf '%-16s | %-47s | %-29s | %s\n' "records lists" " reference engine (native)" " clamscan" " engine / clamscan"
printf '%-16s | %6s %6s %7s %8s %6s %6s | %6s %6s %7s %4s | %6s %6s %6s\n' "" "load s" "cpu s" "peak MB" "store MB" \
  "B/rec" "MB/s" "load s" "cpu s" "peak MB" "hit" "load" "cpu" "memory"
for n in "${counts[@]}"; do
  d=$work/$n
  python3 "$here/bench_data.py" "$d" "$n"
  for lists in hdb hdb+ndb; do
    dbs=("$d/bench.hdb")
    [ "$lists" = hdb ] || dbs+=("$d/bench.ndb")
    # Relative to the base file's folder, so the same lines serve under Wine.
    printf 'database %s\n' "${dbs[@]##*/}" >"$d/bench.vdb"
    read -r kb _ user sys < <(measure "$native" "$d/data" "$d/bench.vdb" "$d/canary.bin")
    line=$(grep records= "$work/out")
    get() { sed -n "s/.* $1=\([^ ]*\).*/\1/p" <<<" $line"; }
    load=$(get load_s); heap=$(get heap_mb); engine=$(get engine_s); bytes=$(get bytes); canary=$(get canary)
    # clamscan's load alone: the canary is all it checks.
    read -r ckb cload cuser csys < <(measure clamscan --no-summary "${dbs[@]/#/--database=}" "$d/canary.bin")
    chit=$(grep -c FOUND "$work/out" || true)
    awk -v n="$n" -v lists="$lists" -v load="$load" -v kb="$kb" -v heap="$heap" -v engine="$engine" -v bytes="$bytes" \
        -v cpu="$(awk -v a="$user" -v b="$sys" 'BEGIN { print a + b }')" \
        -v ccpu="$(awk -v a="$cuser" -v b="$csys" 'BEGIN { print a + b }')" \
        -v cload="$cload" -v ckb="$ckb" -v canary="$canary" -v chit="$chit" 'BEGIN {
      printf "%-8d %-7s | %6.2f %6.2f %7.1f %8.1f %6.1f %6.0f | %6.2f %6.2f %7.1f %4s | %6.3f %6.3f %6.3f\n", n, lists,
        load, cpu, kb / 1024, heap, heap * 1048576 / n, bytes / 1048576 / engine, cload, ccpu, ckb / 1024,
        (canary > 0 && chit > 0 ? "both" : "MISS"), load / cload, cpu / ccpu, kb / ckb
    }'
    [ -n "$wine_bench" ] || continue
    read -r wkb _ wuser wsys < <(cd "$build/bin" && measure wine "$wine_bench" "$(winpath "$d/data")" \
      "$(winpath "$d/bench.vdb")" "$(winpath "$d/canary.bin")")
    line=$(grep records= "$work/out" | tr -d '\r')
    wine_rows+=("$(awk -v n="$n" -v lists="$lists" -v load="$(get load_s)" -v heap="$(get heap_mb)" \
      -v canary="$(get canary)" -v kb="$wkb" -v cpu="$(awk -v a="$wuser" -v b="$wsys" 'BEGIN { print a + b }')" \
      -v cload="$cload" -v ckb="$ckb" 'BEGIN {
      printf "%-8d %-7s | %6.2f %6.2f %7.1f %8.1f %6.1f %4s | %6.3f %6.3f\n", n, lists, load, cpu, kb / 1024, heap,
        heap * 1048576 / n, (canary > 0 ? "hit" : "MISS"), load / cload, kb / ckb }')")
  done
done
if [ ${#wine_rows[@]} -gt 0 ]; then
  echo
  printf '%-16s | %-41s | %s\n' "records lists" " the 32-bit DLL under Wine" " / clamscan"
  printf '%-16s | %6s %6s %7s %8s %6s %4s | %6s %6s\n' "" "load s" "cpu s" "peak MB" "store MB" "B/rec" "" "load" "memory"
  printf '%s\n' "${wine_rows[@]}"
  echo "Under Wine, peak MB is the whole Wine process's; store MB the private memory committed across the load."
fi
echo "load s: wall seconds of the load (the engine's own figure; clamscan's whole run on one small file); cpu s: the"
echo "process's user + system seconds; peak MB: its peak resident memory; store MB: the heap the loaded records hold;"
echo "B/rec: store bytes per hash record (the bodies' share included with hdb+ndb); MB/s: the engine's checks of 16 MB of clean random files with the records loaded"
