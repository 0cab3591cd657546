#!/usr/bin/env bash
# The real installer and uninstaller, run silently under Wine in the build
# tree's prefix, one scenario a call:
#   installer_test.sh SCENARIO BUILD_DIR [CLAMD_DIR]
# (the artefacts of scripts/package.sh in BUILD_DIR/dist)
# SCENARIO: reference, clamd, clamav-db, upgrade, held, uninstall, bad-arguments, signing.
set -uo pipefail
scenario=$1
clamd_dir=${3:-}
. "$(dirname "$0")/common.sh" "$2"

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
expect_eq() { [ "$2" = "$3" ] || fail "$1: expected [$2], got [$3]"; }
expect_file() { [ -f "$1" ] || fail "missing ${1#"$WINEPREFIX/"}"; }
expect_no_file() { [ ! -e "$1" ] || fail "left behind: ${1#"$WINEPREFIX/"}"; }

work=$(mktemp -d "$build/installer-test.XXXXXX")
# A folder with spaces; NSIS wants /D= unquoted, so it goes as separate words.
folder='C:\Orlix Test Folder'
folder_words=('/D=C:\Orlix' Test Folder)
uninstall_words=('_?=C:\Orlix' Test Folder)
dir=$WINEPREFIX/drive_c/Orlix\ Test\ Folder
# ClamAV's databases for the clamav-db choice: a space, a '#', and a name the
# engine would take for a hash database but for the separator the installer adds.
clamdb='C:\Orlix ClamAV #1\db.hdb'
clamdb_root=$WINEPREFIX/drive_c/Orlix\ ClamAV\ \#1
clamav_key='HKLM\Software\ClamAV'
made_clamav_key=0
trap 'rm -rf "$dir" "$work" "$clamdb_root"; [ $made_clamav_key = 0 ] || wine reg delete "$clamav_key" /f >/dev/null 2>&1; restore_prefix' EXIT

fresh() {
  rm -rf "$dir"
  forget_installation
}
# Runs a program through cmd's start /wait: its exit code comes back and
# its arguments reach it unquoted.
run_wait() { wine cmd /c start "" /wait "$@" </dev/null >/dev/null 2>&1; }
install() { run_wait 'C:\orlix-installer-test\setup.exe' /S "$@"; }
# The same from a batch file, so that quoted options reach the installer as
# a user types them: OPTIONS is one string, the folder as /D= last.
install_line() {
  printf 'start "" /wait C:\\orlix-installer-test\\setup.exe /S %s /D=%s\r\nexit /b %%ERRORLEVEL%%\r\n' "$1" "$folder" \
    >"$test_c/install.bat"
  wine cmd /c 'C:\orlix-installer-test\install.bat' </dev/null >/dev/null 2>&1
}
# The uninstaller copies itself away and returns at once; wait for it to
# finish: its last step removes the Uninstall entry.
uninstall() {
  run_wait "$folder\\uninstall.exe" /S "$@"
  local i
  for i in $(seq 1 100); do
    if [ ! -e "$dir/uninstall.exe" ] && ! wine reg query "$uninst_key" >/dev/null 2>&1 </dev/null; then return 0; fi
    sleep 0.2
  done
  fail "the uninstaller did not finish"
}
# In place the uninstaller returns its exit code, and cannot delete itself.
uninstall_in_place() { run_wait "$folder\\uninstall.exe" /S "$@" "${uninstall_words[@]}"; }
reg_value() { wine reg query "$1" /v "$2" 2>/dev/null | tr -d '\r' | awk -v n="$2" '$1 == n { $1 = ""; $2 = ""; sub(/^ +/, ""); print }'; }

# The test file inside a ZIP inside a ZIP, checked by the installed bavhost
# through the installed plug-in and engine.
expect_nested_zip_found() {
  python3 "$root/scripts/make_samples.py" "$work/samples" >/dev/null
  local out rc=0
  out=$(wine "$dir/bavhost.exe" --no-progress check "$(winpath "$work/samples/nested.zip")" 2>&1 </dev/null) || rc=$?
  expect_eq "bavhost exit code ($1)" 1 "$rc"
  [[ $out == *"Infected by Eicar-Test-Signature"* ]] || fail "bavhost ($1) did not find the test file: $out"
}

# The path the database line of the installed clamav.vdb names.
clamdb_line() { grep '^database ' "$dir/engine/clamav.vdb" | tr -d '\r' | sed 's/^database //'; }

