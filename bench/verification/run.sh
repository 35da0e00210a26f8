#!/usr/bin/env bash
# What checking a download against the size and SHA-256 of a signed catalogue costs: our
# DownloadToFile with the check against the same download without it, from nginx on loopback,
# as the ratio of medians of alternated runs. For scale, `openssl dgst -sha256` of the finished
# file (the same library and code) shows what a check made after the download would add. The
# processor seconds the check adds are printed too: on a machine whose other core is busy with
# other work, the hashing thread cannot run beside the download and its time shows in the wall
# clock; the load average is printed with the figures for that reason.
# Usage: run.sh BUILD_DIR
set -euo pipefail
build_dir=$(realpath "${1:?usage: run.sh BUILD_DIR}")
cmake --build "$build_dir" --target bench_verification >/dev/null
bench="$build_dir/bench/verification/bench_verification"
runs=${RUNS:-9}
size_mib=${SIZE_MIB:-512}

work=$(mktemp -d)
chmod 755 "$work"
nginx_pid=
cleanup() {
  if [ -n "$nginx_pid" ]; then kill "$nginx_pid" 2>/dev/null || true; wait "$nginx_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

mkdir -p "$work/root" "$work/nginx/tmp"
head -c $((size_mib << 20)) /dev/urandom >"$work/root/archive.zpa"
sha=$(sha256sum "$work/root/archive.zpa" | cut -d' ' -f1)
size=$(stat -c %s "$work/root/archive.zpa")

port=$(/usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
cat >"$work/nginx/nginx.conf" <<CONF
master_process off;
pid $work/nginx/nginx.pid;
error_log $work/nginx/error.log;
events { worker_connections 64; }
http {
  access_log off;
  sendfile on;
  client_body_temp_path $work/nginx/tmp; proxy_temp_path $work/nginx/tmp;
  fastcgi_temp_path $work/nginx/tmp; uwsgi_temp_path $work/nginx/tmp; scgi_temp_path $work/nginx/tmp;
  server { listen 127.0.0.1:$port; root $work/root; }
}
CONF
/usr/sbin/nginx -c "$work/nginx/nginx.conf" -p "$work/nginx" -g 'daemon off;' &
nginx_pid=$!
sleep 0.5
url="http://127.0.0.1:$port/archive.zpa"

# "wall cpu" seconds of one run writing $work/out.zpa; the previous output is removed and
# flushed first, so that no run pays for the write-back of another.
timed() {
  rm -f "$work/out.zpa"
  sync
  "$@" | sed -n 's/^seconds=\([0-9.]*\) cpu=\([0-9.]*\)/\1 \2/p'
}
median() { sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }

"$bench" "$url" "$work/out.zpa" "$size" "$sha" >/dev/null  # warm the page cache and the server
plain=() checked=() after=() plain_cpu=() checked_cpu=()
for ((i = 0; i < runs; i++)); do
  read -r wall cpu < <(timed "$bench" "$url" "$work/out.zpa")
  plain+=("$wall") plain_cpu+=("$cpu")
  read -r wall cpu < <(timed "$bench" "$url" "$work/out.zpa" "$size" "$sha")
  checked+=("$wall") checked_cpu+=("$cpu")
  start=$(date +%s.%N)
  openssl dgst -sha256 "$work/out.zpa" >/dev/null
  after+=("$(awk -v a="$start" -v b="$(date +%s.%N)" 'BEGIN {print b - a}')")
done
t_plain=$(printf '%s\n' "${plain[@]}" | median)
t_checked=$(printf '%s\n' "${checked[@]}" | median)
t_after=$(printf '%s\n' "${after[@]}" | median)
c_plain=$(printf '%s\n' "${plain_cpu[@]}" | median)
c_checked=$(printf '%s\n' "${checked_cpu[@]}" | median)
awk -v mib="$size_mib" -v plain="$t_plain" -v checked="$t_checked" -v after="$t_after" \
    -v cplain="$c_plain" -v cchecked="$c_checked" -v load="$(cut -d' ' -f1 /proc/loadavg)" -v cores="$(nproc)" 'BEGIN {
  printf "http %d MiB: download %.3f s (%.0f MiB/s), with the size and SHA-256 check %.3f s: check costs %.1f %% of the download time (hashing after it would add %.1f %%)\n",
    mib, plain, mib / plain, checked, 100 * (checked - plain) / plain, 100 * after / plain
  printf "  processor time: %.3f s without the check, %.3f s with it (+%.3f s on the hashing thread); load average %s on %d cores\n",
    cplain, cchecked, cchecked - cplain, load, cores }'
