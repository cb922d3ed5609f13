#!/bin/sh
# Listing, extracting and adding with two builds of the tree in the same run
# (say main before and after a change), each beside its peer tool, rounds
# interleaved so that a changing machine load hits both builds alike. Prints the
# median wall and CPU seconds per tool and the ratios after/before and to the peer.
#   bench/before_after.sh BEFORE_BIN AFTER_BIN [WORK_DIR]
# BIN directories hold zipbuilder, unz_bench and the engine libraries.
# INSTRUCTIONS=1 adds the instruction counts of one run of each under callgrind.
set -eu
BEFORE=$(cd "$1" && pwd)
AFTER=$(cd "$2" && pwd)
WORK=${3:-/tmp/before-after-bench}
ROUNDS=${ROUNDS:-5}
MEMBERS=${MEMBERS:-100000}
for b in "$BEFORE" "$AFTER"; do
  for p in zipbuilder unz_bench; do [ -x "$b/$p" ] || { echo "no $p in $b" >&2; exit 1; }; done
done
for t in zip unzip python3; do command -v $t >/dev/null || { echo "$t is not installed" >&2; exit 1; }; done
mkdir -p "$WORK"

# Corpus for adding and extracting: headers (many small files) and one large text.
if [ ! -f "$WORK/corpus.zip" ]; then
  rm -rf "$WORK/corpus" && mkdir -p "$WORK/corpus"
  for d in c++ linux x86_64-linux-gnu; do [ -d "/usr/include/$d" ] && cp -r "/usr/include/$d" "$WORK/corpus/"; done
  seq 1 2000000 > "$WORK/corpus/numbers.txt"
  (cd "$WORK/corpus" && zip -qr -9 ../corpus.zip .)
fi
# Archive for listing: many small members (ZIP64 end record past 65535 members).
if [ ! -f "$WORK/big.zip" ]; then
  python3 - "$WORK/big.zip" "$MEMBERS" <<'PY'
import sys, zipfile
path, count = sys.argv[1], int(sys.argv[2])
with zipfile.ZipFile(path, 'w') as z:
    for i in range(count):
        method = zipfile.ZIP_DEFLATED if i % 2 else zipfile.ZIP_STORED
        z.writestr(zipfile.ZipInfo('dir%03d/member%06d.txt' % (i % 1000, i)), b'line %d\n' % i * (i % 7 + 1),
                   compress_type=method)
PY
fi
echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "corpus: $(find "$WORK/corpus" -type f | wc -l) files, $(du -sm "$WORK/corpus" | cut -f1) MB; list archive: $MEMBERS members"

# Runs "$@" once; appends "wall cpu" (seconds) to the file $RESULT.
measure() {
  s=$(date +%s.%N)
  /usr/bin/time -f "%U %S" -o "$WORK/cpu" "$@" >/dev/null 2>&1 || true
  e=$(date +%s.%N)
  echo "$s $e $(cat "$WORK/cpu")" | awk '{printf "%.3f %.3f\n", $2 - $1, $3 + $4}' >> "$RESULT"
}


for op in list extract add; do for who in before after peer; do : > "$WORK/times.$op.$who"; done; done
for round in $(seq 1 "$ROUNDS"); do
  for op in list extract add; do
    for who in before after peer; do
      RESULT=$WORK/times.$op.$who
      bin=$BEFORE; [ "$who" = after ] && bin=$AFTER
      out=$WORK/out; rm -rf "$out" "$WORK/added.zip"; mkdir -p "$out"; sync
      case $op.$who in
        list.peer) measure unzip -Z1 "$WORK/big.zip" ;;
        list.*) measure "$bin/zipbuilder" list "$WORK/big.zip" ;;
        extract.peer) measure unzip -q -o "$WORK/corpus.zip" -d "$out" ;;
        extract.*) measure "$bin/unz_bench" "$WORK/corpus.zip" "$out" ;;
        add.peer) (cd "$WORK" && measure zip -r -q -6 added.zip corpus) ;;
        add.*) (cd "$WORK" && measure "$bin/zipbuilder" add -r -6 added.zip corpus) ;;
      esac
    done
  done
done
rm -rf "$WORK/out" "$WORK/added.zip" "$WORK/cpu"

median() { awk -v col="$2" '{print $col}' "$1" | sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
for op in list extract add; do
  bw=$(median "$WORK/times.$op.before" 1) bc=$(median "$WORK/times.$op.before" 2)
  aw=$(median "$WORK/times.$op.after" 1) ac=$(median "$WORK/times.$op.after" 2)
  pw=$(median "$WORK/times.$op.peer" 1) pc=$(median "$WORK/times.$op.peer" 2)
  awk -v op="$op" -v bw="$bw" -v bc="$bc" -v aw="$aw" -v ac="$ac" -v pw="$pw" -v pc="$pc" 'BEGIN {
    printf "%-8s before %.3f s wall %.3f s CPU | after %.3f s wall %.3f s CPU | peer %.3f s wall %.3f s CPU\n", op, bw, bc, aw, ac, pw, pc
    printf "         after/before: wall %.3f CPU %.3f | peer/before %.2f, peer/after %.2f (wall)\n", aw / bw, ac / bc, pw / bw, pw / aw
  }'
done
echo "medians of $ROUNDS rounds; load average after: $(cut -d' ' -f1-3 /proc/loadavg)"

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
