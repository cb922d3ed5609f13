#!/bin/sh
# Adding beyond the classic format's limits, against `zip` and `7z a -tzip` on
# the same input in the same run: 100,000 small files (0 to 200 bytes, in 1,000
# directories; a ZIP64 end record) at the default level, and one 5 GiB file of
# text (ZIP64 sizes) at level 1. Medians of ROUNDS runs for the small files
# (default 3); the large file once (BIG_ROUNDS, default 1).
# usage: bench/add_zip64_bench.sh [BUILD_BIN_DIR]   (CASES="small big" to pick)
ROUNDS=${ROUNDS:-3}
. "$(dirname "$0")/lib.sh"
use_build "${1:-}"
need_built zipbuilder
need_peers zip 7z unzip python3
make_work
cd "$work"

# row NAME FILE: the medians of FILE's runs against ours.
compare() {
  show "$1" "$2"
  [ "$1" = zipbuilder ] && echo || echo "   peer / zipbuilder: $(ratio "$2" "$ours")"
}

case " ${CASES:-small big} " in *" small "*)
  python3 - <<'PY'
import os
for i in range(100000):
    d = 'small/d%03d' % (i % 1000)
    if i < 1000:
        os.makedirs(d)
    with open('%s/f%06d.txt' % (d, i), 'wb') as f:
        f.write(b'%d ' % i * (i % 40))
PY
  echo "100,000 small files, $(du -sb small | cut -f1) bytes"
  ours=$(timed "rm -f a.zip" "'$zipbuilder' add -r a.zip small")
  zip=$(timed "rm -f z.zip" "zip -q -r z.zip small")
  seven=$(timed "rm -f s.zip" "7z a -tzip -bso0 -bsp0 s.zip small")
  [ "$(unzip -Z1 a.zip | wc -l)" -ge 100000 ] || { echo "our archive lacks members" >&2; exit 1; }
  compare zipbuilder "$ours"
  compare "zip -r" "$zip"
  compare "7z a -tzip" "$seven"
  echo "  sizes: ours $(stat -c %s a.zip), zip $(stat -c %s z.zip), 7z $(stat -c %s s.zip) bytes"
  rm -rf small a.zip z.zip s.zip
;; esac

case " ${CASES:-small big} " in *" big "*)
  find /usr/include -type f -name '*.h' | LC_ALL=C sort | head -4000 | xargs cat >seed.txt
  while [ "$(stat -c %s big.txt 2>/dev/null || echo 0)" -lt 5368709120 ]; do cat seed.txt seed.txt seed.txt seed.txt >>big.txt; done
  truncate -s 5368709120 big.txt
  echo "one file of $(stat -c %s big.txt) bytes, level 1"
  ROUNDS=${BIG_ROUNDS:-1}
  ours=$(timed "rm -f a.zip" "'$zipbuilder' add -j -1 a.zip big.txt")
  zip=$(timed "rm -f z.zip" "zip -q -j -1 z.zip big.txt")
  seven=$(timed "rm -f s.zip" "7z a -tzip -mx1 -bso0 -bsp0 s.zip big.txt")
  python3 -c "import sys, zipfile; i = zipfile.ZipFile('a.zip').infolist()[0]; sys.exit(i.file_size != 5368709120)" ||
    { echo "our archive does not hold the true size" >&2; exit 1; }
  compare zipbuilder "$ours"
  compare "zip -1" "$zip"
  compare "7z a -tzip -mx1" "$seven"
  echo "  sizes: ours $(stat -c %s a.zip), zip $(stat -c %s z.zip), 7z $(stat -c %s s.zip) bytes"
;; esac
echo "load average: $(load_average)"
