#!/usr/bin/env bash
# The reference engine on 1 GB of mixed clean data with 1, 1,000, 10,000 and
# 100,000 signatures, side by side with a raw read of the same files and
# with clamscan given the same signatures in its own .ndb format: the DLL
# under Wine, and the same core built natively when NATIVE_BUILD_DIR holds
# bench/bench_refengine_native (default build-native-bench/, configured with
# -DORLIX_SANITIZE=OFF -DORLIX_FUZZ=OFF -DCMAKE_BUILD_TYPE=Release).
#
#   bench/refengine/run.sh [--short | --megabytes N] [--paths "scalar sse2 ssse3 avx2"]
#
# --short (CI) uses 8 MB of data: it only shows that everything runs and
# that all scanners find the canary and nothing else. --paths runs the
# engine once for each named filter path (ORLIX_MATCHER_PATH) instead of
# once with the process's own choice. Besides the mixed data, a quarter of
# its size of long runs of one byte is checked by each engine run. BUILD_DIR
# (default build/) holds bin/bench_refengine.exe and refengine/orlix32.dll.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=${BUILD_DIR:-$root/build}
native=${NATIVE_BUILD_DIR:-$root/build-native-bench}/bench/bench_refengine_native
megabytes=1024
paths=(own)
while [ $# -gt 0 ]; do
  case "$1" in
    --short) megabytes=8 ;;
    --megabytes) megabytes=$2; shift ;;
    --paths) read -r -a paths <<<"$2"; shift ;;
    *) echo "unknown option $1" >&2; exit 2 ;;
  esac
  shift
done
counts=(1 1000 10000 100000)

. "$root/scripts/wine-env.sh" "$build"
work=$(mktemp -d "${TMPDIR:-/tmp}/bench_refengine.XXXXXX")
trap 'rm -rf "$work"' EXIT

now() { date +%s.%N; }
# Megabytes per second, and a ratio, from seconds.
mbps() { awk -v b="$1" -v s="$2" 'BEGIN { printf "%.1f", (s > 0 ? b / 1048576 / s : 0) }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }'; }

python3 "$here/bench_data.py" data "$work/data" "$megabytes" 1 >/dev/null
python3 "$here/bench_data.py" runs "$work/runs" $(((megabytes + 3) / 4)) 1 >/dev/null
bytes=$(du -sb "$work/data" | cut -f1)
runs_bytes=$(du -sb "$work/runs" | cut -f1)
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
printf '%-7s %-6s|%-44s|%-44s|%-33s|%s\n' "records" "path" " reference engine DLL (Wine)" \
  " reference engine core (native)" " clamscan (Linux)" " engine / clamscan"
printf '%-14s|%7s %7s %8s %6s %6s |%7s %7s %8s %6s %6s |%7s %7s %6s %7s |%8s %8s\n' "" "load s" "MB/s" "raw MB/s" \
  "share" "mem MB" "load s" "MB/s" "raw MB/s" "share" "mem MB" "load s" "MB/s" "share" "total s" "Wine" "native"
