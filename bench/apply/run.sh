#!/usr/bin/env bash
# MD5 of installed files against md5sum, the uninstall log extension on a real log, and the
# patch chain (unpack and apply) with one worker against all of them.
# Usage: run.sh BUILD_DIR
set -euo pipefail
build_dir=${1:?usage: run.sh BUILD_DIR}
cmake --build "$build_dir" --target bench_apply bench_chain zephpack orbpatch >/dev/null
"$build_dir/bench/apply/bench_apply" "$(dirname "$0")/../../tests/fixtures/unins/git-for-windows_unins000.dat"
"$build_dir/bench/apply/bench_chain" "$build_dir/tools/zephpack/zephpack" "$build_dir/tools/orbpatch/orbpatch"
