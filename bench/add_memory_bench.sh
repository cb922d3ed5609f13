#!/bin/sh
# Adding one large file: peak memory, time and size of the member compressed in
# memory whole (ZIPDLL_WHOLE_BUFFER_LIMIT raised above its size) against the
# engine's default (members above its whole-buffer bound stream through zlib),
# beside `zip`, at levels 1 and 9 in the same run. One run each: peak memory
# does not vary between runs; the times are indicative.
# usage: bench/add_memory_bench.sh [BUILD_BIN_DIR] [FILE]
#   FILE defaults to 512 MiB of header text made in the work directory.
. "$(dirname "$0")/lib.sh"
use_build "${1:-}"
need_built zipbuilder
need_peers zip
make_work
file=${2:-}
if [ -z "$file" ]; then
  file=$work/big.bin
  find /usr/include -type f -name '*.h' | LC_ALL=C sort | head -4000 | xargs cat >"$work/seed.txt"
  while [ "$(stat -c %s "$file" 2>/dev/null || echo 0)" -lt 536870912 ]; do cat "$work/seed.txt" >>"$file"; done
  truncate -s 536870912 "$file"
fi
echo "file: $(stat -c %s "$file") bytes"

# run NAME COMMAND: peak resident KiB, wall seconds, archive bytes.
run() {
  rm -f "$work/out.zip"
  _start=$(date +%s.%N)
  /usr/bin/time -f "%M" -o "$work/rss" sh -c "$2" >/dev/null 2>&1
  _end=$(date +%s.%N)
  printf '%-34s peak %6d MiB  %7.2f s  %d bytes\n' "$1" "$(($(cat "$work/rss") / 1024))" \
    "$(echo "$_start $_end" | awk '{ print $2 - $1 }')" "$(stat -c %s "$work/out.zip")"
}
for level in 1 9; do
  run "zipbuilder -$level whole buffer" "ZIPDLL_WHOLE_BUFFER_LIMIT=1099511627776 '$zipbuilder' add -q -j -$level '$work/out.zip' '$file'"
  run "zipbuilder -$level default" "'$zipbuilder' add -q -j -$level '$work/out.zip' '$file'"
  run "zip -$level" "zip -q -j -$level '$work/out.zip' '$file'"
done
echo "load average: $(load_average)"
