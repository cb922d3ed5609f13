#!/bin/sh
# Adding a mixed corpus directory at level 9: zipbuilder against `zip -r -q -9`
# on the same tree in the same run, ROUNDS times each (default 5). Prints the
# medians, both sizes and the ratios.
# usage: bench/add_bench.sh [BUILD_BIN_DIR]   (default: build/bin)
. "$(dirname "$0")/lib.sh"
use_build "${1:-}"
need_built zipbuilder
need_peers zip unzip
make_work
corpus=$work/corpus
mkdir -p "$corpus"
take_mixed_corpus "$corpus"
take_corpus "$corpus" /usr/share 10 '*.gz'                 # already compressed
bytes=$(du -sb "$corpus" | cut -f1)
echo "corpus: $(find "$corpus" -type f | wc -l) files, $bytes bytes"

cd "$work"
# zip says 18 when it could not read some files; it adds the rest.
peer=$(timed "rm -f peer.zip" "zip -r -q -9 peer.zip corpus || [ \$? -eq 18 ]")
ours=$(timed "rm -f ours.zip" "'$zipbuilder' add -r -9 ours.zip corpus")
unzip -tq ours.zip >/dev/null || { echo "our archive does not test clean" >&2; exit 1; }
peer_size=$(stat -c %s peer.zip) our_size=$(stat -c %s ours.zip)
show "zip -r -q -9" "$peer"; echo "  $peer_size bytes"
show "zipbuilder add -9" "$ours"; echo "  $our_size bytes"
echo "zipbuilder / zip: $(ratio "$ours" "$peer"); size ratio (ours/zip): $(echo "$our_size $peer_size" | awk '{ printf "%.4f", $1 / $2 }')"
echo "medians of $ROUNDS runs; load average: $(load_average)"
