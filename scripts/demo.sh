#!/usr/bin/env bash
# The main job: an update installed into an application of a Wine prefix.
# Builds what it needs, makes the prefix (registry file, installed program with
# version 6.05), an update package for 6.10, and runs the installer on it: in its
# window when a display is there, unattended (messages on standard output) otherwise.
# Usage: scripts/demo.sh [build-dir]
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/ensure-packages.sh
ROOT=$(pwd)
BUILD=${1:-build}
build() {
  if ! cmake --build "$BUILD" -j"$(nproc)" --target "$@" >>"$BUILD/demo-build.log" 2>&1; then
    tail -n 40 "$BUILD/demo-build.log"
    exit 1
  fi
}
cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
: >"$BUILD/demo-build.log"
build zipbuilder_tool
BIN=$(cd "$BUILD" && pwd)/bin
# The maker's key pair: the installer is built with its public half and the
# package signed with its private half. A new pair each run.
KEY=$(cd "$BUILD" && pwd)/demo-maker
rm -f "$KEY.key" "$KEY.pub"
"$BIN/zipbuilder" keygen "$KEY"
cmake -S . -B "$BUILD" -DZB_PACKAGE_PUBLIC_KEY="$KEY.pub" >/dev/null
build setup unzdll zipdll make-pe-fixture
"$BIN/zipbuilder" --version

DEMO=$(cd "$BUILD" && pwd)/demo
rm -rf "$DEMO"
export WINEPREFIX=$DEMO/prefix
APPDIR="$WINEPREFIX/dosdevices/c:/Program Files/Bravik Demo"
mkdir -p "$APPDIR"

# The installed application: its App Paths entry and a main program of version 6.05.
cat >"$WINEPREFIX/system.reg" <<'REG'
WINE REGISTRY Version 2
;; All keys relative to \\Machine

[Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\bravikdemo.exe] 1700000000
@="C:\\Program Files\\Bravik Demo\\bravikdemo.exe"
"Path"="C:\\Program Files\\Bravik Demo"
REG
"$BIN/make-pe-fixture" "$APPDIR/bravikdemo.exe" CompanyName=Bravik-Solen ProductName="Bravik Demo" \
  ProductVersion=6.05 FileVersion=6.05
echo "installed: C:\\Program Files\\Bravik Demo (ProductVersion 6.05)"

# The update package, as its maker builds it: the files and version.ver, zipped
# with the package password; the descriptor beside it.
STAGE=$DEMO/staging
mkdir -p "$STAGE/docs"
"$BIN/make-pe-fixture" "$STAGE/bravikdemo.exe" CompanyName=Bravik-Solen ProductName="Bravik Demo" \
  ProductVersion=6.10 FileVersion=6.10
printf 'bravikdemo.exe\n6.00\n6.10\n' >"$STAGE/version.ver"
printf 'Bravik Demo 6.10\n\n- faster start\n- new report layout\n' >"$STAGE/docs/whatsnew.txt"

DIST=$DEMO/dist
mkdir -p "$DIST"
cp "$BIN/setup" "$BIN/libunzdll.so" "$DIST/"
(cd "$STAGE" && "$BIN/zipbuilder" add -r -P KmqTelvora "$DIST/setup.cab" version.ver bravikdemo.exe docs) 2>/dev/null
"$BIN/zipbuilder" sign "$KEY.key" "$DIST/setup.cab"
printf 'Update Bravik Demo to version 6.10\nbravikdemo.exe\ndocs\\whatsnew.txt\n' >"$DIST/setup.DAT"
echo "package: $DIST/setup.cab"
"$BIN/zipbuilder" list "$DIST/setup.cab" || true

status=0
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  echo "running the installer in its window"
  "$DIST/setup" || status=$?
else
  echo "no display: running the installer unattended"
  "$DIST/setup" --unattended --log "$DEMO/setup.log" || status=$?
  echo "its log, $DEMO/setup.log:"
  cat "$DEMO/setup.log"
fi
echo "installer exit status: $status"
echo "installation directory now holds:"
(cd "$APPDIR" && find . -type f | sort)
exit "$status"
