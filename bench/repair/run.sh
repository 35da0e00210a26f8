#!/usr/bin/env bash
# Repair client against the reference tools, every figure a whole process timed from outside,
# the median of RUNS runs with the two sides taking turns:
#  (a) segment checksums of a 1 GiB file in the page cache (`bench_repair checksum`, on every
#      core as a scan computes them, and pinned to one core) against `cksum`; target <= 1.0x
#  (b) a first scan of 50,000 files (no checksum file) against `find -printf` plus reading the
#      data, which `cksum` of every file does as the scan does (a CRC per file); target <= 2.0x
#  (c) `InstallPatchCLI --repair` as a user runs it, against `zephrepaird` on loopback, on 10,000
#      and 50,000 files of which 1 % were damaged since the last repair, against `rsync -a` from
#      an rsync daemon on loopback serving the same reference; target <= 1.0x
# Files go to a temporary folder, removed at the end. Usage: run.sh BUILD_DIR
set -euo pipefail
build_dir=$(realpath "${1:?usage: run.sh BUILD_DIR}")
cmake --build "$build_dir" --target bench_repair zephrepaird InstallPatchCLI >/dev/null
bench="$build_dir/bench/repair/bench_repair"
server="$build_dir/tools/zephrepaird/zephrepaird"
installer="$build_dir/app/cli/InstallPatchCLI"
python=/usr/bin/python3
RUNS=${RUNS:-5}

work=$(mktemp -d "${TMPDIR:-/tmp}/bench_repair.XXXXXX")
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

# seconds CMD...: the wall time of CMD, its output discarded.
seconds() {
  local start end
  start=$(date +%s%N)
  "$@" >/dev/null 2>&1
  end=$(date +%s%N)
  echo "scale=4; ($end - $start) / 1000000000" | bc | sed 's/^\./0./'
}
median() { printf '%s\n' "$@" | sort -g | awk '{v[NR] = $1} END {print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%.2f", a / b}'; }

# compare NAME TARGET "OURS..." "THEIRS..." [PREPARE_OURS PREPARE_THEIRS]: RUNS alternated runs
# of each command line, each after its PREPARE (with $round the run's number), and their
# medians and ratio.
compare() {
  local name=$1 target=$2 ours=$3 theirs=$4 prepare_ours=${5:-true} prepare_theirs=${6:-true}
  local a=() b=()
  for round in $(seq "$RUNS"); do
    eval "$prepare_ours"; a+=("$(seconds bash -c "$ours")")
    eval "$prepare_theirs"; b+=("$(seconds bash -c "$theirs")")
  done
  local ma mb; ma=$(median "${a[@]}"); mb=$(median "${b[@]}")
  printf '%-44s ours %8ss  theirs %8ss  ratio %s (target <= %s)\n' "$name" "$ma" "$mb" \
    "$(ratio "$ma" "$mb")" "$target"
}

# make_tree ROOT FILES: FILES files of 100 B to 40 kB (20 kB on average) in folders of 100.
make_tree() {
  "$python" - "$1" "$2" <<'PY'
import os, random, sys
root, count = sys.argv[1], int(sys.argv[2])
random.seed(count)
for i in range(count):
    folder = os.path.join(root, "pack%02d" % (i // 5000), "dir%03d" % (i // 100 % 50))
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, "asset%05d.bin" % i), "wb") as out:
        out.write(random.randbytes(random.randint(100, 40000)))
PY
}

echo "repair bench ($(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg)); medians of $RUNS alternated runs"
echo "-- (a) segment checksums of a 1 GiB file in the page cache"
head -c 1G /dev/urandom >"$work/big.bin"
cat "$work/big.bin" >/dev/null
compare "checksums, every core / cksum" 1.0 "'$bench' checksum '$work/big.bin'" "cksum '$work/big.bin'"
compare "checksums, one core / cksum, one core" 1.0 "taskset -c 0 '$bench' checksum '$work/big.bin'" \
  "taskset -c 0 cksum '$work/big.bin'"
