#!/bin/sh
# Listing an archive of 100,000 members: `zipbuilder list` against `unzip -Z1`
# on the same file in alternating rounds (ROUNDS, default 5); prints the medians
# and the per-round ratio of wall times (median, min, max). The output goes to
# /dev/null, which both write to the same way.
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
alternate ours : "'$zipbuilder' list '$archive'" peer : "unzip -Z1 '$archive'"
show "zipbuilder list" "$(medians "$work/times.ours")"; echo
show "unzip -Z1" "$(medians "$work/times.peer")"; echo "   unzip / zipbuilder: $(round_ratios peer ours)"
echo "medians of $ROUNDS alternating rounds; load average: $(load_average)"
