#!/bin/sh
# Adding a mixed corpus with AES-256 encryption: zipbuilder against
# `7z a -tzip -mem=AES256` on the same tree in the same run, each at its default
# level, ROUNDS times (default 5). Prints the medians, both sizes and the ratios;
# both archives are tested by 7-Zip with the password.
# usage: bench/add_aes_bench.sh [BUILD_BIN_DIR]   (default: build/bin)
. "$(dirname "$0")/lib.sh"
use_build "${1:-}"
need_built zipbuilder
need_peers 7z
make_work
corpus=$work/corpus
mkdir -p "$corpus"
take_mixed_corpus "$corpus"
echo "corpus: $(find "$corpus" -type f | wc -l) files, $(du -sb "$corpus" | cut -f1) bytes"

cd "$work"
peer=$(timed "rm -f peer.zip" "7z a -tzip -mem=AES256 -pbench peer.zip corpus")
ours=$(timed "rm -f ours.zip" "'$zipbuilder' add -q -r --aes -P bench ours.zip corpus")
for archive in peer.zip ours.zip; do
  7z t -pbench "$archive" >/dev/null || { echo "$archive does not test clean" >&2; exit 1; }
done
show "7z a -mem=AES256" "$peer"; echo "  $(stat -c %s peer.zip) bytes"
show "zipbuilder add --aes" "$ours"; echo "  $(stat -c %s ours.zip) bytes"
echo "zipbuilder / 7z: $(ratio "$ours" "$peer")"
echo "medians of $ROUNDS runs; load average: $(load_average)"
