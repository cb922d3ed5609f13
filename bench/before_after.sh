#!/bin/sh
# Listing, extracting and adding with two builds of the tree in the same run
# (say main before and after a change), each beside its peer tool, rounds
# interleaved so that a changing machine load hits both builds alike. Prints the
# median wall and CPU seconds per tool and the ratios after/before and to the peer.
#   bench/before_after.sh BEFORE_BIN AFTER_BIN [WORK_DIR]
# BIN directories hold zipbuilder, unz_bench and the engine libraries.
# INSTRUCTIONS=1 adds the instruction counts of one run of each under callgrind.
. "$(dirname "$0")/lib.sh"
use_build "$1"
need_built zipbuilder unz_bench
BEFORE=$bin
use_build "$2"
need_built zipbuilder unz_bench
AFTER=$bin
WORK=${3:-/tmp/before-after-bench}
MEMBERS=${MEMBERS:-100000}
need_peers zip unzip python3
mkdir -p "$WORK"

# Corpus for adding and extracting: headers (many small files) and one large text.
if [ ! -f "$WORK/corpus.zip" ]; then
  rm -rf "$WORK/corpus" && mkdir -p "$WORK/corpus"
  for d in c++ linux x86_64-linux-gnu; do [ -d "/usr/include/$d" ] && cp -r "/usr/include/$d" "$WORK/corpus/"; done
  seq 1 2000000 > "$WORK/corpus/numbers.txt"
  (cd "$WORK/corpus" && zip -qr -9 ../corpus.zip .)
fi
# Archive for listing: many small members (ZIP64 end record past 65535 members).
[ -f "$WORK/big.zip" ] || make_list_archive "$WORK/big.zip" "$MEMBERS"
echo "load average before: $(load_average)"
echo "corpus: $(find "$WORK/corpus" -type f | wc -l) files, $(du -sm "$WORK/corpus" | cut -f1) MB; list archive: $MEMBERS members"


for op in list extract add; do for who in before after peer; do : > "$WORK/times.$op.$who"; done; done
for round in $(seq 1 "$ROUNDS"); do
  for op in list extract add; do
    for who in before after peer; do
      RESULT=$WORK/times.$op.$who
      bin=$BEFORE; [ "$who" = after ] && bin=$AFTER
      out=$WORK/out; rm -rf "$out" "$WORK/added.zip"; mkdir -p "$out"; sync
      case $op.$who in
        list.peer) measure "$RESULT" unzip -Z1 "$WORK/big.zip" || true ;;
        list.*) measure "$RESULT" "$bin/zipbuilder" list "$WORK/big.zip" || true ;;
        extract.peer) measure "$RESULT" unzip -q -o "$WORK/corpus.zip" -d "$out" || true ;;
        extract.*) measure "$RESULT" "$bin/unz_bench" "$WORK/corpus.zip" "$out" || true ;;
        add.peer) (cd "$WORK" && measure "$RESULT" zip -r -q -6 added.zip corpus) || true ;;
        add.*) (cd "$WORK" && measure "$RESULT" "$bin/zipbuilder" add -r -6 added.zip corpus) || true ;;
      esac
    done
  done
done
rm -rf "$WORK/out" "$WORK/added.zip"

for op in list extract add; do
  bw=$(median "$WORK/times.$op.before" 1) bc=$(median "$WORK/times.$op.before" 2)
  aw=$(median "$WORK/times.$op.after" 1) ac=$(median "$WORK/times.$op.after" 2)
  pw=$(median "$WORK/times.$op.peer" 1) pc=$(median "$WORK/times.$op.peer" 2)
  awk -v op="$op" -v bw="$bw" -v bc="$bc" -v aw="$aw" -v ac="$ac" -v pw="$pw" -v pc="$pc" 'BEGIN {
    printf "%-8s before %.3f s wall %.3f s CPU | after %.3f s wall %.3f s CPU | peer %.3f s wall %.3f s CPU\n", op, bw, bc, aw, ac, pw, pc
    printf "         after/before: wall %.3f CPU %.3f | peer/before %.2f, peer/after %.2f (wall)\n", aw / bw, ac / bc, pw / bw, pw / aw
  }'
done
echo "medians of $ROUNDS rounds; load average after: $(load_average)"

# Instructions executed (callgrind), which machine load does not change: with
# INSTRUCTIONS=1, each operation once per build.
[ "${INSTRUCTIONS:-0}" = 1 ] && command -v valgrind >/dev/null || exit 0
instructions() {
  valgrind --tool=callgrind --callgrind-out-file=/dev/null "$@" 2>&1 >/dev/null |
    sed -n 's/.*Collected : *//p'
}
for op in list extract add; do
  for who in before after; do
    bin=$BEFORE; [ "$who" = after ] && bin=$AFTER
    out=$WORK/out; rm -rf "$out" "$WORK/added.zip"; mkdir -p "$out"
    case $op in
      list) n=$(instructions "$bin/zipbuilder" list "$WORK/big.zip") ;;
      extract) n=$(instructions "$bin/unz_bench" "$WORK/corpus.zip" "$out") ;;
      add) n=$(cd "$WORK" && instructions "$bin/zipbuilder" add -r -6 added.zip corpus) ;;
    esac
    eval "ir_$who=\$n"
  done
  awk -v op="$op" -v b="$ir_before" -v a="$ir_after" 'BEGIN {
    printf "%-8s instructions before %.0f after %.0f, after/before %.4f\n", op, b, a, a / b }'
done
rm -rf "$WORK/out" "$WORK/added.zip"