rm -f "$work/big.bin"

echo "-- (b) first scan of 50,000 files"
make_tree "$work/tree" 50000
find "$work/tree" -type f -print0 | xargs -0 cksum >/dev/null
compare "first scan / (find -printf + cksum)" 2.0 "'$bench' scan '$work/tree'" \
  "find '$work/tree' -printf '%s %T@\n' >/dev/null; find '$work/tree' -type f -print0 | xargs -0 cksum >/dev/null"
rm -rf "$work/tree"

echo "-- (c) InstallPatchCLI --repair against zephrepaird, and rsync against an rsync daemon"
free_port() { "$python" -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'; }
for files in 10000 50000; do
  ref="$work/reference"
  make_tree "$ref" "$files"
  # The installer repairs only a folder that holds the game's program.
  mkdir -p "$ref/UserData" "$ref/bin"
  head -c 4096 /dev/urandom >"$ref/bin/Velmor.exe"
  cp -a "$ref" "$work/ours"
  cp -a "$ref" "$work/theirs"

  "$server" --root "$ref" --listen 127.0.0.1:0 >"$work/server.log" 2>&1 &
  pids+=($!)
  until grep -q "listening on" "$work/server.log"; do sleep 0.1; done
  address=$(grep -o "listening on [0-9.:]*" "$work/server.log" | awk '{print $3}')
  registry="$work/registry/SOFTWARE/Orvik/Products/VelmorSimulator"
  mkdir -p "$registry" "$work/temp"
  printf 'REG_SZ\n%s\n' "$address" >"$registry/@RepairServer"

  port=$(free_port)
  cat >"$work/rsyncd.conf" <<CONF
use chroot = no
uid = $(id -u)
gid = $(id -g)
[reference]
path = $ref
read only = yes
CONF
  rsync --daemon --no-detach --config="$work/rsyncd.conf" --address=127.0.0.1 --port="$port" \
    --log-file="$work/rsyncd.log" &
  pids+=($!)
  until rsync "rsync://127.0.0.1:$port/" >/dev/null 2>&1; do sleep 0.1; done

  repair="ORVIK_REGISTRY_ROOT='$work/registry' TEMP='$work/temp' '$installer' --repair '$work/ours'"
  pull="rsync -a 'rsync://127.0.0.1:$port/reference/' '$work/theirs/'"
  # Both sides have synchronised once before: the installation has its checksum file.
  eval "$repair" >/dev/null 2>&1 || { echo "the first repair failed"; exit 1; }
  eval "$pull"
  # damage ROOT: 1 % of the files, 100 bytes each, the same ones on both sides in each round; a
  # second after the last repair, so that the time stamps tell.
  damage() {
    sleep 1.1
    "$python" - "$1" "$files" "$round" <<'PY'
import os, random, sys
root, count = sys.argv[1], int(sys.argv[2])
rng = random.Random(int(sys.argv[3]))
for i in rng.sample(range(count), count // 100):
    name = os.path.join("pack%02d" % (i // 5000), "dir%03d" % (i // 100 % 50), "asset%05d.bin" % i)
    path = os.path.join(root, name)
    with open(path, "r+b") as f:
        f.seek(rng.randrange(0, max(1, os.path.getsize(path) - 100)))
        f.write(rng.randbytes(100))
PY
  }
  compare "$files files, 1 % damaged: repair / rsync" 1.0 "$repair" "$pull" \
    "damage '$work/ours'" "damage '$work/theirs'"
  diff -rq --exclude=repair.cks "$ref" "$work/ours" >/dev/null || { echo "repair left differences"; exit 1; }
  diff -rq "$ref" "$work/theirs" >/dev/null || { echo "rsync left differences"; exit 1; }

  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; done
  pids=()
  rm -rf "$ref" "$work/ours" "$work/theirs" "$work/registry"
done
