#!/bin/sh
# The Windows build under Wine against the Linux build on the same files in the
# same run: adding the mixed corpus (zipbuilder.exe with zlib, one thread,
# against zipbuilder with libdeflate) and extracting one archive (the one the
# Linux build made) by each. Also times a start of zipbuilder.exe that does
# nothing, the fixed cost of a Wine process. ROUNDS defaults to 3.
# usage: bench/windows_bench.sh [BUILD_BIN_DIR [WINDOWS_BIN_DIR]]
#        (defaults: build/bin and build-win64/bin, made by scripts/build-windows.sh)
ROUNDS=${ROUNDS:-3}
. "$(dirname "$0")/lib.sh"
use_build "${1:-}"
need_built zipbuilder
winbin=$(cd "${2:-$here/../build-win64/bin}" && pwd)
[ -e "$winbin/zipbuilder.exe" ] || { echo "no zipbuilder.exe in $winbin (scripts/build-windows.sh)" >&2; exit 1; }
wine=/usr/lib/wine/wine64
[ -x "$wine" ] || { echo "$wine is not installed" >&2; exit 1; }
need_peers unzip
make_work

# A prefix of the Windows build's own, its server kept running so that no
# measured start pays for it.
export WINEPREFIX=${WINEPREFIX:-$winbin/../wineprefix} WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
mkdir -p "$WINEPREFIX"
/usr/lib/wine/wineserver -p 60 </dev/null >/dev/null 2>&1
env -u DISPLAY "$wine" wineboot -i </dev/null >/dev/null 2>&1
wintool="env -u DISPLAY '$wine' '$winbin/zipbuilder.exe'"

corpus=$work/corpus
mkdir -p "$corpus"
take_mixed_corpus "$corpus"
# Names Windows cannot hold apart or at all: those differing only in letter
# case (kernel headers) keep their first spelling; names with : * ? " < > | \ go.
find "$corpus" -type f | LC_ALL=C sort | awk '{ l = tolower($0); if (seen[l]++) print }' | tr '\n' '\0' |
  xargs -0 -r rm -f
find "$corpus" -name '*[:*?"<>|\\]*' -exec rm -rf {} + 2>/dev/null || true
echo "corpus: $(find "$corpus" -type f | wc -l) files, $(du -sb "$corpus" | cut -f1) bytes"

cd "$work"
start=$(timed ":" "$wintool --version")
linux_add=$(timed "rm -f linux.zip" "'$zipbuilder' add -q -r linux.zip corpus")
windows_add=$(timed "rm -f windows.zip" "$wintool add -q -r windows.zip corpus")
for archive in linux.zip windows.zip; do
  unzip -tq "$archive" >/dev/null || { echo "$archive does not test clean" >&2; exit 1; }
done
linux_extract=$(timed "rm -rf out-linux" "'$zipbuilder' extract -d out-linux linux.zip")
windows_extract=$(timed "rm -rf out-windows" "$wintool extract -d out-windows linux.zip")
diff -r out-linux out-windows >/dev/null || { echo "the two extractions differ" >&2; exit 1; }

show "zipbuilder.exe --version" "$start"; echo
show "add, Linux" "$linux_add"; echo "  $(stat -c %s linux.zip) bytes"
show "add, Windows under Wine" "$windows_add"; echo "  $(stat -c %s windows.zip) bytes"
show "extract, Linux" "$linux_extract"; echo
show "extract, Windows under Wine" "$windows_extract"; echo
echo "Windows / Linux: add $(ratio "$windows_add" "$linux_add"); extract $(ratio "$windows_extract" "$linux_extract")"
echo "medians of $ROUNDS runs; load average: $(load_average)"
