#!/bin/sh
# Writing a 100 MB archive as 10 MB numbered volumes and joining it back:
# `zipbuilder split -s 10m` and `zipbuilder join` against `zip -s 10m --out`
# and `zip -s 0 --out` on the same archive in the same run, and a plain `cp`
# of the archive as the floor. Each step runs three times; the best wall time counts.
# usage: bench/span_bench.sh [BUILD_BIN_DIR]   (default: build/bin)
set -eu
here=$(cd "$(dirname "$0")" && pwd)
bin=$(cd "${1:-$here/../build/bin}" && pwd)
zipbuilder=$bin/zipbuilder
[ -x "$zipbuilder" ] || { echo "no zipbuilder in $bin" >&2; exit 1; }
command -v zip >/dev/null || { echo "zip is not installed" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
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

now() { date +%s.%N; }
# best SECONDS of three runs of "$@", with `prepare` run before each
best() {
  b=""
  for run in 1 2 3; do
    $prepare
    t0=$(now); "$@" >/dev/null 2>&1; t1=$(now)
    b=$(awk -v a="$t0" -v c="$t1" -v b="$b" 'BEGIN { t = c - a; if (b == "" || t < b) b = t; print b }')
  done
  echo "$b"
}

prepare="rm -rf ours peer copy.zip ours.zip peer.zip"
mkdir -p ours peer
cp_time=$(best cp source.zip copy.zip)
prepare="rm -rf ours"
our_split=$(best sh -c "mkdir ours && '$zipbuilder' split -s 10m source.zip ours/set.zip")
prepare="rm -rf peer"
peer_split=$(best sh -c "mkdir peer && zip -q -s 10m source.zip --out peer/set.zip")
rm -rf ours peer
mkdir -p ours peer
"$zipbuilder" split -s 10m source.zip ours/set.zip 2>/dev/null
zip -q -s 10m source.zip --out peer/set.zip
last=$(ls ours | tail -1)
prepare="rm -f ours.zip"
our_join=$(best "$zipbuilder" join ours/$last ours.zip)
prepare="rm -f peer.zip"
peer_join=$(best zip -q -s 0 peer/set.zip --out peer.zip)
"$zipbuilder" join -f ours/$last ours.zip 2>/dev/null
cmp -s source.zip ours.zip || { echo "our joined archive differs from the source" >&2; exit 1; }
echo "volumes: ours $(ls ours | wc -l), zip $(ls peer | wc -l)"

awk -v cp="$cp_time" -v os="$our_split" -v ps="$peer_split" -v oj="$our_join" -v pj="$peer_join" 'BEGIN {
  printf "cp of the archive:          %6.3f s\n", cp
  printf "zipbuilder split -s 10m:    %6.3f s   zip -s 10m --out: %6.3f s   zip/ours %.2fx   ours/cp %.2fx\n", os, ps, ps / os, os / cp
  printf "zipbuilder join:            %6.3f s   zip -s 0 --out:   %6.3f s   zip/ours %.2fx   ours/cp %.2fx\n", oj, pj, pj / oj, oj / cp
}'
