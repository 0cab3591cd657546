#!/usr/bin/env bash
# Loading the open hash databases: the reference engine's native core and
# clamscan side by side on the same synthetic .hdb lists of 1 M and 3.3 M
# records (one run, ratios printed; no timed test). Needs the native tier
# built without sanitizers in build-native-bench/ (bench_refengine_native)
# and Debian's clamav.
#
#   bench/clamdb/run.sh [RECORDS...]     default: 1000000 3300000
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
native=${NATIVE_BUILD_DIR:-$root/build-native-bench}/bench/bench_refengine_native
counts=("$@")
[ ${#counts[@]} -gt 0 ] || counts=(1000000 3300000)
work=$(mktemp -d "${TMPDIR:-/tmp}/bench_clamdb.XXXXXX")
trap 'rm -rf "$work"' EXIT
# Peak resident kilobytes and wall seconds of a command, from GNU time.
measure() { /usr/bin/time -f '%M %e' -o "$work/time" "$@" >"$work/out" 2>"$work/err" || true; cat "$work/time"; }

printf '%-9s | %-40s | %-30s | %s\n' records " reference engine (native)" " clamscan" " engine / clamscan"
printf '%-9s | %7s %8s %8s %7s %6s | %7s %8s %6s %4s | %6s %6s\n' "" "load s" "peak MB" "store MB" "B/rec" "MB/s" \
  "load s" "peak MB" "MB/s" "hit" "load" "memory"
for n in "${counts[@]}"; do
  d=$work/$n
  python3 "$here/bench_data.py" "$d" "$n"
  printf 'database %s/bench.hdb\n' "$d" >"$d/bench.vdb"
  read -r kb _ < <(measure "$native" "$d/data" "$d/bench.vdb" "$d/canary.bin")
  line=$(grep records= "$work/out")
  get() { sed -n "s/.* $1=\([^ ]*\).*/\1/p" <<<" $line"; }
  load=$(get load_s); heap=$(get heap_mb); engine=$(get engine_s); bytes=$(get bytes); canary=$(get canary)
  # clamscan: its load alone (the canary), then the load and the data.
  read -r ckb cload < <(measure clamscan --no-summary -d "$d/bench.hdb" "$d/canary.bin")
  chit=$(grep -c FOUND "$work/out" || true)
  read -r _ ctotal < <(measure clamscan --no-summary -d "$d/bench.hdb" -r "$d/data")
  awk -v n="$n" -v load="$load" -v kb="$kb" -v heap="$heap" -v engine="$engine" -v bytes="$bytes" \
      -v cload="$cload" -v ckb="$ckb" -v ctotal="$ctotal" -v canary="$canary" -v chit="$chit" 'BEGIN {
    mb = bytes / 1048576; cscan = ctotal - cload; if (cscan <= 0) cscan = 0.001
    printf "%-9d | %7.2f %8.1f %8.1f %7.1f %6.0f | %7.2f %8.1f %6.0f %4s | %6.3f %6.3f\n", n, load, kb / 1024,
      heap, heap * 1048576 / n, mb / engine, cload, ckb / 1024, mb / cscan, (canary > 0 && chit > 0 ? "both" : "MISS"),
      load / cload, (kb / 1024) / (ckb / 1024)
  }'
done
echo "peak MB: the process's peak resident memory; store MB: the heap the loaded records hold; B/rec: store bytes per"
echo "record; MB/s: checks of 16 MB of clean random files with the records loaded (clamscan: total minus its load)"
