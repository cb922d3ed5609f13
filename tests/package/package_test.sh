#!/usr/bin/env bash
# Installs the build into a fresh prefix, builds the examples against that copy
# (CMake package with the shared and the static component, then pkg-config),
# runs them and the installed programs, and builds the Debian package. Where a
# private mount namespace is allowed, the package is installed with apt-get into
# a throw-away copy of the root (an overlay on a tmpfs that vanishes with the
# namespace) and `zipbuilder` is run from there.
#   package_test.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$(realpath "$1")
source=$(realpath "$2")
for tool in zip unzip cmake pkg-config; do
  command -v "$tool" >/dev/null || { echo "no $tool"; exit 77; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
step() { echo "$SECONDS s: $*"; }
# check DESCRIPTION COMMAND...: the command must succeed.
check() { local what=$1; shift; "$@" >"$work/out" 2>&1 || { fail "$what"; cat "$work/out"; }; }
# refuse DESCRIPTION COMMAND...: the command must fail.
refuse() { local what=$1; shift; if "$@" >"$work/out" 2>&1; then fail "$what"; cat "$work/out"; fi; }

step "installing"
cmake --install "$build" --prefix "$prefix" --strip >/dev/null
libdir=$(dirname "$(find "$prefix" -name 'libzipbuilder.so.1' | head -n1)")
for file in "$libdir/libzipbuilder.a" "$libdir/libzipdll.so.1" "$libdir/libunzdll.so.1" \
            "$prefix/bin/zipbuilder" "$libdir/cmake/ZipBuilder/ZipBuilderConfig.cmake" \
            "$libdir/pkgconfig/zipbuilder.pc" "$prefix/include/zipbuilder-1/zipbuilder/ZipBuilder.h"; do
  [ -e "$file" ] || fail "not installed: ${file#"$prefix"/}"
done
for page in zipbuilder setup; do
  grep -q '^\.SH SYNOPSIS' "$prefix/share/man/man1/$page.1" 2>/dev/null || fail "no man page $page.1"
done
grep -q '^\.SS extract' "$prefix/share/man/man1/zipbuilder.1" || fail "zipbuilder.1 lacks the extract command"
for soname in libzipbuilder.so.1 libzipdll.so.1 libunzdll.so.1; do
  [[ $(objdump -p "$libdir/$soname") =~ SONAME\ +$soname ]] || fail "$soname: no SONAME $soname"
done

# What the examples work on: a small tree, and one file large enough for several progress steps.
mkdir -p "$work/files/docs"
printf 'what is new\n' > "$work/files/docs/whatsnew.txt"
seq 1 20000 > "$work/files/numbers.txt"
head -c 3000000 /dev/urandom > "$work/large.bin"

# Each way of finding the component: configure, build, run.
run_examples() {
  local name=$1; shift
  local out=$work/examples-$name
  step "examples: $name"
  if ! cmake -S "$source/examples" -B "$out" -DCMAKE_BUILD_TYPE=Release "$@" >"$work/out" 2>&1 ||
     ! cmake --build "$out" -j2 >>"$work/out" 2>&1; then
    fail "$name: the examples do not build"; cat "$work/out"; return
  fi
  local archive=$work/$name.zip
  (cd "$work/files" && check "$name: add" "$out/add_progress" "$archive" docs numbers.txt)
  check "$name: unzip -t reads what was added" unzip -tq "$archive"
  check "$name: list" "$out/list_extract" "$archive"
  grep -q 'docs\\whatsnew.txt' "$work/out" || fail "$name: the listing lacks docs\\whatsnew.txt"
  mkdir -p "$work/$name-out"
  check "$name: extract" "$out/list_extract" "$archive" "$work/$name-out"
  check "$name: extracted files equal the originals" diff -r "$work/files" "$work/$name-out"
  refuse "$name: extracting into a missing directory succeeds" \
    "$out/list_extract" "$archive" "$work/no/such/dir"
  cp "$archive" "$work/before.zip"
  refuse "$name: a cancelled add succeeds" "$out/add_progress" --cancel-after 1 "$archive" "$work/large.bin"
  cmp -s "$archive" "$work/before.zip" || fail "$name: a cancelled add changed the archive"
}
run_examples package -DCMAKE_PREFIX_PATH="$prefix"
# A program linked statically finds the engines on the loader's path.
LD_LIBRARY_PATH=$libdir run_examples static -DCMAKE_PREFIX_PATH="$prefix" -DZIPBUILDER_STATIC=ON
# pkg-config, as a Makefile would use it: one compiler line per program.
step "examples: pkg-config"
mkdir -p "$work/examples-pc"
for example in list_extract add_progress; do
  # shellcheck disable=SC2046  # the flags are words
  check "pkg-config: $example builds" c++ -O1 -o "$work/examples-pc/$example" "$source/examples/$example.cpp" \
    $(PKG_CONFIG_PATH=$libdir/pkgconfig pkg-config --cflags --libs zipbuilder) -Wl,-rpath,"$libdir"
done
(cd "$work/files" && check "pkg-config: add" "$work/examples-pc/add_progress" "$work/pc.zip" docs numbers.txt)
check "pkg-config: list" "$work/examples-pc/list_extract" "$work/pc.zip"

# The installed programs find the engines in the library directory.
check "installed zipbuilder adds" "$prefix/bin/zipbuilder" add -q "$work/tool.zip" "$work/large.bin"
check "installed zipbuilder tests" "$prefix/bin/zipbuilder" test "$work/tool.zip"

# The Debian package: its files and its dependencies.
if command -v dpkg-deb >/dev/null && command -v dpkg-shlibdeps >/dev/null; then
  step "Debian package"
  (cd "$build" && cpack -G DEB -B "$work/deb" >"$work/out" 2>&1) || { fail "cpack"; cat "$work/out"; }
  deb=$(ls "$work"/deb/zipbuilder_*.deb 2>/dev/null | head -n1)
  dev=$(ls "$work"/deb/zipbuilder-dev_*.deb 2>/dev/null | head -n1)
  [ -n "$deb" ] && [ -n "$dev" ] || fail "cpack made no zipbuilder and zipbuilder-dev packages: $(ls "$work/deb")"
  if [ -n "$deb" ] && [ -n "$dev" ]; then
    dpkg-deb -c "$deb" > "$work/contents"
    dpkg-deb -c "$dev" > "$work/dev-contents"
    for file in bin/zipbuilder bin/setup bin/ZipSFX.bin man1/zipbuilder.1 libzipbuilder.so.1 libzipdll.so.1 libunzdll.so.1; do
      grep -q "$file" "$work/contents" || fail "zipbuilder lacks $file"
    done
    for file in ZipBuilderConfig.cmake zipbuilder.pc include/zipbuilder-1/zipbuilder/ZipBuilder.h libzipbuilder.a; do
      grep -q "$file" "$work/dev-contents" || fail "zipbuilder-dev lacks $file"
      ! grep -q "$file" "$work/contents" || fail "zipbuilder holds $file, which belongs in zipbuilder-dev"
    done
    [[ $(dpkg-deb -f "$dev" Depends) == *"zipbuilder (= "* ]] || fail "zipbuilder-dev does not depend on zipbuilder"
    depends=$(dpkg-deb -f "$deb" Depends)
    for package in libc6 libstdc++6 zlib1g libdeflate0 libzstd1; do
      [[ $depends == *"$package"* ]] || fail "the package does not depend on $package: $depends"
    done
    # apt-get into a copy-on-write root, when this machine lets us make one.
    root=$work/root
    mkdir -p "$root"
    if unshare --mount --propagation private true 2>/dev/null; then
      step "apt-get install"
      cp "$deb" "$work/zipbuilder.deb"
      cp "$dev" "$work/zipbuilder-dev.deb"
      check "apt-get install ./zipbuilder.deb ./zipbuilder-dev.deb in a throw-away root" \
        unshare --mount --propagation private bash -euc '
          mount -t tmpfs tmpfs "$1"
          mkdir "$1/upper" "$1/work" "$1/merged"
          mount -t overlay overlay -o lowerdir=/,upperdir="$1/upper",workdir="$1/work" "$1/merged"
          mount --rbind /dev "$1/merged/dev"
          mount -t proc proc "$1/merged/proc"
          cp "$2" "$3" "$1/merged/tmp/"
          chroot "$1/merged" sh -c "cd /tmp && apt-get install -y -qq ./zipbuilder.deb ./zipbuilder-dev.deb"
          chroot "$1/merged" /usr/bin/zipbuilder --version
          chroot "$1/merged" pkg-config --modversion zipbuilder' _ "$root" "$work/zipbuilder.deb" "$work/zipbuilder-dev.deb"
      grep -q '^zipbuilder 1.60' "$work/out" || fail "zipbuilder --version from the package: $(tail -n 3 "$work/out")"
    else
      echo "no private mount namespace here: the package is not installed"
    fi
  fi
else
  echo "no dpkg-deb or dpkg-shlibdeps: no Debian package built"
fi

step "done"
echo "$failures failures"
[ "$failures" -eq 0 ]
