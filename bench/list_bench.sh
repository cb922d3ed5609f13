#!/bin/sh
# Listing an archive of 100,000 members: `zipbuilder list` against `unzip -Z1`
# on the same file in the same run (hyperfine when installed, else a plain loop).
# usage: bench/list_bench.sh [BUILD_BIN_DIR]   (default: build/bin)
set -eu
here=$(cd "$(dirname "$0")" && pwd)
bin=${1:-$here/../build/bin}
zipbuilder=$bin/zipbuilder
members=${MEMBERS:-100000}
[ -x "$zipbuilder" ] || { echo "no zipbuilder in $bin" >&2; exit 1; }
command -v unzip >/dev/null || { echo "unzip is not installed" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
archive=$work/big.zip

# Small stored and deflated members in 1,000 directories, written by Python's zipfile.
python3 - "$archive" "$members" <<'PY'
import sys, zipfile
path, count = sys.argv[1], int(sys.argv[2])
with zipfile.ZipFile(path, 'w') as z:
    for i in range(count):
        method = zipfile.ZIP_DEFLATED if i % 2 else zipfile.ZIP_STORED
        z.writestr(zipfile.ZipInfo('dir%03d/member%06d.txt' % (i % 1000, i)), b'line %d\n' % i * (i % 7 + 1),
                   compress_type=method)
PY
echo "archive: $(stat -c %s "$archive") bytes, $members members"

# Both must see every member before they are timed.
ours=$("$zipbuilder" list "$archive" | tail -n 1)
theirs=$(unzip -Z1 "$archive" | wc -l)
echo "zipbuilder: $ours / unzip -Z1: $theirs names"

if command -v hyperfine >/dev/null; then
  hyperfine --warmup 3 --runs ${RUNS:-20} -N \
    "$zipbuilder list $archive" "unzip -Z1 $archive" --export-markdown "$work/result.md" >/dev/null
  cat "$work/result.md"
else
  for cmd in "$zipbuilder list $archive" "unzip -Z1 $archive"; do
    start=$(date +%s.%N)
    for _ in 1 2 3 4 5 6 7 8 9 10; do $cmd >/dev/null; done
    end=$(date +%s.%N)
    echo "$cmd: $(echo "($end - $start) / 10" | bc -l) s per run"
  done
fi
