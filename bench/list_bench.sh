#!/bin/sh
# Listing an archive of 100,000 members: `zipbuilder list` against `unzip -Z1`
# on the same file in the same run, ROUNDS times each (default 5); prints the medians.
# usage: bench/list_bench.sh [BUILD_BIN_DIR]   (default: build/bin)
. "$(dirname "$0")/lib.sh"
use_build "${1:-}"
need_built zipbuilder
need_peers unzip python3
members=${MEMBERS:-100000}
make_work
archive=$work/big.zip

make_list_archive "$archive" "$members"
echo "archive: $(stat -c %s "$archive") bytes, $members members"

# Both must see every member before they are timed.
echo "zipbuilder: $("$zipbuilder" list "$archive" | tail -n 1) / unzip -Z1: $(unzip -Z1 "$archive" | wc -l) names"
ours=$(timed : "'$zipbuilder' list '$archive'")
peer=$(timed : "unzip -Z1 '$archive'")
show "zipbuilder list" "$ours"; echo
show "unzip -Z1" "$peer"; echo "   zipbuilder / unzip: $(ratio "$ours" "$peer")"
echo "medians of $ROUNDS runs; load average: $(load_average)"
