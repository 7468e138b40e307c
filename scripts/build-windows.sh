#!/usr/bin/env bash
# Cross-builds Quendal.dll and its Windows test programs with mingw-w64:
#   scripts/build-windows.sh [i686|x86_64]
# i686 (the default) is the shipped 32-bit DLL, in build-win32/; x86_64 goes to build-win64/.
# Needs g++-mingw-w64-i686 (or -x86-64) and Debian's googletest sources.
set -euo pipefail
cd "$(dirname "$0")/.."
arch="${1:-i686}"
case "$arch" in
  i686) dir=build-win32 ;;
  x86_64) dir=build-win64 ;;
  *) echo "usage: $0 [i686|x86_64]" >&2; exit 2 ;;
esac
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="cmake/toolchain-$arch-w64-mingw32.cmake" \
  -DQUENDAL_BUILD_BENCH=OFF >/dev/null
cmake --build "$dir" -j"$(nproc)"
