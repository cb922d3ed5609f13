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

# rename_rounds TITLE ARCHIVE OLD NEW: renaming one member, by us and by 7z,
# against a cp of the archive.
rename_rounds() {
  echo
  echo "Renaming one member of $1"
  alternate rename "cp $2 w.zip" "$zipbuilder rename w.zip $3=$4" \
    7z "cp $2 w.zip" "7z rn -bso0 w.zip $3 $4" \
    cp "rm -f w.zip" "cp $2 w.zip"
  row "zipbuilder rename" rename
  row "7z rn" 7z 7z rename "7z / zipbuilder"
  row "cp" cp rename cp "zipbuilder / cp"
}
rename_rounds "many.zip (100,000 members)" many.zip dir000/member000000.txt renamed.txt
rename_rounds "source.zip (35 MB, 3,500 members)" source.zip src/part1750.bin renamed.bin

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
row "zipbuilder copy" copy
row "zip -U --out (select only)" select select copy "zip / zipbuilder"
row "unzip + zip (re-adding)" readd readd copy "unzip+zip / zipbuilder"
row "cp source.zip (35 MB)" cp_source copy cp_source "zipbuilder / cp"
row "cp of the result (20 MB)" cp_result copy cp_result "zipbuilder / cp"
echo "medians of $ROUNDS alternating rounds; load average after: $(load_average)"
