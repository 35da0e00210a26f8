#!/usr/bin/env bash
# zephrepaird under load (see bench_repair_server.cpp): idle connections, 30 repairs at once
# beside 1,000 idle connections, and a 100 MB summary. Usage: run.sh BUILD_DIR [SERVER]
# (SERVER: another zephrepaird to measure, such as an older build).
set -euo pipefail
build_dir=$(realpath "${1:?usage: run.sh BUILD_DIR [SERVER]}")
cmake --build "$build_dir" --target bench_repair_server zephrepaird >/dev/null
server=${2:-$build_dir/tools/zephrepaird/zephrepaird}
work=$(mktemp -d "${TMPDIR:-/tmp}/bench_repair_server.XXXXXX")
trap 'rm -rf "$work"' EXIT
echo "repair server under load ($(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg))"
"$build_dir/bench/repair_server/bench_repair_server" "$server" "$work"
