#!/usr/bin/env bash
# Builds everything and runs every test. Usage: scripts/test.sh [build-dir]
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/ensure-packages.sh
BUILD=${1:-build}
# Without a maker's key (the demo builds `setup` with one): the tests make unsigned packages.
cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZB_PACKAGE_PUBLIC_KEY= >/dev/null
cmake --build "$BUILD" -j"$(nproc)"
cd "$BUILD"
export QT_QPA_PLATFORM=offscreen
ctest --output-on-failure -j"$(nproc)" 2>&1 | tail -n 60
