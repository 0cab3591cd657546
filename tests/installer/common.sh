# Sourced by the installer tests and the page walk:
#   . tests/installer/common.sh BUILD_DIR
# Wine's environment of the build tree, the registry keys the installer
# writes, and the prefix's plug-in settings saved now and put back by
# restore_prefix.
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
. "$root/tests/common/prefix_settings.sh" "$1"
version=$(cat "$build/installer/version.txt")
uninst_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Orlix'
test_c=$WINEPREFIX/drive_c/orlix-installer-test

free_port() { python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'; }
forget_installation() {
  wine reg delete "$uninst_key" /f >/dev/null 2>&1 || true
  wine reg delete "$settings_key" /f >/dev/null 2>&1 || true
}
restore_prefix() {
  forget_installation
  restore_settings
  rm -rf "$test_c"
}

save_settings
mkdir -p "$test_c"
cp "$build/dist/orlix-$version-setup.exe" "$test_c/setup.exe"