program_files=(orlix.bav bavhost.exe README.txt LICENSE.txt uninstall.exe engine/orlix32.dll)

# Holds a file open without sharing until released.
hold_file() {
  wine "$build/installer/test/hold_file.exe" "$1" "$(winpath "$work/held")" "$(winpath "$work/release")" \
    </dev/null >/dev/null 2>&1 &
  holder=$!
  local i
  for i in $(seq 1 100); do [ -e "$work/held" ] && return 0; sleep 0.1; done
  fail "the file was not held"
}
release_file() { touch "$work/release"; wait "$holder"; rm -f "$work/held" "$work/release"; }

# Nothing under the folder changed since the marker (status change times:
# NSIS gives the files it writes their stored modification times), and the
# registry as it was.
snapshot() {
  touch "$work/marker"
  sleep 1
  wine reg query "$settings_key" >"$work/settings.before" 2>&1
  wine reg query "$uninst_key" >"$work/uninst.before" 2>&1
}
expect_unchanged() {
  local changed
  changed=$(find "$dir" -cnewer "$work/marker" | head -3)
  [ -z "$changed" ] || fail "$1 changed files: $changed"
  wine reg query "$settings_key" >"$work/settings.after" 2>&1
  wine reg query "$uninst_key" >"$work/uninst.after" 2>&1
  cmp -s "$work/settings.before" "$work/settings.after" || fail "$1 changed the settings"
  cmp -s "$work/uninst.before" "$work/uninst.after" || fail "$1 changed the Uninstall entry"
}

case $scenario in
reference)
  fresh
  start=$(date +%s%N)
  install "${folder_words[@]}"
  rc=$?
  echo "silent install: $((($(date +%s%N) - start) / 1000000)) ms"
  expect_eq "exit code" 0 "$rc"
  for f in "${program_files[@]}" engine/default.vdb; do expect_file "$dir/$f"; done
  cmp -s "$dir/orlix.bav" "$build/bin/orlix.bav" || fail "orlix.bav is not the built one"
  cmp -s "$dir/engine/orlix32.dll" "$build/refengine/orlix32.dll" || fail "engine/orlix32.dll is not the reference engine"
  expect_eq OrlixPath "$folder\\engine" "$(reg_value "$settings_key" OrlixPath)"
  expect_eq DisplayName "Orlix for TheBAT!" "$(reg_value "$uninst_key" DisplayName)"
  expect_eq DisplayVersion "$version" "$(reg_value "$uninst_key" DisplayVersion)"
  expect_eq Publisher "Orlix plug-in project" "$(reg_value "$uninst_key" Publisher)"
  expect_eq DisplayIcon "$folder\\uninstall.exe,0" "$(reg_value "$uninst_key" DisplayIcon)"
  size=$(reg_value "$uninst_key" EstimatedSize)
  [ $((size)) -gt 500 ] || fail "EstimatedSize is $size KiB"
  expect_nested_zip_found "reference engine"
  start=$(date +%s%N)
  uninstall
  echo "silent uninstall: $((($(date +%s%N) - start) / 1000000)) ms"
  ;;
clamd)
  port=$(cat "$clamd_dir/port")
  unused=$(free_port)
  # What the engine page's Test button shows.
  answer=$(wine "$build/installer/orlixinst.exe" ping "127.0.0.1:$port,127.0.0.1:$unused" 2>&1 </dev/null | tr -d '\r')
  expect_eq "zPING answers" "127.0.0.1:$port: PONG
127.0.0.1:$unused: no answer (connection refused)" "$answer"
  fresh
  install /ENGINE=clamd "/SERVERS=127.0.0.1:$unused,127.0.0.1:$port" "${folder_words[@]}"
  expect_eq "exit code" 0 $?
  expect_no_file "$dir/engine/default.vdb"
  cmp -s "$dir/engine/orlix32.dll" "$build/clamd-engine/orlix32.dll" || fail "engine/orlix32.dll is not the clamd bridge"
  expect_eq "servers in clamd.vdb" "server 127.0.0.1:$unused
