#!/usr/bin/env bash
# Exit 0 when this machine runs 32-bit x86 code natively (so Wine's 32-bit
# side works); else exit 1 with the reason on stdout.
set -u
here=$(cd "$(dirname "$0")" && pwd)
cc=$(command -v cc || command -v gcc || command -v clang || true)
if [ -z "$cc" ]; then
  echo "no C compiler to build the 32-bit probe with"
  exit 1
fi
bin=$(mktemp "${TMPDIR:-/tmp}/probe-i386.XXXXXX")
trap 'rm -f "$bin"' EXIT
if ! "$cc" -O1 -o "$bin" "$here/probe-i386.c" 2>/dev/null; then
  echo "the 32-bit probe did not build"
  exit 1
fi
"$bin"
