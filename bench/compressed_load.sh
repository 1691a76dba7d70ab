#!/usr/bin/env bash
# First run against a server that compresses what it is asked to (see compressed_load.py).
# Usage: bench/compressed_load.sh [runs] [--limited]   (as bench/cache_load.sh)
GS_BENCH_SCRIPT=compressed_load.py exec bash "$(dirname "$0")/cache_load.sh" "$@"
