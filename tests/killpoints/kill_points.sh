#!/usr/bin/env bash
# kill_points.sh ZIPBUILDER KILLATWRITE.so
#
# Every rewriting command is run once to completion, which gives its result and
# its number of writes W, then again from the same inputs and killed with
# SIGKILL before its write number 1, W/4, W/2, 3W/4 and W. After each kill
# every file of the directory (the private temporary directory included) must
# be as it was before the run or as the complete run left it: no partial
# output, no temporary file. (A command that ends by erasing its input, as the
# self-extractor conversions do, may be killed after its result is in place
# and before the input is gone: both are then whole.) The Trash that erasing
# with undo fills lies outside the checked directory, on another file system
# where there is one (so that trashing copies): it may hold only whole files.
set -uo pipefail
tool=$(realpath "$1")
shim=$(realpath "$2")
[ -x "$tool" ] && [ -f "$shim" ] || { echo "missing $tool or $shim"; exit 77; }
# Sanitizer builds load their runtime first; the shim goes after it.
export ASAN_OPTIONS="${ASAN_OPTIONS:-}:verify_asan_link_order=0:detect_leaks=0"
umask 022

work=$(mktemp -d)
trashes=$work
if [ -d /dev/shm ] && [ -w /dev/shm ] && [ "$(stat -c %d /dev/shm)" != "$(stat -c %d "$work")" ]; then
  trashes=$(mktemp -d /dev/shm/kill-points-trash.XXXXXX)
fi
trap 'rm -rf "$work" "$trashes"' EXIT
failures=0

# The inputs every case starts from, made once.
data=$work/data
mkdir -p "$data/tree"
for i in 1 2 3 4 5 6; do head -c $((40000 * i)) /dev/urandom >"$data/tree/random$i.bin"; done
for i in 1 2 3; do seq 1 $((5000 * i)) >"$data/tree/text$i.txt"; done
(cd "$data" && "$tool" add -r a.zip tree >/dev/null 2>&1 &&
  "$tool" add -r b.zip tree/text1.txt >/dev/null 2>&1 &&
  cp a.zip c.zip && "$tool" sfx c.zip >/dev/null 2>&1 &&
  mkdir large && for i in 1 2 3 4 5 6; do head -c 1100000 /dev/urandom >"large/part$i.bin"; done &&
  "$tool" add -r -0 r.zip large >/dev/null 2>&1 && rm -r large &&
  "$tool" split -s 128k a.zip s.zip >/dev/null 2>&1 &&
  echo "an old joined archive" >joined.zip) || { echo "cannot make the inputs"; exit 1; }

# The state of a directory: every file and link with its contents.
snapshot() {
  (cd "$1" && find . \( -type f -o -type l \) -print0 | sort -z |
    while IFS= read -r -d '' f; do
      if [ -L "$f" ]; then echo "$f -> $(readlink "$f")"; else echo "$f $(sha256sum <"$f" | cut -c1-64)"; fi
    done)
}

# fresh DIR: the inputs copied with their dates, and an empty private temporary directory.
fresh() {
  rm -rf "$1" "$trashes/$(basename "$1")" && mkdir -p "$1/tmp" && chmod 700 "$1/tmp" && cp -a "$data/." "$1/"
}

run() {  # run DIR COMMAND...: the tool in DIR with TMPDIR inside it, the Trash beside it
  local dir=$1
  shift
  (cd "$dir" && TMPDIR="$dir/tmp" XDG_DATA_HOME="$trashes/$(basename "$dir")" LD_PRELOAD="$shim" "$tool" "$@" \
    </dev/null >/dev/null 2>&1)
}

# whole BEFORE AFTER STATE: every path of STATE is as in BEFORE or as in AFTER,
# and every path of BEFORE that AFTER keeps is still there.
whole() {
  awk -v before="$1" -v after="$2" '
    BEGIN {
      n = split(before, b, "\n"); for (i = 1; i <= n; i++) if (b[i] != "") { split(b[i], f, " "); was[f[1]] = b[i] }
      n = split(after, a, "\n"); for (i = 1; i <= n; i++) if (a[i] != "") { split(a[i], f, " "); becomes[f[1]] = a[i] }
    }
    { split($0, f, " "); seen[f[1]] = 1; if ($0 != was[f[1]] && $0 != becomes[f[1]]) { print "  " $0; bad = 1 } }
    END {
      for (p in was) if (!(p in seen) && (p in becomes)) { print "  missing " p; bad = 1 }
      exit bad
    }' <<<"$3"
}

# partial_in_trash BEFORE DIR: prints the files of DIR's Trash that are no input
# as it was before the run; fails when there is one.
partial_in_trash() {
  local files=$trashes/$(basename "$2")/Trash/files bad=0 f sum
  [ -d "$files" ] || return 0
  for f in "$files"/*; do
    [ -f "$f" ] || continue
    sum=$(sha256sum <"$f" | cut -c1-64)
    grep -q " $sum\$" <<<"$1" || { echo "  $f"; bad=1; }
  done
  return $bad
}

check() {  # check NAME COMMAND...
  local name=$1
  shift
  local ref=$work/ref
  fresh "$ref"
  local before
  before=$(snapshot "$ref")
  WRITE_COUNT_FILE=$work/count run "$ref" "$@"
  local status=$?
  if [ $status -ne 0 ]; then
    echo "FAIL $name: the uninterrupted run failed ($status)"
    failures=$((failures + 1))
    return
  fi
  local after total
  after=$(snapshot "$ref")
  total=$(cat "$work/count")
  local points
  points=$(printf '%s\n' 1 $((total / 4)) $((total / 2)) $((total * 3 / 4)) "$total" | awk '$1 > 0' | sort -nu)
  for n in $points; do
    local dir=$work/killed
    fresh "$dir"
    KILL_AT_WRITE=$n run "$dir" "$@" 2>/dev/null
    status=$?
    local state
    state=$(snapshot "$dir")
    if [ $status -ne 137 ]; then
      echo "FAIL $name: not killed at write $n of $total (status $status)"
      failures=$((failures + 1))
    elif ! whole "$before" "$after" "$state" >"$work/bad"; then
      echo "FAIL $name: killed at write $n of $total, files neither as before nor as after:"
      cat "$work/bad"
      failures=$((failures + 1))
    elif ! partial_in_trash "$before" "$dir" >"$work/bad"; then
      echo "FAIL $name: killed at write $n of $total, a partial file in the Trash:"
      cat "$work/bad"
      failures=$((failures + 1))
    else
      echo "ok   $name: killed at write $n of $total"
    fi
  done
}

check split split -s 64k a.zip v.zip
check join join -f s.zip joined.zip
check sfx sfx a.zip
check unsfx unsfx c.exe
check comment comment a.zip "a new comment"
check rename rename r.zip part=piece
check copy copy -o r.zip b.zip 'large\part1.bin' 'large\part2.bin' 'large\part3.bin' 'large\part4.bin' 'large\part5.bin'
check "spanned add" add -r -s 64k n.zip tree
check "spanned add to an archive" add -r -s 64k b.zip tree

[ $failures -eq 0 ] || { echo "$failures failures"; exit 1; }
