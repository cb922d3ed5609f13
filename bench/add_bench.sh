#!/bin/sh
# Adding a mixed corpus directory at level 9: zipbuilder against `zip -r -q -9`
# on the same tree in alternating rounds (ROUNDS, default 5). Prints the
# medians, both sizes and the ratios (per round: median, min, max).
# With BEST=1, `zipbuilder add --best` and `7z a -tzip -mx9` join the rounds.
# usage: [BEST=1] bench/add_bench.sh [BUILD_BIN_DIR]   (default: build/bin)
. "$(dirname "$0")/lib.sh"
use_build "${1:-}"
need_built zipbuilder
need_peers zip unzip
[ -n "${BEST:-}" ] && need_peers 7z
make_work
corpus=$work/corpus
mkdir -p "$corpus"
take_mixed_corpus "$corpus"
take_corpus "$corpus" /usr/share 10 '*.gz'                 # already compressed
bytes=$(du -sb "$corpus" | cut -f1)
echo "corpus: $(find "$corpus" -type f | wc -l) files, $bytes bytes; load average before: $(load_average)"

cd "$work"
# zip says 18 when it could not read some files; it adds the rest.
set -- peer "rm -f peer.zip" "zip -r -q -9 peer.zip corpus || [ \$? -eq 18 ]" \
  ours "rm -f ours.zip" "'$zipbuilder' add -r -9 ours.zip corpus"
[ -n "${BEST:-}" ] && set -- "$@" best "rm -f best.zip" "'$zipbuilder' add -r --best best.zip corpus" \
  seven "rm -f seven.zip" "7z a -tzip -mx9 -bso0 -bsp0 seven.zip corpus"
alternate "$@"
unzip -tq ours.zip >/dev/null || { echo "our archive does not test clean" >&2; exit 1; }
peer_size=$(stat -c %s peer.zip) our_size=$(stat -c %s ours.zip)
show "zip -r -q -9" "$(medians "$work/times.peer")"; echo "  $peer_size bytes"
show "zipbuilder add -9" "$(medians "$work/times.ours")"; echo "  $our_size bytes"
echo "zip / zipbuilder -9, wall: $(round_ratios peer ours); size ratio (ours/zip): $(echo "$our_size $peer_size" | awk '{ printf "%.4f", $1 / $2 }')"
if [ -n "${BEST:-}" ]; then
  unzip -tq best.zip >/dev/null || { echo "our --best archive does not test clean" >&2; exit 1; }
  best_size=$(stat -c %s best.zip) seven_size=$(stat -c %s seven.zip)
  show "zipbuilder add --best" "$(medians "$work/times.best")"; echo "  $best_size bytes"
  show "7z a -tzip -mx9" "$(medians "$work/times.seven")"; echo "  $seven_size bytes"
  echo "zip -9 / zipbuilder --best, wall: $(round_ratios peer best); 7z / zipbuilder --best, wall: $(round_ratios seven best)"
  echo "size ratios: --best / 7z $(echo "$best_size $seven_size" | awk '{ printf "%.4f", $1 / $2 }'), --best / -9 $(echo "$best_size $our_size" | awk '{ printf "%.4f", $1 / $2 }')"
fi
echo "medians of $ROUNDS alternating rounds; load average after: $(load_average)"
