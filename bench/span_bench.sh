#!/bin/sh
# Writing a 100 MB archive as 10 MB numbered volumes and joining it back:
# `zipbuilder split -s 10m` and `zipbuilder join` against `zip -s 10m --out`
# and `zip -s 0 --out` on the same archive, and a plain `cp` of the archive as
# the floor, in alternating rounds (ROUNDS, default 5). Printed: medians of wall
# and CPU time, and the per-round ratios of wall times (median, min, max).
# usage: bench/span_bench.sh [BUILD_BIN_DIR]   (default: build/bin; TMPDIR picks the file system)
. "$(dirname "$0")/lib.sh"
use_build "${1:-}"
need_built zipbuilder
need_peers zip
make_work
cd "$work"
# 20 members of 5 MB that do not compress (stored), so the archive is 100 MB.
mkdir data
i=0
while [ $i -lt 20 ]; do
  head -c 5242880 /dev/urandom > data/part$i.bin
  i=$((i + 1))
done
zip -q -0 -r source.zip data
rm -rf data
mkdir ours && "$zipbuilder" split -s 10m source.zip ours/set.zip >/dev/null
last=$(ls ours | tail -1)
mkdir peer && zip -q -s 10m source.zip --out peer/set.zip
echo "archive: $(stat -c %s source.zip) bytes in $(df -T . | awk 'NR == 2 { print $2 }'); volumes: ours $(ls ours | wc -l), zip $(ls peer | wc -l)"
echo "load average before: $(load_average)"

alternate cp "rm -f copy.zip" "cp source.zip copy.zip" \
  split "rm -rf ours && mkdir ours" "'$zipbuilder' split -s 10m source.zip ours/set.zip" \
  zip_split "rm -rf peer && mkdir peer" "zip -q -s 10m source.zip --out peer/set.zip" \
  join "rm -f ours.zip" "'$zipbuilder' join ours/$last ours.zip" \
  zip_join "rm -f peer.zip" "zip -q -s 0 peer/set.zip --out peer.zip"
cmp -s source.zip ours.zip || { echo "our joined archive differs from the source" >&2; exit 1; }

row "cp of the archive" cp
row "zipbuilder split -s 10m" split split cp "/ cp"
row "zip -s 10m --out" zip_split zip_split split "zip / zipbuilder"
row "zipbuilder join" join join cp "/ cp"
row "zip -s 0 --out" zip_join zip_join join "zip / zipbuilder"
echo "medians of $ROUNDS alternating rounds; load average after: $(load_average)"
