# Sourced by the shell tests that drive the plug-in under Wine:
#   . tests/common/prefix_settings.sh BUILD_DIR
# Wine's environment of the build tree, and the prefix's plug-in settings
# (shared with the other tests) saved by save_settings and put back by
# restore_settings.
prefix_settings_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
build=$(cd "$1" && pwd)
. "$prefix_settings_root/scripts/wine-env.sh" "$build"
unset prefix_settings_root
settings_key='HKCU\Software\Kelvane\Orlix for TheBAT!'
saved_settings_file='C:\orlix-test-settings.reg'
saved_settings=

save_settings() {
  wine cmd /c exit >/dev/null 2>&1 </dev/null
  if wine reg export "$settings_key" "$saved_settings_file" /y >/dev/null 2>&1 </dev/null; then
    saved_settings=1
  else
    saved_settings=0
  fi
}
restore_settings() {
  [ -n "$saved_settings" ] || return 0
  wine reg delete "$settings_key" /f >/dev/null 2>&1 </dev/null || true
  if [ "$saved_settings" = 1 ]; then wine reg import "$saved_settings_file" >/dev/null 2>&1 </dev/null || true; fi
  rm -f "$WINEPREFIX/drive_c/orlix-test-settings.reg"
  saved_settings=
}
