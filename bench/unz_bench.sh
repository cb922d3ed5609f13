#!/bin/sh
# Extraction speed of libunzdll.so (through bench/unz_bench.cpp) against unzip,
# 7z and bsdtar on one archive of a mixed corpus, and the engine's peak memory
# on a 1 GiB member.
#   bench/unz_bench.sh [BUILD_BIN_DIR] [WORK_DIR]
ROUNDS=${ROUNDS:-3}
. "$(dirname "$0")/lib.sh"
use_build "${1:-}"
need_built unz_bench
need_peers zip unzip 7z bsdtar
BIN=$bin
WORK=${2:-/tmp/unz-bench}
mkdir -p "$WORK"

# Corpus: thousands of small text files and a few large ones.
if [ ! -f "$WORK/corpus.zip" ]; then
  rm -rf "$WORK/corpus" && mkdir -p "$WORK/corpus/big"
  for d in c++ linux x86_64-linux-gnu llvm-14 unicode vulkan; do
    [ -d "/usr/include/$d" ] && cp -r "/usr/include/$d" "$WORK/corpus/"
  done
  for f in /usr/lib/x86_64-linux-gnu/libclang-14.so.14.0.6 /usr/bin/cmake; do
    [ -f "$f" ] && cp "$f" "$WORK/corpus/big/"
  done
  seq 1 3000000 > "$WORK/corpus/big/numbers.txt"
  (cd "$WORK/corpus" && zip -qr -9 ../corpus.zip .)
fi
echo "load average before: $(load_average)"
echo "corpus: $(find "$WORK/corpus" -type f | wc -l) files, $(du -sm "$WORK/corpus" | cut -f1) MB; archive $(du -sm "$WORK/corpus.zip" | cut -f1) MB"

for tool in unzip engine 7z bsdtar; do : > "$WORK/times.$tool"; done
for round in $(seq 1 "$ROUNDS"); do
  for tool in unzip engine 7z bsdtar; do
    OUT="$WORK/out.$tool.$round"; rm -rf "$OUT"; mkdir -p "$OUT"; sync
    case $tool in
      unzip) measure "$WORK/times.$tool" unzip -q -o "$WORK/corpus.zip" -d "$OUT" || true ;;
      engine) measure "$WORK/times.$tool" "$BIN/unz_bench" "$WORK/corpus.zip" "$OUT" || true ;;
      7z) measure "$WORK/times.$tool" 7z x -y -o"$OUT" "$WORK/corpus.zip" || true ;;
      bsdtar) measure "$WORK/times.$tool" bsdtar -xf "$WORK/corpus.zip" -C "$OUT" || true ;;
    esac
  done
done
diff -r "$WORK/out.unzip.1" "$WORK/out.engine.1" >/dev/null && echo "engine output equals unzip's"
E=$(medians "$WORK/times.engine")
for tool in unzip engine 7z bsdtar; do
  M=$(medians "$WORK/times.$tool")
  show "$tool" "$M"; echo "   / the engine: $(ratio "$M" "$E")"
done
echo "medians of $ROUNDS rounds; load average after: $(load_average)"
rm -rf "$WORK"/out.*

# Peak memory on one 1 GiB member.
if [ ! -f "$WORK/huge.zip" ]; then
  mkdir -p "$WORK/huge" && head -c 1073741824 /dev/zero | tr '\0' 'x' > "$WORK/huge/huge.txt"
  (cd "$WORK/huge" && zip -q -1 ../huge.zip huge.txt) && rm -rf "$WORK/huge"
fi
rm -rf "$WORK/out.huge" && mkdir -p "$WORK/out.huge"
/usr/bin/time -f "1 GiB member: %e s, peak RSS %M KiB" "$BIN/unz_bench" "$WORK/huge.zip" "$WORK/out.huge" >/dev/null
rm -rf "$WORK/out.huge"
