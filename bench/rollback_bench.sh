#!/usr/bin/env bash
# What keeping the replaced files for a rollback costs the installer: its
# extraction of a 200-member update over an installation holding all 200 files,
# with the backup (hard links into the backup folder, the journal flushed before
# each step, everything removed at the end) against the same extraction without
# it, alternating in the same run.
# Usage: bench/rollback_bench.sh [BUILD_BIN_DIR]   (ROUNDS=N for more rounds)
ROUNDS=${ROUNDS:-9}
. "$(dirname "$0")/lib.sh"
use_build "${1:-}"
need_built zipbuilder rollback_bench
make_work
cd "$work"

# The installed version and the update: 200 files in 10 folders, 1 KB to 400 KB each.
python3 - <<'PY'
import os
for version, dest in ((1, 'old'), (2, 'new')):
    for i in range(200):
        path = '%s/dir%d/file%03d.txt' % (dest, i % 10, i)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        size = 1024 + (i * 7919) % (400 * 1024)
        line = b'version %d of file %d\n' % (version, i)
        with open(path, 'wb') as f:
            f.write((line * (size // len(line) + 1))[:size])
PY
(cd new && "$zipbuilder" add -r -P bench-password ../package.zip '*' >/dev/null)
echo "package: $(unzip -Z1 package.zip | wc -l) members, $(du -k package.zip | cut -f1) KB; installation: $(du -sk old | cut -f1) KB"
echo "load average: $(load_average)"

# Each round restores the installed version (not timed), then runs one way.
: >backup.times
: >direct.times
round=0
while [ $round -lt "$ROUNDS" ]; do
  for mode in backup direct; do
    rm -rf inst && cp -a old inst && sync
    measure "$mode.times" "$bin/rollback_bench" package.zip "$work/inst" bench-password "$mode" ||
      { echo "rollback_bench $mode failed" >&2; exit 1; }
  done
  round=$((round + 1))
done
cmp -s new/dir3/file123.txt inst/dir3/file123.txt || { echo "the update is not in place" >&2; exit 1; }
[ ! -e inst/.setup-rollback ] || { echo "the backup folder was left" >&2; exit 1; }

backup=$(medians backup.times)
direct=$(medians direct.times)
show "with the backup" "$backup"; echo
show "without it" "$direct"; echo "   with / without: $(ratio "$backup" "$direct")"
awk '{ print $1 }' backup.times | sort -n | awk 'NR == 1 { min = $1 } { max = $1 } END { printf "  with the backup, wall min %.3f max %.3f\n", min, max }'
awk '{ print $1 }' direct.times | sort -n | awk 'NR == 1 { min = $1 } { max = $1 } END { printf "  without it,      wall min %.3f max %.3f\n", min, max }'
