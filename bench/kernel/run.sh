#!/usr/bin/env bash
# Compressed block format against plain zlib on ~64 MiB of shared libraries.
# Usage: run.sh BUILD_DIR
set -euo pipefail
build_dir=${1:?usage: run.sh BUILD_DIR}
cmake --build "$build_dir" --target bench_compression >/dev/null
"$build_dir/bench/kernel/bench_compression" 64
