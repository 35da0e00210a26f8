#!/usr/bin/env bash
# Download throughput over loopback HTTP (nginx) and FTP (vsftpd): our DownloadToFile against
# the curl command line on the same server and the same 256 MiB file, as a ratio of medians,
# plus our peak memory (it must not grow with the file).
# Usage: run.sh BUILD_DIR
set -euo pipefail
build_dir=$(realpath "${1:?usage: run.sh BUILD_DIR}")
cmake --build "$build_dir" --target bench_transfer >/dev/null
bench="$build_dir/bench/transfer/bench_transfer"
runs=${RUNS:-7}
size_mib=${SIZE_MIB:-256}

work=$(mktemp -d)
chmod 755 "$work"
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

free_port() {
  /usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'
}

mkdir -p "$work/root" "$work/nginx/tmp"
head -c $((size_mib << 20)) /dev/urandom >"$work/root/payload.bin"

http_port=$(free_port)
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
  server { listen 127.0.0.1:$http_port; root $work/root; }
}
CONF
/usr/sbin/nginx -c "$work/nginx/nginx.conf" -p "$work/nginx" -g 'daemon off;' &
pids+=($!)

ftp_port=$(free_port)
cat >"$work/vsftpd.conf" <<CONF
listen=YES
listen_ipv6=NO
listen_address=127.0.0.1
listen_port=$ftp_port
background=NO
anonymous_enable=YES
no_anon_password=YES
local_enable=NO
write_enable=NO
anon_root=$work/root
seccomp_sandbox=NO
run_as_launching_user=YES
secure_chroot_dir=/var/run/vsftpd/empty
xferlog_enable=NO
syslog_enable=NO
CONF
/usr/sbin/vsftpd "$work/vsftpd.conf" >/dev/null 2>&1 &
pids+=($!)
sleep 0.5

now() { date +%s.%N; }

# Wall-clock seconds of one command writing $work/out.bin. The previous output is removed and
# flushed first, so that no run pays for the write-back of another.
timed() {
  local start end
  rm -f "$work/out.bin"
  sync
  start=$(now)
  "$@" >/dev/null
  end=$(now)
  awk -v a="$start" -v b="$end" 'BEGIN {print b - a}'
}

median() { sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }

for proto in http ftp; do
  port=$http_port
  [ "$proto" = ftp ] && port=$ftp_port
  url="$proto://127.0.0.1:$port/payload.bin"
  ours=() theirs=()
  "$bench" "$url" "$work/out.bin" >/dev/null  # warm the page cache and the server
  for ((i = 0; i < runs; i++)); do
    theirs+=("$(timed curl -s -o "$work/out.bin" "$url")")
    ours+=("$(timed "$bench" "$url" "$work/out.bin")")
  done
  "$bench" "$url" "$work/out.bin" >"$work/last.txt"
  cmp -s "$work/out.bin" "$work/root/payload.bin" || { echo "$proto: download differs" >&2; exit 1; }
  rss=$(sed -n 's/.*peak_rss_kib=\([0-9]*\).*/\1/p' "$work/last.txt")
  t_ours=$(printf '%s\n' "${ours[@]}" | median)
  t_curl=$(printf '%s\n' "${theirs[@]}" | median)
  awk -v proto="$proto" -v mib="$size_mib" -v ours="$t_ours" -v curl="$t_curl" -v rss="$rss" 'BEGIN {
    printf "%-4s %d MiB: ours %.3f s (%.0f MiB/s), curl %.3f s (%.0f MiB/s), ratio %.3f, our peak RSS %d KiB\n",
      proto, mib, ours, mib / ours, curl, mib / curl, curl / ours, rss }'
done
