#!/usr/bin/env bash
# Installs what the build needs, builds the command-line program and runs the
# main job on the embedded default database: every available file kind is
# written from the demo jobs into ./demo-out.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target zsepa
./build/tools/zsepa demo --dir demo-out "$@"
