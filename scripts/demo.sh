#!/usr/bin/env bash
# The main job: sets the machine up, builds, installs the reference engine
# and its bases with the plug-in's settings into the build tree's private
# Wine prefix, then checks a sample set made on the spot (or the files
# given) with bavhost through the real plug-in, and prints the report log.
#
#   scripts/demo.sh                 set up, build, check the sample set
#   scripts/demo.sh FILE...         the same, checking your own files
#   --no-setup / --no-build         skip those steps
#   --assert                        compare every verdict with the expected one
#   --engine clamd                  the clamd bridge against a private clamd
#                                   (scripts/clamd-test-server.sh) instead
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
setup=1 compile=1 assert=0 engine=reference
while [ $# -gt 0 ]; do
  case $1 in
    --no-setup) setup=0 ;;
    --no-build) compile=0 ;;
    --assert) assert=1 ;;
    --engine) engine=${2:-}; shift; [[ $engine = reference || $engine = clamd ]] || { echo "demo: --engine reference|clamd" >&2; exit 2; } ;;
    --help) sed -n '2,14p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    --) shift; break ;;
    -*) echo "demo: unknown option $1" >&2; exit 2 ;;
    *) break ;;
  esac
  shift
done

if [ $setup = 1 ]; then
  if [ "$(id -u)" = 0 ]; then "$root/scripts/setup.sh"; else sudo "$root/scripts/setup.sh"; fi
fi
if [ $compile = 1 ]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-i686-mingw.cmake" >/dev/null
  cmake --build "$build" --target orlix orlix32 clamdengine bavhost
fi

# Everything after this point runs the 32-bit plug-in under Wine.
if [ -n "${ORLIX_WINDOWS_SKIP:-}" ]; then
  reason=$ORLIX_WINDOWS_SKIP
else
  reason=$("$root/scripts/probe-i386.sh") && reason=
fi
if [ -n "$reason" ]; then
  cat >&2 <<MSG
demo: cannot run the plug-in here: $reason.
Wine needs a machine that runs 32-bit x86 code to load the 32-bit plug-in.
What was built works on Windows, or on a Linux machine with 32-bit support:
  $build/bin/orlix.bav            the plug-in
  $build/refengine/orlix32.dll    the reference engine (with default.vdb)
  $build/clamd-engine/orlix32.dll the clamd bridge (with a clamd.vdb: docs/CLAMD_BRIDGE.md)
  $build/bin/bavhost.exe          the command-line host
MSG
  exit 77
fi

# The plug-in's windows need a display; without one, run the rest under Xvfb.
if [ -z "${DISPLAY:-}" ]; then
  flags=(--no-setup --no-build --engine "$engine")
  [ $assert = 1 ] && flags+=(--assert)
  DEMO_OWN_DISPLAY=1 exec xvfb-run -a -s "-screen 0 1280x1024x24" "$0" "${flags[@]}" -- "$@"
fi

. "$root/scripts/wine-env.sh" "$build"
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "demo: creating the Wine prefix $WINEPREFIX"
  wineboot -i >/dev/null 2>&1 </dev/null || true
  wineserver -w || true
fi
# Wine's background services start with the first program and keep its
# output open; start them with a throwaway one, away from our pipes.
wine cmd /c exit >/dev/null 2>&1 </dev/null || true
# Let Wine finish before our own display goes away, so it leaves quietly.
if [ "${DEMO_OWN_DISPLAY:-}" = 1 ]; then trap 'wineserver -w >/dev/null 2>&1 || true' EXIT; fi
bavhost() { wine "$build/bin/bavhost.exe" --no-progress "$@"; }

# Installation: engine, default base and the demonstration base in C:\Orlix.
install_dir=$WINEPREFIX/drive_c/Orlix
mkdir -p "$install_dir"
rm -f "$install_dir"/*.vdb
if [ "$engine" = clamd ]; then
  # The bridge's only base is its configuration: the private clamd's address.
  clamd_dir=$build/demo-clamd
  port=$("$root/scripts/clamd-test-server.sh" start "$clamd_dir")
  trap '"$root/scripts/clamd-test-server.sh" stop "$clamd_dir"; [ "${DEMO_OWN_DISPLAY:-}" != 1 ] || wineserver -w >/dev/null 2>&1 || true' EXIT
  cp "$build/clamd-engine/orlix32.dll" "$install_dir/"
  printf 'server 127.0.0.1:%s\nconnect-timeout 2s\nreply-timeout 30s\n' "$port" >"$install_dir/clamd.vdb"
  echo "demo: the clamd bridge against a private clamd on 127.0.0.1:$port"
else
  cp "$build/refengine/orlix32.dll" "$root/engines/reference/bases/default.vdb" \
     "$root/engines/reference/bases/demo.vdb" "$install_dir/"
fi
bavhost config 'OrlixPath=C:\Orlix' ShowAdvanced=0 LogEnabled=1 LogEventsOnly=0 CheckArchives=1 \
  SoundInfected=0 SoundIncurable=0
log=$install_dir/orxbat!.log
log_start=$(stat -c %s "$log" 2>/dev/null || echo 0)
show_log() {
  echo
  echo "=== report log ($(winpath "$log"))"
  tail -c +$((log_start + 1)) "$log" | tr -d '\r'
}

if [ $# -gt 0 ]; then
  files=()
  for f in "$@"; do files+=("$(winpath "$f")"); done
  status=0
  bavhost check "${files[@]}" || status=$?
  show_log
  exit $status
fi

samples=$build/demo-samples
rm -rf "$samples"
mapfile -t manifest < <(python3 "$root/scripts/make_samples.py" --engine "$engine" "$samples")
echo "demo: sample set in $samples"
echo

# Consecutive entries of one kind go to one bavhost run; every run prints a
# line per object whose first field after the name is the result code.
verdicts=()
run_group() {
  local kind=$1
  shift
  local args=() out
  case $kind in
    file) args=(check) ;;
    memory) args=(check --memory) ;;
    cure) args=(cure) ;;
  esac
  args+=("$@")
  # Run inside the sample folder: the verdict lines then show bare names.
  out=$(cd "$samples" && bavhost "${args[@]}" | tr -d '\r') || true
  printf '%-7s %s\n' "[$kind]" "${out//$'\n'/$'\n'        }"
  while IFS= read -r line; do
    case $line in
      BAV_Initialize:*) ;;
      *) line=${line##*: }; verdicts+=("${line%% *}") ;;
    esac
  done <<<"$out"
}
group_kind='' group_files=()
for entry in "${manifest[@]}"; do
  IFS=$'\t' read -r _ kind name <<<"$entry"
  if [ "$kind" != "$group_kind" ] || [ "$kind" = cure ] || [[ " ${group_files[*]-} " == *" $name "* ]]; then
    [ -n "$group_kind" ] && run_group "$group_kind" "${group_files[@]}"
    group_kind=$kind group_files=()
  fi
  group_files+=("$name")
done
run_group "$group_kind" "${group_files[@]}"
show_log

if [ $assert = 1 ]; then
  failures=0
  for i in "${!manifest[@]}"; do
    IFS=$'\t' read -r expected kind name <<<"${manifest[$i]}"
    got=${verdicts[$i]-none}
    if [ "$got" != "$expected" ]; then
      echo "demo: $kind $name: expected $expected, got $got" >&2
      failures=$((failures + 1))
    fi
  done
  echo
  if [ $failures -gt 0 ]; then
    echo "demo: $failures of ${#manifest[@]} verdicts differ from the expected ones" >&2
    exit 1
  fi
  echo "demo: all ${#manifest[@]} verdicts as expected"
fi
