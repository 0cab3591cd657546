# Wine's environment for this project, sourced by every script that runs it:
#   . scripts/wine-env.sh BUILD_DIR
# The prefix is private to the build tree (Wine wants it absolute), so the
# user's own prefix is never touched; 32-bit; no debug chatter unless
# WINEDEBUG asks for it; no prompts to install Mono or Gecko.
wine_env_build=$(cd "$1" && pwd)
export WINEPREFIX=$wine_env_build/wineprefix
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win32
unset wine_env_build
