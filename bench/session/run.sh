#!/usr/bin/env bash
# Unpacking patch archives with `zephpack unpack` (the installer's unpacker):
#  1. a realistic archive (3,000 files in 60 folders plus 24 files of 2-8 MiB) against
#     `tar -xzf` of the same tree, both whole processes timed from outside, the median of RUNS
#     runs with the two taking turns; target: at least as fast as tar;
#  2. peak memory while unpacking an archive that holds a 1 GiB file; target: under 64 MiB.
# $1 is the build folder.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(realpath "${1:-build}")
zephpack=$build/tools/zephpack/zephpack
if [ ! -x "$zephpack" ]; then
  echo "session bench: $zephpack is missing; build the zephpack target first" >&2
  exit 1
fi
work=$(mktemp -d "${TMPDIR:-/tmp}/bench_session.XXXXXX")
trap 'rm -rf "$work"' EXIT

RUNS=${RUNS:-5}
median() { sort -g | awk '{v[NR] = $1} END {print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }

# timed NAME CMD...: one run into a fresh folder; appends "seconds peak-KiB" to $work/NAME.
timed() {
  local name=$1
  shift
  rm -rf "$work/out" && mkdir "$work/out"
  /usr/bin/time -f "%e %M" "$@" 2>&1 >/dev/null | tail -n 1 >>"$work/$name"
}

/usr/bin/python3 "$here/make_tree.py" "$work/tree"
files=$(find "$work/tree" -type f | wc -l)
bytes=$(du -sb "$work/tree" | cut -f1)
"$zephpack" archive "$work/tree" "$work/tree.zip"
tar -czf "$work/tree.tar.gz" -C "$work/tree" .
echo "tree: $files files, $((bytes / 1048576)) MiB; archive $(($(stat -c %s "$work/tree.zip") / 1048576)) MiB, tar.gz $(($(stat -c %s "$work/tree.tar.gz") / 1048576)) MiB"

for _ in $(seq "$RUNS"); do
  timed zephpack.runs "$zephpack" unpack "$work/tree.zip" "$work/out"
  diff -r "$work/tree" "$work/out" >/dev/null || { echo "unpacked tree differs" >&2; exit 1; }
  timed tar.runs tar -xzf "$work/tree.tar.gz" -C "$work/out"
done
zeph_s=$(cut -d' ' -f1 "$work/zephpack.runs" | median); zeph_kib=$(cut -d' ' -f2 "$work/zephpack.runs" | sort -n | tail -1)
tar_s=$(cut -d' ' -f1 "$work/tar.runs" | median); tar_kib=$(cut -d' ' -f2 "$work/tar.runs" | sort -n | tail -1)
echo "medians of $RUNS runs, the two taking turns; peaks the largest of them"
echo "zephpack unpack: ${zeph_s} s, peak ${zeph_kib} KiB"
echo "tar -xzf:        ${tar_s} s, peak ${tar_kib} KiB (tar only; gzip runs beside it)"
awk -v z="$zeph_s" -v t="$tar_s" 'BEGIN { printf "ratio tar/zephpack: %.2f (target >= 1.00)\n", (z > 0 ? t / z : 0) }'
rm -rf "$work/tree" "$work/out" "$work/tree.zip" "$work/tree.tar.gz"

# A 1 GiB file: sparse zeros with 1 MiB of noise every 64 MiB, so the blocks are real
# deflate streams of 256 MiB each.
mkdir -p "$work/big"
truncate -s 1G "$work/big/world.bin"
/usr/bin/python3 - "$work/big/world.bin" <<'PY'
import random, sys
rng = random.Random(1)
with open(sys.argv[1], 'r+b') as f:
    for offset in range(0, 1 << 30, 64 << 20):
        f.seek(offset)
        f.write(rng.randbytes(1 << 20))
PY
"$zephpack" archive "$work/big" "$work/big.zip"
echo "1 GiB file: archive $(($(stat -c %s "$work/big.zip") / 1048576)) MiB"
rm -rf "$work/out" && mkdir "$work/out"
read -r big_s big_kib < <(/usr/bin/time -f "%e %M" "$zephpack" unpack "$work/big.zip" "$work/out" 2>&1 >/dev/null | tail -n 1)
cmp -s "$work/big/world.bin" "$work/out/world.bin" || { echo "unpacked 1 GiB file differs" >&2; exit 1; }
echo "zephpack unpack of the 1 GiB file: ${big_s} s, peak $((big_kib / 1024)) MiB (target < 64 MiB)"
[ "$big_kib" -lt $((64 * 1024)) ]
