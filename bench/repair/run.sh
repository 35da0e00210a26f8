#!/usr/bin/env bash
# Repair client against the reference tools:
#  (a) segment checksums of a 1 GiB file in the page cache against cksum (target: at least as fast)
#  (b) rescanning an unchanged tree of 20,000 files against find -printf '%s %T@' (target: within 2x)
#  (c) repairing 1 GiB with 1 % of its segments damaged over loopback against an rsync daemon
#      on loopback (target: faster than rsync)
# Usage: run.sh BUILD_DIR
set -euo pipefail
build_dir=$(realpath "${1:?usage: run.sh BUILD_DIR}")
cmake --build "$build_dir" --target bench_repair zephrepaird >/dev/null
bench="$build_dir/bench/repair/bench_repair"
server="$build_dir/tools/zephrepaird/zephrepaird"
python=/usr/bin/python3

work=$(mktemp -d /tmp/bench_repair.XXXXXX)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

now() { date +%s.%N; }
# best_of N COMMAND...: the shortest wall time of N runs, in seconds.
best_of() {
  local rounds=$1 best=
  shift
  for _ in $(seq "$rounds"); do
    local start end
    start=$(now); "$@" >/dev/null 2>&1; end=$(now)
    best=$(echo "$start $end ${best:-1e9}" | awk '{t = $2 - $1; print (t < $3 ? t : $3)}')
  done
  echo "$best"
}
# bench_value NAME COMMAND...: the value the bench program reported for NAME.
bench_value() {
  local name=$1
  shift
  "$@" 2>&1 >/dev/null | awk -v n="$name" '$1 == n {print $2}'
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%.2f", a / b}'; }

echo "-- (a) segment checksum, 1 GiB in the page cache"
head -c 1G /dev/urandom >"$work/big.bin"
cat "$work/big.bin" >/dev/null
cksum_time=$(best_of 3 cksum "$work/big.bin")
ours=1e9
for _ in 1 2 3; do
  t=$(bench_value checksum_seconds "$bench" checksum "$work/big.bin")
  ours=$(awk -v a="$t" -v b="$ours" 'BEGIN {print (a < b ? a : b)}')
done
echo "cksum:        ${cksum_time}s ($(awk -v t="$cksum_time" 'BEGIN {printf "%.2f", 1.073741824 / t}') GB/s)"
echo "ChecksumSegment: ${ours}s ($(awk -v t="$ours" 'BEGIN {printf "%.2f", 1.073741824 / t}') GB/s)"
echo "ratio ours/cksum time: $(ratio "$ours" "$cksum_time") (target <= 1)"
rm -f "$work/big.bin"

echo "-- (b) rescan of an unchanged tree of 20,000 files"
"$python" - "$work/tree" <<'PY'
import os, random, sys
root = sys.argv[1]
random.seed(1)
for d in range(200):
    folder = os.path.join(root, "d%03d" % (d // 20), "s%03d" % d)
    os.makedirs(folder)
    for f in range(100):
        with open(os.path.join(folder, "f%03d.dat" % f), "wb") as out:
            out.write(os.urandom(random.randint(100, 3000)))
PY
find_time=$(best_of 5 find "$work/tree" -printf '%s %T@\n')
scan_time=$(bench_value scan_seconds "$bench" scan "$work/tree" 5)
echo "find -printf: ${find_time}s"
echo "Scan:         ${scan_time}s"
echo "ratio ours/find time: $(ratio "$scan_time" "$find_time") (target <= 2)"
rm -rf "$work/tree"

echo "-- (c) repair of 1 GiB with 1 % of its segments damaged, loopback"
ref="$work/reference"
"$python" - "$ref" <<'PY'
import os, sys
root = sys.argv[1]
for i in range(128):  # 128 files of 8 MiB: 256 segments
    folder = os.path.join(root, "pack%02d" % (i // 16))
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, "asset%03d.bin" % i), "wb") as out:
        out.write(os.urandom(8 << 20))
PY
cp -a "$ref" "$work/ours"
cp -a "$ref" "$work/theirs"

"$server" --root "$ref" --listen 127.0.0.1:0 >"$work/server.log" 2>&1 &
pids+=($!)
until grep -q "listening on" "$work/server.log"; do sleep 0.1; done
server_address=$(grep -o "listening on [0-9.:]*" "$work/server.log" | awk '{print $3}')

rsync_port=$("$python" -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
cat >"$work/rsyncd.conf" <<CONF
use chroot = no
uid = $(id -u)
gid = $(id -g)
[reference]
path = $ref
read only = yes
CONF
rsync --daemon --no-detach --config="$work/rsyncd.conf" --address=127.0.0.1 --port="$rsync_port" \
  --log-file="$work/rsyncd.log" &
pids+=($!)
until rsync "rsync://127.0.0.1:$rsync_port/" >/dev/null 2>&1; do sleep 0.1; done

# The installation has been repaired once before, so it has its checksum file.
"$bench" repair "$work/ours" "$server_address" >/dev/null 2>&1

ours_best=1e9
theirs_best=1e9
for round in 1 2 3; do
  sleep 1.1  # a damage in the second of the last write would keep its time stamp
  # The same three segments (1 % of 256) damaged in both copies, 4 KiB each.
  "$python" - "$work/ours" "$work/theirs" "$round" <<'PY'
import os, random, sys
random.seed(int(sys.argv[3]))
for segment in random.sample(range(256), 3):
    name = os.path.join("pack%02d" % (segment // 2 // 16), "asset%03d.bin" % (segment // 2))
    offset = (segment % 2) * (4 << 20) + random.randrange(0, (4 << 20) - 4096)
    data = os.urandom(4096)
    for root in sys.argv[1:3]:
        with open(os.path.join(root, name), "r+b") as f:
            f.seek(offset)
            f.write(data)
PY
  t=$(bench_value repair_seconds "$bench" repair "$work/ours" "$server_address")
  ours_best=$(awk -v a="$t" -v b="$ours_best" 'BEGIN {print (a < b ? a : b)}')
  start=$(now)
  rsync -a "rsync://127.0.0.1:$rsync_port/reference/" "$work/theirs/"
  end=$(now)
  theirs_best=$(awk -v s="$start" -v e="$end" -v b="$theirs_best" 'BEGIN {t = e - s; print (t < b ? t : b)}')
  diff -rq --exclude=repair.cks "$ref" "$work/ours" >/dev/null || { echo "repair left differences"; exit 1; }
  diff -rq "$ref" "$work/theirs" >/dev/null || { echo "rsync left differences"; exit 1; }
done
echo "rsync daemon: ${theirs_best}s"
echo "repair job:   ${ours_best}s"
echo "ratio ours/rsync time: $(ratio "$ours_best" "$theirs_best") (target < 1)"
