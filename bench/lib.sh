# What every benchmark script shares, sourced first: `. "$(dirname "$0")/lib.sh"`.
# The preamble (the build's programs, the peer tools, a work directory removed
# at the end) and one statistics rule: every figure is the median of ROUNDS
# runs (default 5; a script may set another default before sourcing this), of
# wall seconds and of CPU seconds (user + system; the steadier of the two on a
# shared machine).
set -eu
here=$(cd "$(dirname "$0")" && pwd)
ROUNDS=${ROUNDS:-5}

# use_build [DIR]: $bin, the build's program directory (default build/bin), and $zipbuilder in it.
use_build() {
  bin=$(cd "${1:-$here/../build/bin}" && pwd)
  zipbuilder=$bin/zipbuilder
}

# need_built NAME...: stops unless each is in $bin.
need_built() {
  for program; do [ -e "$bin/$program" ] || { echo "no $program in $bin" >&2; exit 1; }; done
}

# need_peers TOOL...: stops unless each is installed.
need_peers() {
  for tool; do command -v "$tool" >/dev/null || { echo "$tool is not installed" >&2; exit 1; }; done
}

# make_work: $work, a fresh directory removed at exit (KEEP_WORK=1 keeps and names it).
make_work() {
  work=$(mktemp -d "${TMPDIR:-/tmp}/zbbench.XXXXXX")
  if [ -n "${KEEP_WORK:-}" ]; then echo "work dir: $work"; else trap 'rm -rf "$work"' EXIT; fi
}

load_average() { cut -d' ' -f1-3 /proc/loadavg; }

# take_corpus DIR SOURCE MB PATTERN: copies files matching PATTERN from the system
# directory SOURCE into DIR, in sorted order until about MB megabytes: the same
# system gives the same corpus every run.
take_corpus() {
  _dest=$1/$(echo "$2" | tr / _) _budget=$(($3 * 1024 * 1024))
  [ -d "$2" ] || return 0
  mkdir -p "$_dest"
  (cd "$2" && find . -type f -name "$4" -size -8M -printf '%s %p\n' 2>/dev/null | LC_ALL=C sort -k2 |
    awk -v budget="$_budget" '{ if (total >= budget) exit; total += $1; sub(/^[0-9]+ /, ""); print }' |
    tr '\n' '\0' | xargs -0 cp -p --parents -t "$_dest" 2>/dev/null) || true
}

# take_mixed_corpus DIR: about 90 MB of text, source code, shared libraries and
# PNG images (already compressed), the corpus of the adding benchmarks.
take_mixed_corpus() {
  take_corpus "$1" /usr/share/doc 15 '*'
  take_corpus "$1" /usr/include 25 '*'
  take_corpus "$1" /usr/lib/x86_64-linux-gnu 40 '*.so*'
  take_corpus "$1" /usr/share 10 '*.png'
}

# make_list_archive PATH COUNT: an archive for listing, written by Python's
# zipfile: COUNT small stored and deflated members in 1,000 directories (a ZIP64
# end record past 65535 members).
make_list_archive() {
  python3 - "$1" "$2" <<'PY'
import sys, zipfile
path, count = sys.argv[1], int(sys.argv[2])
with zipfile.ZipFile(path, 'w') as z:
    for i in range(count):
        method = zipfile.ZIP_DEFLATED if i % 2 else zipfile.ZIP_STORED
        z.writestr(zipfile.ZipInfo('dir%03d/member%06d.txt' % (i % 1000, i)), b'line %d\n' % i * (i % 7 + 1),
                   compress_type=method)
PY
}

# measure FILE COMMAND...: runs COMMAND once, its output discarded, and appends
# "wall cpu" seconds to FILE; returns COMMAND's status.
measure() {
  _into=$1
  shift
  _start=$(date +%s.%N)
  _status=0
  /usr/bin/time -f "%U %S" -o "$_into.cpu" "$@" >/dev/null 2>&1 || _status=$?
  _end=$(date +%s.%N)
  echo "$_start $_end $(tail -n 1 "$_into.cpu")" | awk '{ printf "%.4f %.3f\n", $2 - $1, $3 + $4 }' >>"$_into"
  rm -f "$_into.cpu"
  return $_status
}

# median FILE [COLUMN]: the median of a column of what measure wrote (1 wall, the default; 2 CPU).
median() {
  awk -v c="${2:-1}" '{ print $c }' "$1" | sort -n |
    awk '{ v[NR] = $1 } END { printf "%.3f", v[int((NR + 1) / 2)] }'
}

# medians FILE: "wall cpu", the medians of both columns.
medians() { echo "$(median "$1" 1) $(median "$1" 2)"; }

# timed SETUP COMMAND: runs the shell line SETUP (not timed), then the shell line
# COMMAND, ROUNDS times; prints "wall cpu", the medians. Stops when COMMAND fails.
timed() {
  : >"$work/.times"
  _round=0
  while [ $_round -lt "$ROUNDS" ]; do
    sh -c "$1" >/dev/null 2>&1
    measure "$work/.times" sh -c "$2" || { echo "failed: $2" >&2; exit 1; }
    _round=$((_round + 1))
  done
  medians "$work/.times"
}

# ratio A B: A / B for both fields of two "wall cpu" medians, "wall x, CPU y".
ratio() {
  echo "$1 $2" | awk '{ printf "wall %.2f, CPU %s", $1 / $3, ($4 > 0 ? sprintf("%.2f", $2 / $4) : "-") }'
}

# show WHAT "wall cpu": one aligned line (no newline).
show() { echo "$2" | awk -v what="$1" '{ printf "  %-28s wall %6.3f s  CPU %6.3f s", what, $1, $2 }'; }

# alternate NAME SETUP COMMAND [NAME SETUP COMMAND]...: ROUNDS rounds, each
# running every COMMAND once in the order given, its shell line SETUP first (not
# timed); the times go to $work/times.NAME (for medians and round_ratios).
# Alternating puts every command under the same load. Stops when one fails.
alternate() {
  _args_file=$work/.alternate
  : >"$_args_file"
  while [ $# -ge 3 ]; do
    printf '%s\n%s\n%s\n' "$1" "$2" "$3" >>"$_args_file"
    : >"$work/times.$1"
    shift 3
  done
  _round=0
  while [ $_round -lt "$ROUNDS" ]; do
    while IFS= read -r _name && IFS= read -r _setup && IFS= read -r _command; do
      sh -c "$_setup" >/dev/null 2>&1 </dev/null
      measure "$work/times.$_name" sh -c "$_command" </dev/null || { echo "failed: $_command" >&2; exit 1; }
    done <"$_args_file"
    _round=$((_round + 1))
  done
}

# row WHAT NAME [A B TEXT]: the medians of alternate's NAME as one line, which
# with A and B ends in "TEXT: " and round_ratios A B.
row() {
  show "$1" "$(medians "$work/times.$2")"
  if [ $# -ge 5 ]; then echo "   $5: $(round_ratios "$3" "$4")"; else echo; fi
}

# round_ratios A B: A's wall time over B's in each round of alternate, as
# "median M, min m, max x" (above 1: A took longer).
round_ratios() {
  paste -d' ' "$work/times.$1" "$work/times.$2" | awk '{ print ($3 > 0 ? $1 / $3 : 0) }' | sort -n |
    awk '{ v[NR] = $1 } END { printf "median %.2f, min %.2f, max %.2f", v[int((NR + 1) / 2)], v[1], v[NR] }'
}