runs_rows=()
first_engine=""
first_clam=""
# One engine run: the Wine DLL or the native core on a folder, with the
# filter path forced unless it is the process's own choice. The key=value
# line; under Wine the path comes from the engine's debugger output.
engine_run() {
  local where=$1 folder=$2 sigs=$3 path=$4
  local -a forced=()
  [ "$path" = own ] || forced=(ORLIX_MATCHER_PATH="$path")
  if [ "$where" = wine ]; then
    env "${forced[@]}" WINEDEBUG=-all,warn+debugstr wine "$build/bin/bench_refengine.exe" "$(winpath "$folder")" \
      "$(winpath "$sigs/orlix/bench.vdb")" "$(winpath "$sigs/canary.bin")" </dev/null 2>"$work/wine.err" || {
      grep -v debugstr "$work/wine.err" >&2
      return 1
    }
    printf ' path=%s\n' "$(grep -o 'matcher filter: [a-z0-9]*' "$work/wine.err" | head -1 | cut -d' ' -f3)"
  else
    env "${forced[@]}" "$native" "$folder" "$sigs/orlix/bench.vdb" "$sigs/canary.bin" </dev/null
  fi
}
for count in "${counts[@]}"; do
  sigs="$work/sigs$count"
  python3 "$here/bench_data.py" bases "$sigs" "$count" 2

  clam_load="-" clam_mbps="-" clam_share="-" clam_total="-"
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
    first_clam=${first_clam:-$clam_mbps}
  fi

  for path in "${paths[@]}"; do
    declare -A r=() n=() rr=() nr=()
    line=$(engine_run wine "$work/data" "$sigs" "$path") || {
      echo "bench_refengine failed for $count records ($path): $line" >&2
      status=1
    }
    for kv in $line; do r[${kv%%=*}]=${kv#*=}; done
    if [ "${r[records]:-}" != "$count" ]; then
      echo "the engine accepted ${r[records]:-no} records of $count" >&2
      status=1
    fi
    line=$(engine_run wine "$work/runs" "$sigs" "$path") || status=1
    for kv in $line; do rr[${kv%%=*}]=${kv#*=}; done
    engine_mbps=$(mbps "$bytes" "${r[engine_s]:-0}")
    engine_share=$(ratio "${r[raw_s]:-0}" "${r[engine_s]:-0}")
    runs_mbps=$(mbps "$runs_bytes" "${rr[engine_s]:-0}")

    n_mbps="-" n_share="-" n_raw="-" n_runs="-"
    if [ $have_native = 1 ]; then
      nline=$(engine_run native "$work/data" "$sigs" "$path") || {
        echo "bench_refengine_native failed for $count records ($path): $nline" >&2
        status=1
      }
      for kv in $nline; do n[${kv%%=*}]=${kv#*=}; done
      nline=$(engine_run native "$work/runs" "$sigs" "$path") || status=1
      for kv in $nline; do nr[${kv%%=*}]=${kv#*=}; done
      n_mbps=$(mbps "$bytes" "${n[engine_s]:-0}")
      n_share=$(ratio "${n[raw_s]:-0}" "${n[engine_s]:-0}")
      n_raw=$(mbps "$bytes" "${n[raw_s]:-0}")
      n_runs=$(mbps "$runs_bytes" "${nr[engine_s]:-0}")
    fi
    versus="-" n_versus="-"
    if [ $have_clam = 1 ]; then
      versus=$(ratio "$engine_mbps" "$clam_mbps")
      [ $have_native = 1 ] && n_versus=$(ratio "$n_mbps" "$clam_mbps")
    fi
    # The path column names the DLL's path; the native one follows it
    # unless this machine lacks it there.
    shown=${r[path]:-?}
    [ "${n[path]:-$shown}" = "$shown" ] || shown="$shown/${n[path]}"
    first_engine=${first_engine:-$engine_mbps}
    first_native=${first_native:-$n_mbps}
    printf '%-7s %-6s|%7s %7s %8s %6s %6s |%7s %7s %8s %6s %6s |%7s %7s %6s %7s |%8s %8s\n' "$count" "$shown" \
      "${r[load_s]:-?}" "$engine_mbps" "$(mbps "$bytes" "${r[raw_s]:-0}")" "$engine_share" "${r[heap_mb]:-?}" \
      "${n[load_s]:--}" "$n_mbps" "$n_raw" "$n_share" "${n[heap_mb]:--}" \
      "$clam_load" "$clam_mbps" "$clam_share" "$clam_total" "$versus" "$n_versus"
    runs_rows+=("$(printf '%-7s %-6s| %8s %6s | %8s %6s' "$count" "$shown" "$runs_mbps" \
      "$(ratio "$runs_mbps" "$engine_mbps")" "$n_runs" "$(ratio "$n_runs" "$n_mbps")")")
    unset r n rr nr
  done
done
echo "share: engine throughput / raw read of the same files in the same process (ReadFile or read, 64 KB calls," \
  "beside each engine pass); mem MB: memory the loaded base holds; clamscan's share is against cat" \
  "($(mbps "$bytes" "$linux_raw") MB/s)"
echo "throughput at 100,000 records against 1 record: engine DLL $(ratio "$engine_mbps" "$first_engine")" \
  "native $( [ $have_native = 1 ] && ratio "$n_mbps" "$first_native" || echo -)" \
  "clamscan $( [ $have_clam = 1 ] && ratio "$clam_mbps" "$first_clam" || echo -)"
echo "long runs of one byte ($((runs_bytes / 1048576)) MB): MB/s and against the mixed data of the same row (goal >= 0.5)"
printf '%-14s| %8s %6s | %8s %6s\n' "records path" "Wine" "/mixed" "native" "/mixed"
printf '%s\n' "${runs_rows[@]}"
[ $have_native = 1 ] || echo "no native build at $native: its columns are empty"
[ $have_clam = 1 ] || echo "clamscan is not installed (scripts/setup.sh installs it): its columns are empty"
exit $status
