#!/usr/bin/env bash
# Walks through every page of the installer and the uninstaller under Wine
# and Xvfb, as a user would, and saves a screenshot of each into OUT_DIR
# (docs/install by default). Needs the artefacts of scripts/package.sh.
# The ctest entry installer_pages runs it into the build tree: it checks
# the Test button's answers, the server syntax check, the finish page's
# path, Retry/Cancel at a held orlix.bav (exit code 3) and the uninstaller;
# for ClamAV's databases the folder offered, the check of a folder and the
# question for one without databases.
#   xvfb-run -a -s "-screen 0 1280x1024x24" tests/installer/screenshots.sh [BUILD_DIR] [OUT_DIR]
# Each page is awaited by its text: a page that does not come up ends the
# walk with an error naming it.
set -euo pipefail
out=$(realpath -m "${2:-$(dirname "$0")/../../docs/install}")
. "$(dirname "$0")/common.sh" "${1:-$(dirname "$0")/../../build}"
drive="$build/installer/test/drive_window.exe"
title="Orlix for TheBAT!"
work=$(mktemp -d "$build/installer-shots.XXXXXX")
mkdir -p "$out"
local_app_data=$(wine cmd /c echo %LOCALAPPDATA% </dev/null 2>/dev/null | tr -d '\r')
installed=$(winepath -u "$local_app_data")/Programs/Orlix

"$root/scripts/clamd-test-server.sh" start "$work/clamd" >"$work/port"
cleanup() {
  "$root/scripts/clamd-test-server.sh" stop "$work/clamd" >/dev/null 2>&1 || true
  [ -z "${holder:-}" ] || { touch "$work/release"; wait "$holder" 2>/dev/null || true; }
  restore_prefix
  rm -rf "$installed" "$work"
}
trap cleanup EXIT
forget_installation
rm -rf "$installed"

drive() { wine "$drive" "$@" </dev/null >/dev/null 2>&1; }
await() {
  drive wait "$title" "$1" && return 0
  import -window root "$work/../installer-shots-failed.png"
  echo "screenshots: no page showing \"$1\" (the screen: $build/installer-shots-failed.png)" >&2
  exit 1
}
click() { drive click "$title" "$1" || { echo "screenshots: no button \"$1\"" >&2; exit 1; }; }
# Answers a message box showing TEXT with BUTTON, and waits until it is gone.
answer() {
  click "$2"
  drive closed "$title" "$1" || { echo "screenshots: \"$1\" is still showing" >&2; exit 1; }
}
settext() { drive settext "$title" "$1" "$2" || { echo "screenshots: no control $1" >&2; exit 1; }; }
# The screen holds only the installer's windows: trimmed, that is the shot.
shot() {
  sleep 0.5
  import -window root png:- | convert - -trim +repage "$out/$1.png"
  echo "screenshots: $out/$1.png"
}

port=$(cat "$work/port")
unused=$(free_port)
wine 'C:\orlix-installer-test\setup.exe' </dev/null >/dev/null 2>&1 &
first=$!
await "This installs the Orlix"
shot setup-1-welcome
click "#1"
await "Destination Folder"
shot setup-2-folder
click "#1"
await "Reference engine"
shot setup-3-engine-reference
click "ClamAV's signature database, no server"
# Without ClamAV's DataDir in the registry, its default folder.
await 'C:\Program Files\ClamAV\database'
shot setup-3-engine-clamav-db
click "#1"
await "holds no ClamAV database yet"
shot setup-3-engine-clamav-db-missing
answer "holds no ClamAV database yet" "No"
settext Edit:1 'ClamAV\database'
click "#1"
await "must be a full path"
answer "must be a full path" "OK"
settext Edit:1 'C:\Program Files\ClamAV\database'
click "ClamAV's clamd server (the clamd bridge)"
settext Edit:2 "127.0.0.1:$port, 127.0.0.1:$unused"
click "Test"
await "PONG"
shot setup-4-engine-clamd-test
settext Edit:2 "127.0.0.1"
click "#1"
await "is not a server"
shot setup-5-engine-bad-server
answer "is not a server" "OK"
settext Edit:2 "127.0.0.1:$port"
click "#1"
await "Completed"
shot setup-6-progress
click "#1"
# The finish page names the plug-in by its full path.
await "$local_app_data\\Programs\\Orlix\\orlix.bav"
shot setup-7-finish
click "#1"
rc=0
wait "$first" || rc=$?
[ $rc = 0 ] || { echo "screenshots: the installation ended with $rc" >&2; exit 1; }

# An upgrade while the mail client holds the plug-in.
wine "$build/installer/test/hold_file.exe" "$(echo "Z:${installed//\//\\}\\orlix.bav")" \
  "Z:${work//\//\\}\\held" "Z:${work//\//\\}\\release" </dev/null >/dev/null 2>&1 &
holder=$!
wine 'C:\orlix-installer-test\setup.exe' </dev/null >/dev/null 2>&1 &
upgrade=$!
await "This installs the Orlix"
click "#1"
await "Destination Folder"
click "#1"
await "Reference engine"
click "#1"
await "is in use"
shot setup-8-file-in-use
click "Cancel"
rc=0
wait "$upgrade" || rc=$?
[ $rc = 3 ] || { echo "screenshots: Cancel at a held file ended with $rc, not 3" >&2; exit 1; }
touch "$work/release"
wait "$holder"
holder=

wine "$local_app_data\\Programs\\Orlix\\uninstall.exe" </dev/null >/dev/null 2>&1 &
await "Also remove my settings"
shot uninstall-1-remove
click "#1"
await "Completed"
shot uninstall-2-progress
click "#1"
