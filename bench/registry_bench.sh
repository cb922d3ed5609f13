#!/bin/sh
# Reading a registry file that holds one key of 20,000 levels (60 KB): the
# installer's start-up (`setup --unattended`, which reads system.reg for its
# App Paths entry) timed with its peak memory, against the same start-up on a
# file of the same size made of ordinary short keys, in the same run.
# usage: bench/registry_bench.sh [BUILD_BIN_DIR]   (default: build/bin)
. "$(dirname "$0")/lib.sh"
use_build "${1:-}"
need_built setup libunzdll.so
need_peers python3 /usr/bin/time
levels=${LEVELS:-20000}
make_work
cp "$bin/setup" "$bin/libunzdll.so" "$work/"
printf 'Update\nbench.exe\n' >"$work/setup.DAT"

python3 - "$work" "$levels" <<'PY'
import os, sys
work, levels = sys.argv[1], int(sys.argv[2])
head = 'WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n'
app = '[Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\App Paths\\\\other.exe]\n"Path"="C:\\\\x"\n'
deep = '[' + '\\\\'.join(['k'] * levels) + ']\n"v"="deep"\n'
size = len(deep)
flat, i = '', 0
while len(flat) < size:
    flat += '[Software\\\\Flat\\\\k%d]\n"v"="flat"\n' % i
    i += 1
for name, body in (('deep', deep), ('flat', flat)):
    os.makedirs(os.path.join(work, name), exist_ok=True)
    with open(os.path.join(work, name, 'system.reg'), 'w') as f:
        f.write(head + body + app)
PY

for kind in deep flat; do
  export WINEPREFIX=$work/$kind
  : >"$work/$kind.t"
  i=0
  while [ $i -lt "$ROUNDS" ]; do
    measure "$work/$kind.t" "$work/setup" --unattended || true
    i=$((i + 1))
  done
  status=0
  /usr/bin/time -f "%M" -o "$work/rss" "$work/setup" --unattended >"$work/out" 2>/dev/null || status=$?
  show "$kind: system.reg $(stat -c %s "$work/$kind/system.reg") bytes" "$(medians "$work/$kind.t")"
  echo "  peak RSS $(awk '{ printf "%.1f", $1 / 1024 }' "$work/rss") MB, exit $status, $(cat "$work/out")"
done
echo "medians of $ROUNDS runs; load average: $(load_average)"
