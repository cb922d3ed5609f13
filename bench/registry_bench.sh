#!/bin/sh
# Reading a registry file that holds one key of 20,000 levels (60 KB): the
# installer's start-up (`setup --unattended`, which reads system.reg for its
# App Paths entry) timed with its peak memory, against the same start-up on a
# file of the same size made of ordinary short keys, in the same run.
# usage: bench/registry_bench.sh [BUILD_BIN_DIR]   (default: build/bin)
set -eu
here=$(cd "$(dirname "$0")" && pwd)
bin=${1:-$here/../build/bin}
levels=${LEVELS:-20000}
[ -x "$bin/setup" ] || { echo "no setup in $bin" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
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
  WINEPREFIX=$work/$kind python3 - "$work" "$kind" <<'PY'
import os, resource, subprocess, sys, time
work, kind = sys.argv[1], sys.argv[2]
size = os.path.getsize(os.path.join(work, kind, 'system.reg'))
runs, best = 5, None
for _ in range(runs):
    start = time.perf_counter()
    out = subprocess.run([os.path.join(work, 'setup'), '--unattended'], capture_output=True, text=True)
    wall = time.perf_counter() - start
    best = wall if best is None else min(best, wall)
peak = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss
print('%s: system.reg %d bytes, best of %d: %.3f s, peak RSS %.1f MB, exit %d, %s'
      % (kind, size, runs, best, peak / 1024, out.returncode, out.stdout.strip()))
PY
done
