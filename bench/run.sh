#!/usr/bin/env bash
# Runs every benchmark: each bench/<subsystem>/run.sh with the build folder as its argument.
# Each prints its figures and the ratios against the reference tools it names.
set -uo pipefail
cd "$(dirname "$0")/.."
build_dir=$(realpath "${1:-build}")
status=0
for script in bench/*/run.sh; do
  [ -e "$script" ] || continue
  echo "== ${script%/run.sh}"
  bash "$script" "$build_dir" || status=1
done
exit $status
