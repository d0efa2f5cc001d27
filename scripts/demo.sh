#!/usr/bin/env bash
# Installs what the build needs, builds the command-line program and runs its
# demo from the repository root (so the demo jobs are ./examples): a fresh
# demo database and every available file kind are written into ./demo-out.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target zsepa
./build/tools/zsepa demo --dir demo-out "$@"
