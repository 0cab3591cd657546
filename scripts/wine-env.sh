# Wine's environment for this project, sourced by every script that runs it:
#   . scripts/wine-env.sh BUILD_DIR
# The prefix is private to the build tree (Wine wants it absolute), so the
# user's own prefix is never touched; 32-bit; no debug chatter unless
# WINEDEBUG asks for it; no prompts to install Mono or Gecko.
# Where this machine cannot run 32-bit code (scripts/test.sh says why), the
# script that would start Wine ends here with 77, which ctest reports as a
# skip.
if [ -n "${ORLIX_WINDOWS_SKIP:-}" ]; then
  echo "skipped: $ORLIX_WINDOWS_SKIP"
  exit 77
fi
wine_env_build=$(cd "$1" && pwd)
export WINEPREFIX=$wine_env_build/wineprefix
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win32
unset wine_env_build
# The Windows name of a file of this machine: Wine maps Z: to the root.
winpath() { local p; p=$(realpath -m "$1"); echo "Z:${p//\//\\}"; }
