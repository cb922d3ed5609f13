#!/bin/sh
# Converting a 100 MB archive to a self-extractor and back: `zipbuilder sfx`
# and `zipbuilder unsfx` against `cat stub archive > exe; zip -A exe` and a plain
# `cp` of the archive, on the same file in the same run, ROUNDS rounds (default 5).
# usage: bench/sfx_bench.sh [BUILD_BIN_DIR]   (default: build/bin)
. "$(dirname "$0")/lib.sh"
use_build "${1:-}"
need_built zipbuilder
[ -f "$bin/ZipSFX.bin" ] || { echo "no ZipSFX.bin in $bin (MinGW-w64 missing?)" >&2; exit 1; }
stub=$bin/ZipSFX.bin
need_peers zip unzip
make_work
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

: >cp.t; : >peer.t; : >sfx.t; : >back.t
i=0
while [ $i -lt "$ROUNDS" ]; do
  rm -rf a.zip a.exe c.zip b.exe "$XDG_DATA_HOME"
  cp orig.zip a.zip
  sync
  measure cp.t cp a.zip c.zip
  measure peer.t sh -c "cat '$stub' a.zip >b.exe && zip -qA b.exe"
  measure sfx.t "$zipbuilder" sfx --stub "$stub" a.zip
  measure back.t "$zipbuilder" unsfx a.exe
  cmp -s a.zip orig.zip || { echo "the archive converted back differs from the original" >&2; exit 1; }
  i=$((i + 1))
done
unzip -tq b.exe >/dev/null || { echo "the peer's self-extractor does not test clean" >&2; exit 1; }

copy=$(medians cp.t) peer=$(medians peer.t) sfx=$(medians sfx.t) back=$(medians back.t)
show "cp archive" "$copy"; echo
show "cat stub archive; zip -A" "$peer"; echo
show "zipbuilder sfx" "$sfx"; echo "   / the peer pair: $(ratio "$sfx" "$peer"); / cp: $(ratio "$sfx" "$copy")"
show "zipbuilder unsfx" "$back"; echo "   / cp: $(ratio "$back" "$copy")"
echo "medians of $ROUNDS rounds; load average: $(load_average)"