server 127.0.0.1:$port" "$(grep '^server' "$dir/engine/clamd.vdb" | tr -d '\r')"
  expect_eq Engine clamd "$(reg_value "$uninst_key" Engine)"
  expect_nested_zip_found "clamd bridge"
  # An upgrade keeps what the user set in clamd.vdb: without /SERVERS the
  # file stays as it is, with it only the server lines change.
  printf 'reply-timeout 30s\r\n' >>"$dir/engine/clamd.vdb"
  cp "$dir/engine/clamd.vdb" "$work/clamd.vdb.before"
  install "${folder_words[@]}"
  cmp -s "$dir/engine/clamd.vdb" "$work/clamd.vdb.before" || fail "an upgrade without /SERVERS changed clamd.vdb"
  expect_no_file "$dir/engine/default.vdb"
  install "/SERVERS=127.0.0.1:$port" "${folder_words[@]}"
  expect_eq "clamd.vdb after /SERVERS" "server 127.0.0.1:$port
reply-timeout 30s" "$(grep -v '^#\|timeout 2s\|timeout 150s' "$dir/engine/clamd.vdb" | tr -d '\r')"
  ;;
clamav-db)
  fresh
  # A file of ClamAV's hash database, MD5:size:name, in its folder's local.hdb.
  mkdir -p "$clamdb_root/db.hdb"
  head -c 1000 /dev/urandom >"$work/sample.bin"
  echo "$(md5sum <"$work/sample.bin" | cut -d' ' -f1):1000:Orlix.Test.ClamDb-1" >"$clamdb_root/db.hdb/local.hdb"
  install_line "/ENGINE=clamav-db /CLAMDB=\"$clamdb\""
  expect_eq "exit code" 0 $?
  cmp -s "$dir/engine/orlix32.dll" "$build/refengine/orlix32.dll" || fail "engine/orlix32.dll is not the reference engine"
  expect_no_file "$dir/engine/default.vdb"
  expect_no_file "$dir/engine/clamd.vdb"
  # The dotted name ends in a separator, or the engine would take it for a file.
  expect_eq "database line" "$clamdb\\" "$(clamdb_line)"
  expect_eq Engine clamav-db "$(reg_value "$uninst_key" Engine)"
  out=$(wine "$dir/bavhost.exe" --no-progress check "$(winpath "$work/sample.bin")" 2>&1 </dev/null)
  expect_eq "bavhost exit code (ClamAV's database)" 1 $?
  [[ $out == *"Infected by Orlix.Test.ClamDb-1"* ]] || fail "bavhost did not find the file of local.hdb: $out"

  # An upgrade keeps the choice, and clamav.vdb as the user left it while
  # the folder stays the same (Windows compares folders without case).
  printf '# mine\r\n' >>"$dir/engine/clamav.vdb"
  cp "$dir/engine/clamav.vdb" "$work/clamav.vdb.before"
  install "${folder_words[@]}"
  expect_eq "upgrade exit code" 0 $?
  install_line "/CLAMDB=\"$(echo "$clamdb" | tr 'A-Z' 'a-z')\""
  expect_eq "upgrade with the same folder: exit code" 0 $?
  cmp -s "$dir/engine/clamav.vdb" "$work/clamav.vdb.before" || fail "an upgrade with the same folder changed clamav.vdb"
  expect_eq "Engine after the upgrades" clamav-db "$(reg_value "$uninst_key" Engine)"
  expect_no_file "$dir/engine/default.vdb"
  # Another folder changes the database line only, even one without databases yet.
  install_line '/CLAMDB="C:\Orlix ClamAV #1"'
  expect_eq "another folder: exit code" 0 $?
  expect_eq "database line with another folder" 'C:\Orlix ClamAV #1' "$(clamdb_line)"
  expect_eq "the user's line after it" '# mine' "$(tail -1 "$dir/engine/clamav.vdb" | tr -d '\r')"
  # Without the Uninstall entry, clamav.vdb tells the choice.
  forget_installation
  install "${folder_words[@]}"
  expect_eq "Engine told by clamav.vdb" clamav-db "$(reg_value "$uninst_key" Engine)"
  expect_file "$dir/engine/clamav.vdb"

  # Switching removes the other choice's base file.
  install /ENGINE=clamd /SERVERS=127.0.0.1:3310 "${folder_words[@]}"
  expect_eq "switch to clamd: exit code" 0 $?
  expect_no_file "$dir/engine/clamav.vdb"
  expect_file "$dir/engine/clamd.vdb"
  # Without /CLAMDB, the folder ClamAV's DataDir names, else its default.
  wine reg add "$clamav_key" /v DataDir /d 'C:\ClamAV data' /f >/dev/null 2>&1 && made_clamav_key=1
  install /ENGINE=clamav-db "${folder_words[@]}"
  expect_eq "switch back: exit code" 0 $?
  expect_no_file "$dir/engine/clamd.vdb"
  expect_eq "the folder of ClamAV's DataDir" 'C:\ClamAV data' "$(clamdb_line)"
  wine reg delete "$clamav_key" /f >/dev/null 2>&1 && made_clamav_key=0
  install /ENGINE=reference "${folder_words[@]}"
  expect_eq "switch to reference: exit code" 0 $?
  expect_no_file "$dir/engine/clamav.vdb"
  expect_file "$dir/engine/default.vdb"
  install /ENGINE=clamav-db "${folder_words[@]}"
  expect_eq "ClamAV's default folder" 'C:\Program Files\ClamAV\database' "$(clamdb_line)"

  # Uninstalling removes clamav.vdb, not the base files the user added.
  cp "$root/engines/reference/bases/demo.vdb" "$dir/engine/added.vdb"
  uninstall
  expect_no_file "$dir/engine/clamav.vdb"
  expect_file "$dir/engine/added.vdb"
  # A clamav.vdb of the user's beside the reference engine is a base file of theirs.
  fresh
  install /ENGINE=reference "${folder_words[@]}"
  printf 'database %s\r\n' "$clamdb" >"$dir/engine/clamav.vdb"
  cp "$dir/engine/clamav.vdb" "$work/clamav.vdb.before"
  install "${folder_words[@]}"
  expect_eq "Engine with the user's clamav.vdb" reference "$(reg_value "$uninst_key" Engine)"
  uninstall
  cmp -s "$dir/engine/clamav.vdb" "$work/clamav.vdb.before" || fail "the user's clamav.vdb is gone or changed"
  ;;
