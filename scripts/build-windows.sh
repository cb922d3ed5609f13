#!/usr/bin/env bash
# Cross-builds the Windows programs and engines with MinGW-w64 into build-win64/
# (x86_64, the default) or build-win32/ (i686): zipbuilder.exe, ZIPDLL.DLL,
# UNZDLL.DLL and the component library, in <build>/bin.
# Usage: scripts/build-windows.sh [x86_64|i686] [cmake --build arguments, e.g. --target X]
set -euo pipefail
cd "$(dirname "$0")/.."
ARCH=${1:-x86_64}
shift || true
case "$ARCH" in
  x86_64) BUILD=build-win64 ;;
  i686) BUILD=build-win32 ;;
  *) echo "usage: $0 [x86_64|i686]" >&2; exit 2 ;;
esac
./scripts/ensure-packages.sh
LAUNCHER=()
if command -v ccache >/dev/null; then
  LAUNCHER=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
cmake -S . -B "$BUILD" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DZB_WINDOWS_ARCH="$ARCH" \
  -DCMAKE_BUILD_TYPE=Release "${LAUNCHER[@]}" >/dev/null
cmake --build "$BUILD" -j"${ZB_JOBS:-$(nproc)}" "$@"
