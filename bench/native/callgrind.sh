#!/usr/bin/env bash
# Instructions per byte of the engine's checks, counted by callgrind on the
# native build: a steady figure on a shared machine, where times are not.
#
#   bench/native/callgrind.sh [megabytes]     (default 32)
#
# Same kind of data and records as bench/refengine/run.sh, with 1, 1,000,
# 10,000 and 100,000 records, once for each filter path (PATHS, default all
# four; a path the processor lacks runs as the best one it has, and the
# line says so). The benchmark checks the data three times: the figures are
# for one pass. NATIVE_BUILD_DIR (default build-native-bench/) holds
# bench/bench_refengine_native, built with -gdwarf-4 so valgrind reads it.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
native=${NATIVE_BUILD_DIR:-$root/build-native-bench}/bench/bench_refengine_native
megabytes=${1:-32}
work=$(mktemp -d "${TMPDIR:-/tmp}/bench_callgrind.XXXXXX")
trap 'rm -rf "$work"' EXIT

python3 "$root/bench/refengine/bench_data.py" data "$work/data" "$megabytes" 1 >/dev/null
bytes=$(du -sb "$work/data" | cut -f1)
echo "callgrind, checks only (ScanAll), $((bytes / 1048576)) MB of the benchmark's data"
for count in 1 1000 10000 100000; do
  python3 "$root/bench/refengine/bench_data.py" bases "$work/sigs$count" "$count" 2
  for path in ${PATHS:-scalar sse2 ssse3 avx2}; do
    ORLIX_MATCHER_PATH=$path valgrind --tool=callgrind --callgrind-out-file="$work/out" --toggle-collect='*ScanAll*' \
      "$native" "$work/data" "$work/sigs$count/orlix/bench.vdb" "$work/sigs$count/canary.bin" >"$work/line" 2>"$work/log"
    ir=$(grep -o 'refs: *[0-9,]*' "$work/log" | tr -d ', ' | cut -d: -f2)
    ran=$(grep -o 'path=[a-z0-9]*' "$work/line" | cut -d= -f2)
    awk -v c="$count" -v p="$ran" -v i="$ir" -v b="$bytes" \
      'BEGIN { printf "%-7s records, %-6s: %14d instructions, %.2f per byte\n", c, p, i / 3, i / 3 / b }'
  done
done
