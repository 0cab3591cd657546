#!/usr/bin/env bash
# Runs one fuzz target for a bounded time over its seeds, its saved
# regression inputs and what earlier runs of this build tree found.
# Usage: run_fuzzer.sh TARGET SEEDS REGRESSIONS SECONDS WORK [libFuzzer flags]
set -euo pipefail
target=$1 seeds=$2 regressions=$3 seconds=$4 work=$5
shift 5
mkdir -p "$work/corpus" "$work/artifacts"
# New finds go to the first folder; a crashing input is kept in artifacts/.
exec "$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
  -artifact_prefix="$work/artifacts/" "$@" "$work/corpus" "$seeds" "$regressions"
