#!/bin/sh
# Extraction against its floor and its peers, each pair in the same run:
#   corpus     a mixed tree of about 100 MB: the engine (bench/unz_bench) against
#              `tar -x` of the same tree uncompressed (the floor), `7z x` and `unzip`
#   tiny       100,000 files of 0 to 200 bytes in 1,000 directories: the same tools
#   deflate64  an archive of about 100 MB written by `7z a -tzip -mm=Deflate64`:
#              the engine against `7z x`
# Every round extracts with each tool in turn into a fresh directory. Printed:
# the median wall and CPU times, and per-round ratios (peer / engine) as median,
# min and max. The work directory is in memory (/dev/shm) unless TMPDIR is set.
#   bench/extract_floor_bench.sh [BUILD_BIN_DIR]     CASES="corpus tiny deflate64" ROUNDS=5
if [ -z "${TMPDIR:-}" ] && [ -d /dev/shm ]; then TMPDIR=/dev/shm; export TMPDIR; fi
. "$(dirname "$0")/lib.sh"
use_build "${1:-}"
need_built unz_bench
need_peers tar 7z unzip python3
make_work
CASES=${CASES:-corpus tiny deflate64}

make_tiny_tree() {
  python3 - "$1" <<'PY'
import os, random, sys
root, rng = sys.argv[1], random.Random(23)
for i in range(100000):
    d = os.path.join(root, 'd%03d' % (i % 1000))
    os.makedirs(d, exist_ok=True)
    with open(os.path.join(d, 'f%06d.txt' % i), 'wb') as f:
        f.write(bytes(rng.randrange(97, 123) for _ in range(rng.randrange(201))))
PY
}

# run_case NAME ARCHIVE TREE TOOL...: ROUNDS rounds, each tool once per round.
run_case() {
  _name=$1 _archive=$2 _tree=$3
  shift 3
  for tool; do : >"$work/times.$tool"; done
  [ -n "$_tree" ] && (cd "$_tree" && tar -cf "$work/tree.tar" .)
  echo "$_name: $(find "${_tree:-$work/none}" -type f 2>/dev/null | wc -l) files, archive $(stat -c %s "$_archive") bytes; load average $(load_average)"
  _round=0
  while [ $_round -lt "$ROUNDS" ]; do
    for tool; do
      _out=$work/out.$tool
      rm -rf "$_out" && mkdir "$_out"
      case $tool in
        engine) measure "$work/times.$tool" "$bin/unz_bench" "$_archive" "$_out" ;;
        tar) measure "$work/times.$tool" tar -xf "$work/tree.tar" -C "$_out" ;;
        7z) measure "$work/times.$tool" 7z x -y -o"$_out" "$_archive" ;;
        unzip) measure "$work/times.$tool" unzip -q -o "$_archive" -d "$_out" ;;
      esac
    done
    _round=$((_round + 1))
  done
  if [ -n "$_tree" ]; then
    diff -r "$_tree" "$work/out.engine" >/dev/null && echo "  the engine's tree equals the source"
  else
    diff -r "$work/out.7z" "$work/out.engine" >/dev/null && echo "  the engine's tree equals 7z's"
  fi
  rm -rf "$work"/out.* "$work/tree.tar"
  for tool; do
    show "$tool" "$(medians "$work/times.$tool")"
    if [ "$tool" != engine ]; then
      echo "   $tool / engine: $(round_ratios "$tool" engine)" | tr -d '\n'
    fi
    echo
  done
  echo "  load average after: $(load_average)"
}

for case in $CASES; do
  case $case in
    corpus)
      take_corpus "$work/corpus" /usr/include 45 '*.h'
      take_corpus "$work/corpus" /usr/share/doc 15 '*'
      take_corpus "$work/corpus" /usr/lib/x86_64-linux-gnu 40 '*.so*'
      (cd "$work/corpus" && zip -qr -6 "$work/corpus.zip" .)
      run_case corpus "$work/corpus.zip" "$work/corpus" engine tar 7z unzip
      rm -rf "$work/corpus" "$work/corpus.zip" ;;
    tiny)
      make_tiny_tree "$work/tiny"
      (cd "$work/tiny" && zip -qr -6 "$work/tiny.zip" .)
      run_case "100,000 tiny files" "$work/tiny.zip" "$work/tiny" engine tar unzip
      rm -rf "$work/tiny" "$work/tiny.zip" ;;
    deflate64)
      take_corpus "$work/d64" /usr/lib/x86_64-linux-gnu 210 '*.so*'
      take_corpus "$work/d64" /usr/include 80 '*.h'
      (cd "$work/d64" && 7z a -tzip -mm=Deflate64 -bso0 -bsp0 "$work/d64.zip" . >/dev/null)
      rm -rf "$work/d64"
      run_case "Deflate64" "$work/d64.zip" "" engine 7z
      rm -f "$work/d64.zip" ;;
  esac
done
