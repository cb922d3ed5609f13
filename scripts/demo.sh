#!/usr/bin/env bash
# The main job on a new machine: builds what it needs and runs it.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target zipbuilder_tool
./build/bin/zipbuilder --version
