#!/bin/sh
# Converting a 100 MB archive to a self-extractor and back: `zipbuilder sfx`
# and `zipbuilder unsfx` against `cat stub archive > exe; zip -A exe` and a plain
# `cp` of the archive, on the same file in the same run. Best of 5 rounds each.
# usage: bench/sfx_bench.sh [BUILD_BIN_DIR]   (default: build/bin)
set -eu
here=$(cd "$(dirname "$0")" && pwd)
bin=$(cd "${1:-$here/../build/bin}" && pwd)
zipbuilder=$bin/zipbuilder
stub=$bin/ZipSFX.bin
[ -x "$zipbuilder" ] || { echo "no zipbuilder in $bin" >&2; exit 1; }
[ -f "$stub" ] || { echo "no ZipSFX.bin in $bin (MinGW-w64 missing?)" >&2; exit 1; }
command -v zip >/dev/null || { echo "zip is not installed" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
# The Trash that takes the converted-away files lies on the same file system.
export XDG_DATA_HOME="$work/data"

# 400 members of 256 KB of random bytes (stored: the conversion copies bytes, it
# does not compress), 100 MB in all.
mkdir tree
i=0
while [ $i -lt 400 ]; do
  head -c 262144 /dev/urandom >"tree/f$i.bin"
  i=$((i + 1))
done
zip -q -0 -r orig.zip tree
rm -rf tree
echo "archive: $(stat -c %s orig.zip) bytes, 400 members; stub $(stat -c %s "$stub") bytes"

now() { date +%s.%N; }
best() { awk -v a="$1" -v b="$2" 'BEGIN { print (a == "" || b < a) ? b : a }'; }
cp_best="" peer_best="" sfx_best="" back_best=""
round=0
while [ $round -lt 5 ]; do
  rm -rf a.zip a.exe c.zip b.exe "$XDG_DATA_HOME"
  cp orig.zip a.zip
  sync
  t0=$(now); cp a.zip c.zip; t1=$(now)
  cp_best=$(best "$cp_best" "$(echo "$t1 - $t0" | bc)")
  t0=$(now); cat "$stub" a.zip >b.exe; zip -qA b.exe; t1=$(now)
  peer_best=$(best "$peer_best" "$(echo "$t1 - $t0" | bc)")
  t0=$(now); "$zipbuilder" sfx --stub "$stub" a.zip >/dev/null; t1=$(now)
  sfx_best=$(best "$sfx_best" "$(echo "$t1 - $t0" | bc)")
  t0=$(now); "$zipbuilder" unsfx a.exe >/dev/null; t1=$(now)
  back_best=$(best "$back_best" "$(echo "$t1 - $t0" | bc)")
  cmp -s a.zip orig.zip || { echo "the archive converted back differs from the original" >&2; exit 1; }
  round=$((round + 1))
done
unzip -tq b.exe >/dev/null || { echo "the peer's self-extractor does not test clean" >&2; exit 1; }

awk -v c="$cp_best" -v p="$peer_best" -v s="$sfx_best" -v b="$back_best" 'BEGIN {
  printf "cp archive:                    %6.3f s\n", c
  printf "cat stub archive; zip -A:      %6.3f s\n", p
  printf "zipbuilder sfx:                %6.3f s   (%.2fx the peer pair, %.2fx cp)\n", s, s / p, s / c
  printf "zipbuilder unsfx:              %6.3f s   (%.2fx cp)\n", b, b / c
  printf "sfx and back:                  %6.3f s   (%.2fx the peer pair)\n", s + b, (s + b) / p
}'
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
