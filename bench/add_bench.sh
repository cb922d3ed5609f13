#!/bin/sh
# Adding a mixed corpus directory at level 9: zipbuilder against `zip -r -q -9`
# on the same tree in the same run. Prints both times and sizes and the ratios.
# usage: bench/add_bench.sh [BUILD_BIN_DIR]   (default: build/bin)
set -eu
here=$(cd "$(dirname "$0")" && pwd)
bin=$(cd "${1:-$here/../build/bin}" && pwd)
zipbuilder=$bin/zipbuilder
[ -x "$zipbuilder" ] || { echo "no zipbuilder in $bin" >&2; exit 1; }
command -v zip >/dev/null || { echo "zip is not installed" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
[ -n "${KEEP_CORPUS:-}" ] && trap - EXIT && echo "work dir: $work"
corpus=$work/corpus
mkdir -p "$corpus"

# Copies files from a system directory in sorted order until about $2 MB;
# the same system gives the same corpus every run.
take() {
  src=$1 budget=$(($2 * 1024 * 1024)) pattern=$3 dest=$corpus/$(echo "$1" | tr / _)
  [ -d "$src" ] || return 0
  mkdir -p "$dest"
  (cd "$src" && find . -type f -name "$pattern" -size -8M -printf '%s %p\n' 2>/dev/null | LC_ALL=C sort -k2 |
    awk -v budget="$budget" '{ if (total >= budget) exit; total += $1; sub(/^[0-9]+ /, ""); print }' |
    tr '\n' '\0' | xargs -0 cp -p --parents -t "$dest" 2>/dev/null) || true
}
take /usr/share/doc 15 '*'              # text
take /usr/include 25 '*'                # source code
take /usr/lib/x86_64-linux-gnu 40 '*.so*'  # binaries
take /usr/share 10 '*.png'              # already compressed
take /usr/share 10 '*.gz'               # already compressed

files=$(find "$corpus" -type f | wc -l)
bytes=$(du -sb "$corpus" | cut -f1)
echo "corpus: $files files, $bytes bytes"

now() { date +%s.%N; }
cd "$work"
# CPU seconds (user + system) beside wall time: the machine may be shared.
t0=$(now); /usr/bin/time -f "%U %S" -o peer.cpu zip -r -q -9 peer.zip corpus || [ $? -eq 18 ]; t1=$(now)
/usr/bin/time -f "%U %S" -o ours.cpu "$zipbuilder" add -r -9 ours.zip corpus 2>/dev/null; t2=$(now)
peer_cpu=$(awk '{print $1 + $2}' peer.cpu)
our_cpu=$(awk '{print $1 + $2}' ours.cpu)
unzip -tq ours.zip >/dev/null || { echo "our archive does not test clean" >&2; exit 1; }

peer_size=$(stat -c %s peer.zip)
our_size=$(stat -c %s ours.zip)
awk -v pc="$peer_cpu" -v oc="$our_cpu" -v a="$t0" -v b="$t1" -v c="$t2" -v ps="$peer_size" -v os="$our_size" -v input="$bytes" 'BEGIN {
  peer = b - a; ours = c - b
  printf "zip -r -q -9:      %6.2f s wall %6.2f s CPU  %11d bytes (%.1f%% of input)\n", peer, pc, ps, 100 * ps / input
  printf "zipbuilder add -9: %6.2f s wall %6.2f s CPU  %11d bytes (%.1f%% of input)\n", ours, oc, os, 100 * os / input
  printf "speed-up (wall): %.2fx   size ratio (ours/zip): %.4f\n", peer / ours, os / ps
}'
