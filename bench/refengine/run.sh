#!/usr/bin/env bash
# The reference engine on 1 GB of mixed clean data with 1, 1,000 and 100,000
# signatures, side by side with a raw read of the same files and with
# clamscan given the same signatures in its own .ndb format.
#
#   bench/refengine/run.sh [--short]
#
# --short (CI) uses 8 MB of data: it only shows that everything runs and
# that both scanners find the canary and nothing else. BUILD_DIR (default
# build/) holds bin/bench_refengine.exe and refengine/orlix32.dll.
set -euo pipefail
# Where this machine cannot run 32-bit code (scripts/test.sh says why),
# the test is reported as skipped.
if [ -n "${ORLIX_WINDOWS_SKIP:-}" ]; then echo "skipped: $ORLIX_WINDOWS_SKIP"; exit 77; fi
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=${BUILD_DIR:-$root/build}
megabytes=1024
if [ "${1:-}" = "--short" ]; then megabytes=8; fi
counts=(1 1000 100000)

export WINEPREFIX=${WINEPREFIX:-$build/wineprefix} WINEDEBUG=${WINEDEBUG:--all} WINEARCH=win32
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

have_clam=1
command -v clamscan >/dev/null || have_clam=0
status=0
echo "reference engine benchmark: $((bytes / 1048576)) MB in $files files, $(nproc) CPUs"
printf '%-8s | %-42s | %-41s | %s\n' "records" "reference engine (Wine)" "clamscan (Linux)" "engine"
printf '%-8s | %8s %10s %10s %11s | %8s %10s %12s %7s | %s\n' "" "load s" "MB/s" "raw MB/s" "share raw" "load s" \
  "MB/s" "share raw" "total s" "/ clamscan"
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

  clam_load="-" clam_mbps="-" clam_share="-" clam_total="-" versus="-"
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
    first_clam=${first_clam:-$clam_mbps}
  fi
  first_engine=${first_engine:-$engine_mbps}
  printf '%-8s | %8s %10s %10s %11s | %8s %10s %12s %7s | %s\n' "$count" "${r[load_s]:-?}" "$engine_mbps" \
    "$(mbps "$bytes" "${r[raw_s]:-0}")" "$engine_share" \
    "$clam_load" "$clam_mbps" "$clam_share" "$clam_total" "$versus"
  unset r
done
echo "raw read: under Wine ReadFile in 64 KB calls beside each engine pass; under Linux (cat, the clamscan" \
  "baseline) $(mbps "$bytes" "$linux_raw") MB/s"
echo "throughput at 100,000 records against 1 record: engine $(ratio "$engine_mbps" "$first_engine")" \
  "clamscan $( [ $have_clam = 1 ] && ratio "$clam_mbps" "$first_clam" || echo -)"
[ $have_clam = 1 ] || echo "clamscan is not installed (scripts/setup.sh installs it): its columns are empty"
exit $status
