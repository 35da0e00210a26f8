#!/usr/bin/env bash
# MD5 of installed files against md5sum, and the uninstall log extension on a real log.
# Usage: run.sh BUILD_DIR
set -euo pipefail
build_dir=${1:?usage: run.sh BUILD_DIR}
cmake --build "$build_dir" --target bench_apply >/dev/null
"$build_dir/bench/apply/bench_apply" "$(dirname "$0")/../../tests/fixtures/unins/git-for-windows_unins000.dat"
