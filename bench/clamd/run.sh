#!/usr/bin/env bash
# The clamd bridge through the plug-in (bavhost check under Wine) and alone
# (bench_clamd.exe, timed inside its process) side by side with clamdscan
# --stream against the same private clamd, and with clamscan on the same
# signatures, over the same files: small attachments (1 to 100 KB) and a
# few 10 MB files.
#
#   bench/clamd/run.sh [--short]
#
# Per-object cost: a run over all small files minus a run over one, divided
# by the files beyond the first (each tool's start-up cancels out). Each
# figure is the best of five rounds that run every tool in turn. --short
# (CI) uses few files and only shows that everything runs and every
# verdict is right.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=${BUILD_DIR:-$root/build}
small=300 large=3 rounds=5
if [ "${1:-}" = "--short" ]; then small=20 large=1 rounds=1; fi

. "$root/scripts/wine-env.sh" "$build"
work=$(mktemp -d "${TMPDIR:-/tmp}/bench_clamd.XXXXXX")
server=$work/clamd
trap '"$root/scripts/clamd-test-server.sh" stop "$server"; rm -rf "$work"' EXIT

python3 - "$work" "$small" "$large" <<'PY'
import os, random, sys
work, small, large = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
rng = random.Random(12)
words = b"the minutes of Tuesday meeting are attached please find report budget draft".split()
def text(size):
    out = bytearray()
    while len(out) < size:
        out += rng.choice(words) + (b"\r\n" if rng.random() < 0.1 else b" ")
    return bytes(out[:size])
for folder in ("small", "large", "one"):
    os.makedirs(os.path.join(work, folder))
for i in range(small):
    size = rng.randint(1024, 100 * 1024)
    data = text(size) if i % 2 else rng.randbytes(size)
    open(os.path.join(work, "small", "a%04d.bin" % i), "wb").write(data)
for i in range(large):
    open(os.path.join(work, "large", "b%d.bin" % i), "wb").write(rng.randbytes(10 << 20))
open(os.path.join(work, "one", "one.txt"), "wb").write(b"one small attachment\r\n")
open(os.path.join(work, "canary.bin"), "wb").write(text(5000) + b"ORLIX-CLAMD-TEST-BODY-RECORD")
PY

