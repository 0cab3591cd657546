#!/usr/bin/env bash
# The reference engine on 1 GB of mixed clean data with 1, 1,000, 10,000 and
# 100,000 signatures, side by side with a raw read of the same files and
# with clamscan given the same signatures in its own .ndb format: the DLL
# under Wine, and the same core built natively when NATIVE_BUILD_DIR holds
# bench/bench_refengine_native (default build-native-bench/, configured with
# -DORLIX_SANITIZE=OFF -DORLIX_FUZZ=OFF -DCMAKE_BUILD_TYPE=Release).
#
#   bench/refengine/run.sh [--short | --megabytes N]
#
# --short (CI) uses 8 MB of data: it only shows that everything runs and
# that all scanners find the canary and nothing else. BUILD_DIR (default
# build/) holds bin/bench_refengine.exe and refengine/orlix32.dll.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=${BUILD_DIR:-$root/build}
native=${NATIVE_BUILD_DIR:-$root/build-native-bench}/bench/bench_refengine_native
megabytes=1024
if [ "${1:-}" = "--short" ]; then megabytes=8; fi
if [ "${1:-}" = "--megabytes" ]; then megabytes=$2; fi
counts=(1 1000 10000 100000)

. "$root/scripts/wine-env.sh" "$build"
work=$(mktemp -d "${TMPDIR:-/tmp}/bench_refengine.XXXXXX")
trap 'rm -rf "$work"' EXIT

now() { date +%s.%N; }
winpath() { printf 'Z:%s' "${1//\//\\}"; }
# Megabytes per second, and a ratio, from seconds.
mbps() { awk -v b="$1" -v s="$2" 'BEGIN { printf "%.1f", (s > 0 ? b / 1048576 / s : 0) }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }'; }

python3 "$here/bench_data.py" data "$work/data" "$megabytes" 1 >/dev/null
bytes=$(du -sb "$work/data" | cut -f1)
files=$(find "$work/data" -type f | wc -l)

