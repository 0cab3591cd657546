#!/usr/bin/env bash
# Builds the release artefacts from the current tree into dist/:
#   orlix-<version>-setup.exe     the per-user installer (NSIS 3, Unicode)
#   orlix-<version>-portable.zip  the same files in the same layout
#   SHA256SUMS                    for both
# The version is the CMake project version, the one the DLL's version
# resource carries. With ORLIX_SIGN_PFX (a PKCS#12 file) and
# ORLIX_SIGN_PASSWORD set, the DLLs, the programs, the installer and its
# uninstaller are signed with osslsigncode; without them they stay unsigned.
#
#   scripts/package.sh [--build DIR] [--out DIR] [--work DIR] [--no-build]
# (--work: where the files are staged, by default BUILD/package)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
out=$root/dist
work=
compile=1
while [ $# -gt 0 ]; do
  case $1 in
    --build) build=$2; shift ;;
    --out) out=$2; shift ;;
    --work) work=$2; shift ;;
    --no-build) compile=0 ;;
    --help) sed -n '2,13p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "package: unknown option $1" >&2; exit 2 ;;
  esac
  shift
done
build=$(realpath -m "$build")
out=$(realpath -m "$out")
work=$(realpath -m "${work:-$build/package}")
for tool in makensis zip sha256sum; do
  command -v $tool >/dev/null || { echo "package: $tool is missing (scripts/setup.sh installs it)" >&2; exit 1; }
done

if [ $compile = 1 ]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-i686-mingw.cmake" >/dev/null
  cmake --build "$build" --target orlix orlix32 clamdengine bavhost orlixinst
fi
version=$(cat "$build/installer/version.txt")

sign=()
if [ -n "${ORLIX_SIGN_PFX:-}" ]; then
  [ -f "$ORLIX_SIGN_PFX" ] || { echo "package: ORLIX_SIGN_PFX: no file $ORLIX_SIGN_PFX" >&2; exit 1; }
  command -v osslsigncode >/dev/null || { echo "package: osslsigncode is missing" >&2; exit 1; }
  sign=(bash "$root/installer/sign.sh")
  echo "package: signing with $ORLIX_SIGN_PFX"
else
  echo "package: no certificate (ORLIX_SIGN_PFX, ORLIX_SIGN_PASSWORD): the artefacts stay unsigned"
fi

# The files exactly as they ship, signed where a certificate was given.
stage=$work/stage
rm -rf "$stage"
mkdir -p "$stage/reference" "$stage/clamd"
cp "$build/bin/orlix.bav" "$build/bin/bavhost.exe" "$build/installer/orlixinst.exe" "$stage/"
cp "$root/installer/README.txt" "$root/installer/LICENSE.txt" "$stage/"
cp "$build/refengine/orlix32.dll" "$root/engines/reference/bases/default.vdb" "$stage/reference/"
cp "$build/clamd-engine/orlix32.dll" "$stage/clamd/"
if [ ${#sign[@]} -gt 0 ]; then
  "${sign[@]}" "$stage/orlix.bav" "$stage/bavhost.exe" "$stage/orlixinst.exe" \
    "$stage/reference/orlix32.dll" "$stage/clamd/orlix32.dll"
fi

mkdir -p "$out"
setup=$out/orlix-$version-setup.exe
portable=$out/orlix-$version-portable.zip
rm -f "$setup" "$portable" "$out/SHA256SUMS"

nsis=(-V2 -DVERSION="$version" -DSTAGE="$stage" -DOUTFILE="$setup")
if [ ${#sign[@]} -gt 0 ]; then nsis+=(-DSIGN="${sign[*]}"); fi
makensis "${nsis[@]}" "$root/installer/orlix.nsi"

# The portable layout: the installer's with the reference engine, and the
# clamd bridge beside it for those who want it.
tree=$work/orlix-$version
rm -rf "$tree"
mkdir -p "$tree/engine" "$tree/clamd-bridge"
cp "$stage/orlix.bav" "$stage/bavhost.exe" "$stage/README.txt" "$stage/LICENSE.txt" "$tree/"
cp "$stage/reference/orlix32.dll" "$stage/reference/default.vdb" "$tree/engine/"
cp "$stage/clamd/orlix32.dll" "$tree/clamd-bridge/"
cp "$root/engines/clamd/clamd.vdb" "$tree/clamd-bridge/"
(cd "$work" && zip -q -X -r "$portable" "orlix-$version")

(cd "$out" && sha256sum "$(basename "$setup")" "$(basename "$portable")" >SHA256SUMS)
echo "package: $out"
ls -l "$setup" "$portable" "$out/SHA256SUMS" | awk '{print "  " $5 "  " $NF}'
