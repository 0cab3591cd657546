#!/usr/bin/env bash
# 7z seeds of the 7z walk, written by 7-Zip itself: each coder we unpack,
# solid and not, encoded and plain headers, an empty file and a folder.
#   make_sevenzip_seeds.sh 7ZIP FOLDER
set -euo pipefail
sevenzip=$1
out=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$out" "$work/in/dir"
cd "$work/in"
printf 'X5O!P%%@AP[4\\PZX54(P^)7CC)7}$EICAR-STANDARD-ANTIVIRUS-TEST-FILE!$H+H*' > eicar.com
printf 'fuzz body START <<ab>> END' > a.txt
: > empty.txt
printf 'after' > dir/b.txt
n=0
for switches in "-m0=Copy -mhc=off" "-m0=LZMA -ms=on" "-m0=LZMA2" "-mf=BCJ -m0=LZMA" "-mf=Delta:2 -m0=LZMA2" \
                "-m0=Deflate" "-m0=Deflate64" "-m0=BZip2" "-m0=PPMd" "-m0=Copy -mhc=off -psecret"; do
  n=$((n + 1))
  # shellcheck disable=SC2086
  "$sevenzip" a -bso0 -bsp0 $switches "$out/seed-$n.7z" eicar.com a.txt empty.txt dir >/dev/null
done
