#!/usr/bin/env bash
# Builds every libFuzzer target of fuzz/ with clang, AddressSanitizer and
# UndefinedBehaviorSanitizer into build-fuzz, then runs each for the given
# number of seconds (default 60) from its seeds in fuzz/corpus/<name>/, with
# fuzz/<name>.dict when there is one. New inputs go to build-fuzz/corpus/,
# never into the repository; an input that crashes, trips a sanitizer, leaks
# or hangs is kept in build-fuzz/crashes/<name>/ and fails the run.
# Usage: scripts/fuzz.sh [seconds]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
build=build-fuzz
[ "${ZSEPA_SETUP_DONE:-}" = 1 ] || scripts/setup.sh

flags="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer"
CC=clang CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DZSEPA_BUILD_FUZZERS=ON -DZSEPA_BUILD_TOOLS=ON -DZSEPA_BUILD_TESTS=OFF \
  -DZSEPA_BUILD_BENCH=OFF -DZSEPA_INSTALL=OFF \
  -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" >/dev/null
cmake --build "$build" -j"$(nproc)" --target zsepa_fuzzers

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
failed=()
ran=0
while IFS=$'\t' read -r target binary; do
  [ -n "$target" ] || continue
  name=${target%_fuzzer}
  corpus="$build/corpus/$name"
  crashes="$build/crashes/$name"
  mkdir -p "$corpus" "$crashes"
  args=(-max_total_time="$seconds" -timeout=10 -print_final_stats=1
    -artifact_prefix="$crashes/")
  [ -f "fuzz/$name.dict" ] && args+=(-dict="fuzz/$name.dict")
  seeds=()
  [ -d "fuzz/corpus/$name" ] && seeds+=("fuzz/corpus/$name")
  echo "== $target, ${seconds} s"
  ran=$((ran + 1))
  "$binary" "${args[@]}" "$corpus" ${seeds[@]+"${seeds[@]}"} || failed+=("$target")
done <"$build/fuzzers.txt"

if ((ran == 0)); then
  echo "no fuzzer targets found in $build/fuzzers.txt" >&2
  exit 1
fi
if ((${#failed[@]})); then
  echo "fuzzing found faults in: ${failed[*]} (inputs in $build/crashes/)" >&2
  exit 1
fi
echo "== $ran fuzzer(s) ran ${seconds} s each without a fault"
