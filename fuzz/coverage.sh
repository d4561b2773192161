#!/usr/bin/env bash
# Source coverage that a fuzz corpus reaches: builds the replay programs with
# clang's coverage instrumentation, replays CORPUS_DIR... through TARGET
# (export or template) and prints llvm-cov's per-file report of the library.
#   fuzz/coverage.sh export build/fuzz/export/corpus build/fuzz/seeds/export
set -euo pipefail
cd "$(dirname "$0")/.."
target=${1:?usage: fuzz/coverage.sh export|template CORPUS_DIR...}; shift
out=${COVERAGE_BUILD:-build/coverage}
cmake -S . -B "$out" -DCMAKE_CXX_COMPILER=clang++-14 -DCMAKE_BUILD_TYPE=Debug \
  -DCMAKE_CXX_FLAGS="-fprofile-instr-generate -fcoverage-mapping" >/dev/null
cmake --build "$out" -j "$(nproc)" --target "replay_$target" >/dev/null
rm -f "$out"/*.profraw
LLVM_PROFILE_FILE="$PWD/$out/replay-%p.profraw" "$out/fuzz/replay_$target" "$@" 2>&1 | tail -n 1
llvm-profdata-14 merge -sparse "$out"/*.profraw -o "$out/replay.profdata"
llvm-cov-14 report "$out/fuzz/replay_$target" -instr-profile="$out/replay.profdata" \
  -ignore-filename-regex='(fuzz|tests|/usr)/'
