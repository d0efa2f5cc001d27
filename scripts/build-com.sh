#!/usr/bin/env bash
# Cross-builds the COM in-process server ZALT_FILESEPA.dll (the portable core
# plus com/) and its Wine test programs with MinGW-w64, for 64-bit and 32-bit
# Windows hosts:
#   <build dir>/x86_64/ZALT_FILESEPA.dll   <build dir>/i686/ZALT_FILESEPA.dll
# Usage: scripts/build-com.sh [BUILD_DIR] [extra CMake arguments...]
# (default build-com). Installs nothing: run scripts/setup-com.sh first. The
# static libxml2 is built once by scripts/build-com-deps.sh into
# <build dir>/deps.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build_dir=$(realpath -m "${1:-build-com}")
shift || true
jobs=${ZSEPA_JOBS:-2}

scripts/build-com-deps.sh "$build_dir"
for arch in x86_64 i686; do
  echo "== ZALT_FILESEPA.dll for $arch"
  cmake -S com -B "$build_dir/$arch" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-$arch.cmake" \
    -DZSEPA_MINGW_DEPS="$build_dir/deps/$arch-w64-mingw32" "$@" >/dev/null
  cmake --build "$build_dir/$arch" -j"$jobs"
done