upgrade)
  fresh
  # The older build: the same files under an older version, its README marked.
  cp -r "$build/package/stage" "$work/old-stage"
  echo "old build" >"$work/old-stage/README.txt"
  makensis -V1 -DVERSION=4.0.0.1 -DSTAGE="$work/old-stage" -DOUTFILE="$test_c/old-setup.exe" \
    "$root/installer/orlix.nsi" || fail "the older installer did not build"
  run_wait 'C:\orlix-installer-test\old-setup.exe' /S "${folder_words[@]}"
  expect_eq "old install exit code" 0 $?
  wine reg add "$settings_key" /v LogEventsOnly /t REG_DWORD /d 1 /f >/dev/null 2>&1
  wine reg add "$settings_key" /v OrlixPath /d "$folder\\engine\\" /f >/dev/null 2>&1
  expect_nested_zip_found "older build"
  expect_file "$dir/engine/orxbat!.log"
  cp "$dir/engine/orxbat!.log" "$work/log.before"
  cp "$root/engines/reference/bases/demo.vdb" "$dir/engine/added.vdb"
  install "${folder_words[@]}"
  expect_eq "upgrade exit code" 0 $?
  cmp -s "$dir/README.txt" "$root/installer/README.txt" || fail "README.txt was not replaced"
  expect_eq DisplayVersion "$version" "$(reg_value "$uninst_key" DisplayVersion)"
  expect_eq "changed LogEventsOnly" 0x1 "$(reg_value "$settings_key" LogEventsOnly)"
  expect_eq "changed OrlixPath" "$folder\\engine\\" "$(reg_value "$settings_key" OrlixPath)"
  cmp -s "$dir/engine/orxbat!.log" "$work/log.before" || fail "the report log changed"
  cmp -s "$dir/engine/added.vdb" "$root/engines/reference/bases/demo.vdb" || fail "the added base file is gone"
  ;;
held)
  # The same upgrade and in-place uninstall, first while orlix.bav is held, then free.
  fresh
  install "${folder_words[@]}"
  expect_eq "install exit code" 0 $?
  snapshot
  hold_file "$folder\\orlix.bav"
  install "${folder_words[@]}"
  expect_eq "install over a held orlix.bav" 3 $?
  uninstall_in_place
  expect_eq "uninstall with a held orlix.bav" 3 $?
  release_file
  expect_unchanged "a held file"
  expect_nested_zip_found "after the failed upgrade"
  install "${folder_words[@]}"
  expect_eq "install over a free orlix.bav" 0 $?
  [ -n "$(find "$dir/orlix.bav" -cnewer "$work/marker")" ] || fail "the upgrade did not replace orlix.bav"
  uninstall_in_place
  expect_eq "uninstall in place" 0 $?
  # The running uninstaller cannot delete itself; the report log is the user's and stays.
  expect_eq "left after uninstalling in place" "$(printf 'engine\nengine/orxbat!.log\nuninstall.exe')" \
    "$(cd "$dir" && find . -mindepth 1 -printf '%P\n' | LC_ALL=C sort)"
  wine reg query "$uninst_key" >/dev/null 2>&1 && fail "the Uninstall entry is left"
  ;;