# Linux raw read, warm cache: the baseline for clamscan.
cat "$work/data"/* >/dev/null
t=$(now)
cat "$work/data"/* >/dev/null
linux_raw=$(awk -v a="$t" -v b="$(now)" 'BEGIN { print b - a }')

have_native=1
[ -x "$native" ] || have_native=0
have_clam=1
command -v clamscan >/dev/null || have_clam=0
status=0
echo "reference engine benchmark: $((bytes / 1048576)) MB in $files files, $(nproc) CPUs"
printf '%-7s|%-44s|%-44s|%-33s|%s\n' "records" " reference engine DLL (Wine)" " reference engine core (native)" \
  " clamscan (Linux)" " engine / clamscan"
printf '%-7s|%7s %7s %8s %6s %6s |%7s %7s %8s %6s %6s |%7s %7s %6s %7s |%8s %8s\n' "" "load s" "MB/s" "raw MB/s" \
  "share" "mem MB" "load s" "MB/s" "raw MB/s" "share" "mem MB" "load s" "MB/s" "share" "total s" "Wine" "native"
first_engine=""
first_clam=""
for count in "${counts[@]}"; do
  sigs="$work/sigs$count"
  python3 "$here/bench_data.py" bases "$sigs" "$count" 2
  line=$(wine "$build/bin/bench_refengine.exe" "$(winpath "$work/data")" "$(winpath "$sigs/orlix/bench.vdb")" \
    "$(winpath "$sigs/canary.bin")" </dev/null) || {
    echo "bench_refengine failed for $count records: $line" >&2
    status=1
  }
  declare -A r=()
  for kv in $line; do r[${kv%%=*}]=${kv#*=}; done
  if [ "${r[records]:-}" != "$count" ]; then
    echo "the engine accepted ${r[records]:-no} records of $count" >&2
    status=1
  fi
  engine_mbps=$(mbps "$bytes" "${r[engine_s]:-0}")
  engine_share=$(ratio "${r[raw_s]:-0}" "${r[engine_s]:-0}")

  declare -A n=()
  n_mbps="-" n_share="-" n_raw="-"
  if [ $have_native = 1 ]; then
    nline=$("$native" "$work/data" "$sigs/orlix/bench.vdb" "$sigs/canary.bin" </dev/null) || {
      echo "bench_refengine_native failed for $count records: $nline" >&2
      status=1
    }
    for kv in $nline; do n[${kv%%=*}]=${kv#*=}; done
    n_mbps=$(mbps "$bytes" "${n[engine_s]:-0}")
    n_share=$(ratio "${n[raw_s]:-0}" "${n[engine_s]:-0}")
    n_raw=$(mbps "$bytes" "${n[raw_s]:-0}")
  fi

  clam_load="-" clam_mbps="-" clam_share="-" clam_total="-" versus="-" n_versus="-"
  if [ $have_clam = 1 ]; then
    # Loading alone: a check of the canary, which must be found (exit 1).
    t=$(now)
    rc=0
    clamscan -d "$sigs/clam" --no-summary "$sigs/canary.bin" >"$work/canary.out" 2>&1 || rc=$?
    clam_load=$(awk -v a="$t" -v b="$(now)" 'BEGIN { printf "%.3f", b - a }')
    if [ $rc != 1 ]; then
      echo "clamscan did not report the canary of $count records:" >&2
      cat "$work/canary.out" >&2
      status=1
    fi
    # The data: nothing may be found (exit 0).
    t=$(now)
    rc=0
    clamscan -d "$sigs/clam" --no-summary -r "$work/data" >"$work/data.out" 2>&1 || rc=$?
    clam_total=$(awk -v a="$t" -v b="$(now)" 'BEGIN { printf "%.3f", b - a }')
    if [ $rc != 0 ]; then
      echo "clamscan exit code $rc on the clean data with $count records:" >&2
      grep -v ': OK$' "$work/data.out" | head -5 >&2
      status=1
    fi
    clam_scan=$(awk -v a="$clam_total" -v b="$clam_load" 'BEGIN { s = a - b; print (s > 0.001 ? s : 0.001) }')
    clam_mbps=$(mbps "$bytes" "$clam_scan")
    clam_share=$(ratio "$linux_raw" "$clam_scan")
    versus=$(ratio "$engine_mbps" "$clam_mbps")
    [ $have_native = 1 ] && n_versus=$(ratio "$n_mbps" "$clam_mbps")
    first_clam=${first_clam:-$clam_mbps}
  fi
  first_engine=${first_engine:-$engine_mbps}
  first_native=${first_native:-$n_mbps}
  printf '%-7s|%7s %7s %8s %6s %6s |%7s %7s %8s %6s %6s |%7s %7s %6s %7s |%8s %8s\n' "$count" "${r[load_s]:-?}" \
    "$engine_mbps" "$(mbps "$bytes" "${r[raw_s]:-0}")" "$engine_share" "${r[heap_mb]:-?}" \
    "${n[load_s]:--}" "$n_mbps" "$n_raw" "$n_share" "${n[heap_mb]:--}" \
    "$clam_load" "$clam_mbps" "$clam_share" "$clam_total" "$versus" "$n_versus"
  unset r n
done
echo "share: engine throughput / raw read of the same files in the same process (ReadFile or read, 64 KB calls," \
  "beside each engine pass); mem MB: memory the loaded base holds; clamscan's share is against cat" \
  "($(mbps "$bytes" "$linux_raw") MB/s)"
echo "throughput at 100,000 records against 1 record: engine DLL $(ratio "$engine_mbps" "$first_engine")" \
  "native $( [ $have_native = 1 ] && ratio "$n_mbps" "$first_native" || echo -)" \
  "clamscan $( [ $have_clam = 1 ] && ratio "$clam_mbps" "$first_clam" || echo -)"
[ $have_native = 1 ] || echo "no native build at $native: its columns are empty"
[ $have_clam = 1 ] || echo "clamscan is not installed (scripts/setup.sh installs it): its columns are empty"
exit $status
