#!/bin/sh
# Writing a 100 MB archive as 10 MB numbered volumes and joining it back:
# `zipbuilder split -s 10m` and `zipbuilder join` against `zip -s 10m --out`
# and `zip -s 0 --out` on the same archive in the same run, and a plain `cp`
# of the archive as the floor. ROUNDS runs each (default 5); the medians count.
# usage: bench/span_bench.sh [BUILD_BIN_DIR]   (default: build/bin)
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
echo "archive: $(stat -c %s source.zip) bytes"

copy=$(timed "rm -f copy.zip" "cp source.zip copy.zip")
our_split=$(timed "rm -rf ours" "mkdir ours && '$zipbuilder' split -s 10m source.zip ours/set.zip")
peer_split=$(timed "rm -rf peer" "mkdir peer && zip -q -s 10m source.zip --out peer/set.zip")
last=$(ls ours | tail -1)
our_join=$(timed "rm -f ours.zip" "'$zipbuilder' join ours/$last ours.zip")
peer_join=$(timed "rm -f peer.zip" "zip -q -s 0 peer/set.zip --out peer.zip")
cmp -s source.zip ours.zip || { echo "our joined archive differs from the source" >&2; exit 1; }
echo "volumes: ours $(ls ours | wc -l), zip $(ls peer | wc -l)"

show "cp of the archive" "$copy"; echo
show "zipbuilder split -s 10m" "$our_split"; echo "   / cp: $(ratio "$our_split" "$copy")"
show "zip -s 10m --out" "$peer_split"; echo "   zipbuilder / zip: $(ratio "$our_split" "$peer_split")"
show "zipbuilder join" "$our_join"; echo "   / cp: $(ratio "$our_join" "$copy")"
show "zip -s 0 --out" "$peer_join"; echo "   zipbuilder / zip: $(ratio "$our_join" "$peer_join")"
echo "medians of $ROUNDS runs; load average: $(load_average)"