uninstall)
  fresh
  install "${folder_words[@]}"
  expect_nested_zip_found "before uninstalling"
  uninstall
  for f in "${program_files[@]}" engine/default.vdb; do expect_no_file "$dir/$f"; done
  expect_file "$dir/engine/orxbat!.log"
  expect_eq "OrlixPath kept" "$folder\\engine" "$(reg_value "$settings_key" OrlixPath)"
  wine reg query "$uninst_key" >/dev/null 2>&1 && fail "the Uninstall entry is left"
  install "${folder_words[@]}"
  uninstall /PURGE
  expect_no_file "$dir"
  wine reg query "$settings_key" >/dev/null 2>&1 && fail "/PURGE left the settings"
  ;;
bad-arguments)
  fresh
  install "${folder_words[@]}"
  snapshot
  for args in /ENGINE=fast /SERVERS=nohost /SERVERS=a:3310,b /BOGUS "/ENGINE=reference /SERVERS=a:3310" \
    /CLAMDB= '/CLAMDB=db' '/CLAMDB=C:db' '/ENGINE=clamd /CLAMDB=C:\db' '/SERVERS=a:3310 /CLAMDB=C:\db'; do
    # shellcheck disable=SC2086
    install $args "${folder_words[@]}"
    expect_eq "exit code for $args" 4 $?
  done
  # Blanks around it, which the engine would not read back; one unquoted with a space.
  for line in '/CLAMDB=" C:\db"' '/CLAMDB="C:\db "' '/CLAMDB=C:\some folder'; do
    install_line "$line"
    expect_eq "exit code for $line" 4 $?
  done
  install /ENGINE=bogus '/D=C:\orlix-never'
  expect_eq "exit code for a bad option and a new folder" 4 $?
  install '/D=orlix-never'
  expect_eq "exit code for a relative folder" 4 $?
  expect_no_file "$WINEPREFIX/drive_c/orlix-never"
  run_wait "$folder\\uninstall.exe" /S /BOGUS "${uninstall_words[@]}"
  expect_eq "uninstaller exit code for /BOGUS" 4 $?
  expect_unchanged "bad arguments"
  ;;
signing)
  # A throw-away self-signed code-signing certificate.
  openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Orlix test signer" \
    -addext extendedKeyUsage=codeSigning -keyout "$work/key.pem" -out "$work/cert.pem" 2>/dev/null
  openssl pkcs12 -export -inkey "$work/key.pem" -in "$work/cert.pem" -passout pass:test-secret \
    -out "$work/signer.pfx" 2>/dev/null
  ORLIX_SIGN_PFX=$work/signer.pfx ORLIX_SIGN_PASSWORD=test-secret \
    "$root/scripts/package.sh" --no-build --build "$build" --out "$work/dist" --work "$work/package" >/dev/null
  expect_eq "package exit code" 0 $?
  (cd "$work/dist" && sha256sum -c --quiet SHA256SUMS) || fail "SHA256SUMS does not match"
  unzip -q "$work/dist/orlix-$version-portable.zip" -d "$work/unzipped"
  mkdir -p "$test_c"
  cp "$work/dist/orlix-$version-setup.exe" "$test_c/signed-setup.exe"
  rm -rf "$dir"
  run_wait 'C:\orlix-installer-test\signed-setup.exe' /S "${folder_words[@]}"
  for f in "$work/dist/orlix-$version-setup.exe" "$dir/uninstall.exe" "$work/unzipped"/orlix-*/orlix.bav \
           "$work/unzipped"/orlix-*/bavhost.exe "$work/unzipped"/orlix-*/engine/orlix32.dll \
           "$work/unzipped"/orlix-*/clamd-bridge/orlix32.dll; do
    osslsigncode verify -CAfile "$work/cert.pem" -in "$f" >/dev/null 2>&1 || fail "not signed: $f"
  done
  uninstall /PURGE
  ;;
*)
  echo "unknown scenario $scenario" >&2
  exit 2
  ;;
esac

[ $failures = 0 ] && echo "installer $scenario: ok"
exit $((failures != 0))
