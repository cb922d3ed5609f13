#!/usr/bin/env bash
# install_kill_points.sh SETUP KILLATWRITE.so MAKE_PE_FIXTURE
#
# A large update is installed once to completion with `setup --unattended`, which
# gives its number of writes W; then, each time from the same installed program,
# it is killed with SIGKILL before its write number 1 (the version file, at
# start-up), 2 (the journal's first line), W/4, W/2, 3W/4 and W, and `setup` is
# started a second time with the package gone. After that second start the
# installation directory must be exactly as before the first (every file's bytes,
# every mode and modification time, folders included, nothing added), and the
# second start must have said that it restored the previous version whenever the
# first had begun the run.
set -uo pipefail
setup=$(realpath "$1")
shim=$(realpath "$2")
makepe=$(realpath "$3")
engine=$(dirname "$setup")/libunzdll.so
for f in "$setup" "$shim" "$makepe" "$engine"; do [ -f "$f" ] || { echo "missing $f"; exit 77; }; done
command -v zip >/dev/null || { echo "no zip command"; exit 77; }
export ASAN_OPTIONS="${ASAN_OPTIONS:-}:verify_asan_link_order=0:detect_leaks=0"
umask 022

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

# The package: 60 files that replace installed ones, 40 new ones in new folders.
stage=$work/stage
mkdir -p "$stage/bin" "$stage/data" "$stage/plugins/extra"
"$makepe" "$stage/bin/demo.exe" ProductVersion=6.10 >/dev/null
printf 'bin\\demo.exe\n6.00\n6.10\n' >"$stage/version.ver"
for i in $(seq 1 60); do head -c $((20000 + i * 1000)) /dev/urandom >"$stage/data/file$i.bin"; done
for i in $(seq 1 40); do head -c 30000 /dev/urandom >"$stage/plugins/extra/new$i.bin"; done
(cd "$stage" && zip -q -r -P KmqTelvora "$work/setup.cab" .) || { echo "cannot make the package"; exit 1; }

# fresh DIR: a prefix with the installed program 6.05 and its files, setup and
# its package beside each other, all times in the past.
fresh() {
  local dir=$1
  rm -rf "$dir" && mkdir -p "$dir/tmp" "$dir/dist" && chmod 700 "$dir/tmp"
  local app="$dir/prefix/dosdevices/c:/Program Files/Demo"
  mkdir -p "$app/bin" "$app/data"
  cat >"$dir/prefix/system.reg" <<'REG'
WINE REGISTRY Version 2
;; All keys relative to \\Machine

[Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\demo.exe] 1700000000
"Path"="C:\\Program Files\\Demo"
REG
  "$makepe" "$app/bin/demo.exe" ProductVersion=6.05 >/dev/null
  for i in $(seq 1 60); do printf 'old file %s\n' "$i" >"$app/data/file$i.bin"; done
  chmod 600 "$app/data/file7.bin"
  find "$app" -exec touch -h -d '2020-02-03 04:05:06.123456789' {} +
  cp "$setup" "$engine" "$dir/dist/"
  cp "$work/setup.cab" "$dir/dist/"
  printf 'Update to 6.10\ndemo.exe\n' >"$dir/dist/setup.DAT"
}

# Every entry of the installation directory with its type, mode, time, size and bytes.
snapshot() {
  (cd "$1/prefix/dosdevices/c:/Program Files/Demo" &&
    find . -printf '%p %y %m %T@ %s\n' | sort &&
    find . -type f -print0 | sort -z | xargs -0 -r sha256sum)
}

run() {  # run DIR [ENV=VALUE ...]: the installer, unattended, in DIR's prefix
  local dir=$1
  shift
  (cd "$dir/dist" && env WINEPREFIX="$dir/prefix" TMPDIR="$dir/tmp" "$@" ./setup --unattended </dev/null)
}

ref=$work/ref
fresh "$ref"
before=$(snapshot "$ref")
out=$(run "$ref" LD_PRELOAD="$shim" WRITE_COUNT_FILE="$work/count")
status=$?
if [ $status -ne 0 ]; then
  echo "FAIL the uninterrupted installation ended with $status: $out"
  exit 1
fi
total=$(cat "$work/count")
[ "$(snapshot "$ref")" != "$before" ] || { echo "FAIL the uninterrupted installation changed nothing"; exit 1; }

points=$(printf '%s\n' 1 2 $((total / 4)) $((total / 2)) $((total * 3 / 4)) "$total" | awk '$1 > 0' | sort -nu)
for n in $points; do
  dir=$work/killed
  fresh "$dir"
  run "$dir" LD_PRELOAD="$shim" KILL_AT_WRITE="$n" >/dev/null 2>&1
  status=$?
  if [ $status -ne 137 ]; then
    echo "FAIL not killed at write $n of $total (status $status)"
    failures=$((failures + 1))
    continue
  fi
  rm "$dir/dist/setup.cab"
  out=$(run "$dir" 2>&1)
  status=$?
  state=$(snapshot "$dir")
  said=no expected=no
  grep -q 'The previous version was restored.' <<<"$out" && said=yes
  [ "$n" -gt 1 ] && expected=yes
  if [ "$said" != "$expected" ]; then
    echo "FAIL killed at write $n of $total: the second start said: $out"
    failures=$((failures + 1))
  elif [ "$state" != "$before" ]; then
    echo "FAIL killed at write $n of $total: the installation directory differs:"
    diff <(echo "$before") <(echo "$state") | head -n 20
    failures=$((failures + 1))
  else
    echo "ok   killed at write $n of $total, as before after the second start (restored: $said)"
  fi
done

[ $failures -eq 0 ] || { echo "$failures failures"; exit 1; }
