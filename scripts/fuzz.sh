#!/usr/bin/env bash
# Runs each fuzz target for the given number of seconds (default 60).
# Usage: scripts/fuzz.sh <build dir configured with -DGAMESHELL_FUZZ=ON and CXX=clang++> [seconds]
set -euo pipefail
build=${1:?build directory}
seconds=${2:-60}
for target in index_parser_fuzzer cache_path_fuzzer cbor_message_fuzzer; do
  corpus="$build/corpus/$target"
  mkdir -p "$corpus"
  echo "fuzzing $target for ${seconds}s"
  "$build/tests/fuzz/$target" -max_total_time="$seconds" -max_len=4096 "$corpus" 2>&1 | tail -n 2
done
