#!/bin/sh
# Renaming one member of a 100,000-member archive (`zipbuilder rename` against
# `7z rn`) and copying 1,000 members of a 35 MB archive into another
# (`zipbuilder copy` against `zip -U --out` and against extracting and re-adding
# with unzip and zip), and renaming one member of the 35 MB archive, each
# against a plain `cp` of the archive, on the same files in alternating rounds
# (ROUNDS, default 5). Every timed run starts from a fresh copy of the input
# (the copy is not timed). Printed: medians of wall and CPU time, and per-round
# ratios of wall times (median, min, max).
# usage: bench/rename_copy_bench.sh [BUILD_BIN_DIR]   (default: build/bin; TMPDIR picks the file system)
. "$(dirname "$0")/lib.sh"
use_build "${1:-}"
need_built zipbuilder
need_peers 7z zip unzip python3 /usr/bin/time
make_work
cd "$work"

python3 - <<'PY'
import os, random, zipfile
random.seed(10)
# 100,000 small members in 1,000 directories (a ZIP64 end record: more than 65535).
with zipfile.ZipFile('many.zip', 'w') as z:
    for i in range(100000):
        method = zipfile.ZIP_DEFLATED if i % 2 else zipfile.ZIP_STORED
        z.writestr(zipfile.ZipInfo('dir%03d/member%06d.txt' % (i % 1000, i)), b'line %d\n' % i * (i % 7 + 1),
                   compress_type=method)
# 35 MB of 3,500 incompressible members, and a 10 MB destination of 2,000 others.
with zipfile.ZipFile('source.zip', 'w', zipfile.ZIP_DEFLATED) as z:
    for i in range(3500):
        z.writestr('src/part%04d.bin' % i, os.urandom(10000))
with zipfile.ZipFile('destination.zip', 'w', zipfile.ZIP_DEFLATED) as z:
    for i in range(2000):
        z.writestr('dst/own%04d.bin' % i, os.urandom(5000))
with open('names', 'w') as f:
    for i in range(0, 3000, 3):
        f.write('src/part%04d.bin\n' % i)
PY
names=$(tr '\n' ' ' < names)
echo "many.zip: $(stat -c %s many.zip) bytes, 100000 members"
echo "source.zip: $(stat -c %s source.zip) bytes, 3500 members; destination.zip: $(stat -c %s destination.zip) bytes, 2000 members"
echo "runs per command: $ROUNDS (median); load average: $(load_average)"

# Both renamers must give the same names.
cp many.zip a.zip && "$zipbuilder" rename a.zip dir000/member000000.txt=renamed.txt >/dev/null
cp many.zip b.zip && 7z rn -bso0 b.zip dir000/member000000.txt renamed.txt
[ "$(unzip -Z1 a.zip | sort | md5sum)" = "$(unzip -Z1 b.zip | sort | md5sum)" ] || { echo "renames differ" >&2; exit 1; }
unzip -tq a.zip >/dev/null

echo
echo "Renaming one member of many.zip (100,000 members)"
alternate rename "cp many.zip w.zip" "$zipbuilder rename w.zip dir000/member000000.txt=renamed.txt" \
  7z "cp many.zip w.zip" "7z rn -bso0 w.zip dir000/member000000.txt renamed.txt" \
  cp "rm -f w.zip" "cp many.zip w.zip"
show "zipbuilder rename" "$(medians "$work/times.rename")"; echo
show "7z rn" "$(medians "$work/times.7z")"; echo "   7z / zipbuilder: $(round_ratios 7z rename)"
show "cp" "$(medians "$work/times.cp")"; echo "   zipbuilder / cp: $(round_ratios rename cp)"

echo
echo "Renaming one member of source.zip (35 MB, 3,500 members)"
alternate rename "cp source.zip w.zip" "$zipbuilder rename w.zip src/part1750.bin=renamed.bin" \
  7z "cp source.zip w.zip" "7z rn -bso0 w.zip src/part1750.bin renamed.bin" \
  cp "rm -f w.zip" "cp source.zip w.zip"
show "zipbuilder rename" "$(medians "$work/times.rename")"; echo
show "7z rn" "$(medians "$work/times.7z")"; echo "   7z / zipbuilder: $(round_ratios 7z rename)"
show "cp" "$(medians "$work/times.cp")"; echo "   zipbuilder / cp: $(round_ratios rename cp)"

# The copy must give what the peers give: the same member contents.
cp destination.zip d.zip && "$zipbuilder" copy -o source.zip d.zip $names >/dev/null 2>&1
unzip -tq d.zip >/dev/null
[ "$(unzip -Z1 d.zip | wc -l)" = 3000 ] || { echo "copy gave $(unzip -Z1 d.zip | wc -l) members" >&2; exit 1; }

echo
echo "Copying 1,000 members of source.zip into destination.zip"
alternate copy "cp destination.zip w.zip" "$zipbuilder copy -o source.zip w.zip $names" \
  select "rm -f sel.zip" "zip -q -U source.zip $names --out sel.zip" \
  readd "cp destination.zip w.zip; rm -rf x" "unzip -q source.zip $names -d x && cd x && zip -q -r ../w.zip src" \
  cp_source "rm -f w.zip" "cp source.zip w.zip" \
  cp_result "rm -f w.zip" "cp d.zip w.zip"
show "zipbuilder copy" "$(medians "$work/times.copy")"; echo
show "zip -U --out (select only)" "$(medians "$work/times.select")"; echo "   zip / zipbuilder: $(round_ratios select copy)"
show "unzip + zip (re-adding)" "$(medians "$work/times.readd")"; echo "   unzip+zip / zipbuilder: $(round_ratios readd copy)"
show "cp source.zip (35 MB)" "$(medians "$work/times.cp_source")"; echo "   zipbuilder / cp: $(round_ratios copy cp_source)"
show "cp of the result (20 MB)" "$(medians "$work/times.cp_result")"; echo "   zipbuilder / cp: $(round_ratios copy cp_result)"
echo "medians of $ROUNDS alternating rounds; load average after: $(load_average)"