port=$("$root/scripts/clamd-test-server.sh" start "$server")
install=$WINEPREFIX/drive_c/OrlixBench
mkdir -p "$install"
rm -f "$install"/*.vdb
cp "$build/clamd-engine/orlix32.dll" "$install/"
printf 'server 127.0.0.1:%s\n' "$port" >"$install/clamd.vdb"
# The same server with one connection per object, for the bridge-alone comparison
# (outside the bases folder, so that the plug-in does not read it).
mkdir -p "$install/per-connection"
printf 'server 127.0.0.1:%s\nsession-idle off\n' "$port" >"$install/per-connection/clamd.vdb"
bavhost() { wine "$build/bin/bavhost.exe" --no-progress "$@" </dev/null; }
bavhost config 'OrlixPath=C:\OrlixBench' LogEnabled=0 NotifyVirus=0 NotifyError=0 SoundInfected=0 >/dev/null
wine cmd /c exit >/dev/null 2>&1 </dev/null || true

winfiles() { for f in "$@"; do p=$(realpath "$f"); printf 'Z:%s\n' "${p//\//\\}"; done; }
now() { date +%s.%N; }
status=0
# Seconds of one run of a command; its exit status must be the expected one.
timed() {
  local expect=$1 rc=0 t
  shift
  t=$(now)
  "$@" >"$work/out" 2>&1 || rc=$?
  awk -v a="$t" -v b="$(now)" 'BEGIN { print b - a }'
  if [ "$rc" != "$expect" ]; then
    echo "bench_clamd: $1 ... exit $rc, expected $expect:" >&2
    grep -v -e ': OK$' -e ': 0 clean' "$work/out" | head -5 >&2
    touch "$work/failed"  # timed runs in a subshell: its status would be lost
  fi
}
least() { awk -v a="${1:-$2}" -v b="$2" 'BEGIN { print (b < a ? b : a) }'; }
# The bridge alone: seconds measured inside the process (the field after
# its name on the given line of bench_clamd's output).
inside() { echo "$1" | sed -n "$2s/.* $3=\([0-9.]*\).*/\1/p"; }
mapfile -t small_win < <(winfiles "$work"/small/*)
mapfile -t large_win < <(winfiles "$work"/large/*)
one_win=$(winfiles "$work/one/one.txt")
conf=$server/clamd.conf

# Every tool must find the canary.
timed 1 bavhost check "$(winfiles "$work/canary.bin")" >/dev/null
timed 1 clamdscan --config-file="$conf" --stream --no-summary "$work/canary.bin" >/dev/null
timed 1 clamscan -d "$server/db" --no-summary "$work/canary.bin" >/dev/null

# Each round runs every tool once, so that the load of this shared machine
# falls on all of them alike; each figure is the best of the rounds. The
# bridge alone runs with a session and with one connection per object.
for _ in $(seq "$rounds"); do
  b_one=$(least "${b_one:-}" "$(timed 0 bavhost check "$one_win")")
  b_small=$(least "${b_small:-}" "$(timed 0 bavhost check "${small_win[@]}")")
  b_large=$(least "${b_large:-}" "$(timed 0 bavhost check "${large_win[@]}")")
  c_one=$(least "${c_one:-}" "$(timed 0 clamdscan --config-file="$conf" --stream --no-summary "$work/one/one.txt")")
  c_small=$(least "${c_small:-}" "$(timed 0 clamdscan --config-file="$conf" --stream --no-summary "$work"/small/*)")
  c_large=$(least "${c_large:-}" "$(timed 0 clamdscan --config-file="$conf" --stream --no-summary "$work"/large/*)")
  s_one=$(least "${s_one:-}" "$(timed 0 clamscan -d "$server/db" --no-summary "$work/one/one.txt")")
  s_small=$(least "${s_small:-}" "$(timed 0 clamscan -d "$server/db" --no-summary "$work"/small/*)")
  s_large=$(least "${s_large:-}" "$(timed 0 clamscan -d "$server/db" --no-summary "$work"/large/*)")
  rc=0
  lines=$(wine "$build/bin/bench_clamd.exe" 'C:\OrlixBench\clamd.vdb' "$(winfiles "$work/small")" \
    "$(winfiles "$work/large")" </dev/null) || rc=$?
  if [ $rc != 0 ]; then echo "bench_clamd: exit $rc: $lines" >&2; status=1; fi
  e_small=$(least "${e_small:-}" "$(inside "$lines" 1 seconds)")
  e_large=$(least "${e_large:-}" "$(inside "$lines" 2 seconds)")
  r_small=$(least "${r_small:-}" "$(inside "$lines" 1 read_seconds)")
  rc=0
  lines=$(wine "$build/bin/bench_clamd.exe" 'C:\OrlixBench\per-connection\clamd.vdb' "$(winfiles "$work/small")" \
    </dev/null) || rc=$?
  if [ $rc != 0 ]; then echo "bench_clamd: exit $rc: $lines" >&2; status=1; fi
  p_small=$(least "${p_small:-}" "$(inside "$lines" 1 seconds)")
done

small_bytes=$(du -cb "$work"/small/* | tail -1 | cut -f1)
large_bytes=$(du -cb "$work"/large/* | tail -1 | cut -f1)
per() { awk -v all="$1" -v one="$2" -v n="$small" 'BEGIN { printf "%.3f", (n > 1 ? (all - one) / (n - 1) * 1000 : 0) }'; }
mbps() { awk -v all="$1" -v one="$2" -v b="$large_bytes" 'BEGIN { s = all - one; printf "%.1f", (s > 0 ? b / 1048576 / s : 0) }'; }
e_per=$(awk -v s="$e_small" -v n="$small" 'BEGIN { printf "%.3f", s / n * 1000 }')
e_mb=$(mbps "$e_large" 0)
p_per=$(awk -v s="$p_small" -v n="$small" 'BEGIN { printf "%.3f", s / n * 1000 }')
r_per=$(awk -v s="$r_small" -v n="$small" 'BEGIN { printf "%.3f", s / n * 1000 }')
b_per=$(per "$b_small" "$b_one") c_per=$(per "$c_small" "$c_one") s_per=$(per "$s_small" "$s_one")
b_mb=$(mbps "$b_large" "$b_one") c_mb=$(mbps "$c_large" "$c_one") s_mb=$(mbps "$s_large" "$s_one")

echo "clamd bridge benchmark: $small small files ($((small_bytes / 1024)) KB), $large files of 10 MB, best of $rounds, $(nproc) CPUs"
printf '%-34s %14s %16s %14s\n' "" "ms per object" "10 MB files MB/s" "start-up s"
printf '%-34s %14s %16s %14s\n' "bavhost check (plug-in + bridge)" "$b_per" "$b_mb" "$b_one"
printf '%-34s %14s %16s %14s\n' "bridge alone (bench_clamd, Wine)" "$e_per" "$e_mb" "-"
printf '%-34s %14s %16s %14s\n' "  ... one connection per object" "$p_per" "-" "-"
printf '%-34s %14s %16s %14s\n' "  host file reads alone (Wine)" "$r_per" "-" "-"
printf '%-34s %14s %16s %14s\n' "clamdscan --stream" "$c_per" "$c_mb" "$c_one"
printf '%-34s %14s %16s %14s\n' "clamscan (same signatures)" "$s_per" "$s_mb" "$s_one"
awk -v b="$b_per" -v e="$e_per" -v p="$p_per" -v c="$c_per" -v bm="$b_mb" -v em="$e_mb" -v cm="$c_mb" 'BEGIN {
  printf "overhead per object over clamdscan --stream: through the plug-in %.3f ms, bridge alone %.3f ms, one connection per object %.3f ms (goal < 0.5 ms)\n", b - c, e - c, p - c
  printf "throughput on 10 MB objects / clamdscan --stream: through the plug-in %.2f, bridge alone %.2f (goal >= 0.9)\n", (cm > 0 ? bm / cm : 0), (cm > 0 ? em / cm : 0) }'
if [ -e "$work/failed" ]; then status=1; fi
exit $status
