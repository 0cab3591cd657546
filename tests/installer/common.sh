# Sourced by the installer tests and the page walk:
#   . tests/installer/common.sh BUILD_DIR
# Wine's environment of the build tree, the registry keys the installer
# writes, and the prefix's plug-in settings (shared with the other tests)
# saved now and put back by restore_prefix.
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
build=$(cd "$1" && pwd)
. "$root/scripts/wine-env.sh" "$build"
version=$(cat "$build/installer/version.txt")
settings_key='HKCU\Software\Kelvane\Orlix for TheBAT!'
uninst_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Orlix'
test_c=$WINEPREFIX/drive_c/orlix-installer-test

winpath() { local p; p=$(realpath -m "$1"); echo "Z:${p//\//\\}"; }
free_port() { python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'; }
forget_installation() {
  wine reg delete "$uninst_key" /f >/dev/null 2>&1 || true
  wine reg delete "$settings_key" /f >/dev/null 2>&1 || true
}
restore_prefix() {
  forget_installation
  if [ "$saved_settings" = 1 ]; then wine reg import 'C:\orlix-installer-settings.reg' >/dev/null 2>&1 || true; fi
  rm -rf "$test_c" "$WINEPREFIX/drive_c/orlix-installer-settings.reg"
}

wine cmd /c exit >/dev/null 2>&1 </dev/null
if wine reg export "$settings_key" 'C:\orlix-installer-settings.reg' /y >/dev/null 2>&1; then
  saved_settings=1
else
  saved_settings=0
fi
mkdir -p "$test_c"
cp "$build/dist/orlix-$version-setup.exe" "$test_c/setup.exe"
