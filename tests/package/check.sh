#!/usr/bin/env bash
# Installs the build tree BUILD_DIR into a temporary prefix, builds the host
# program of this folder against it with find_package(zsepa) and runs it.
set -euo pipefail
build_dir=$1
flags=${2:-}  # the library's sanitizer flags, if any
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cmake --install "$build_dir" --prefix "$work/prefix" >/dev/null
cmake -S "$here" -B "$work/host" -DCMAKE_PREFIX_PATH="$work/prefix" \
  -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS="$flags" \
  -DCMAKE_EXE_LINKER_FLAGS="$flags" >/dev/null
cmake --build "$work/host" >/dev/null
out=$("$work/host/zsepa_host" "$work/demo.db" "$work/out.xml")
echo "$out"
[ "$out" = "000001520241 10.5" ]
grep -q '<InstdAmt Ccy="EUR">10.50</InstdAmt>' "$work/out.xml"
# The installed headers are the public ones only, and need no private ones.
! grep -rh '#include "' "$work/prefix/include/zsepa" | grep -v '"zsepa/'
# The source tree configures as a subdirectory of a host, without its tests,
# tools and benchmarks.
cmake -S "$here" -B "$work/subdir" -DZSEPA_SOURCE_DIR="$here/../.." >/dev/null
! grep -q zsepa_sqlite_test "$work/subdir/Makefile" "$work/subdir"/zsepa/*/Makefile
