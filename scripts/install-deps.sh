#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the benchmarks need, or the packages
# named as arguments (the Windows and fuzz builds name their own).
# Quiet and quick when everything is already there; apt-get update only when an install is due.
set -euo pipefail

packages=("$@")
[ $# -gt 0 ] || packages=(
  g++ cmake make pkg-config
  libwxgtk3.2-dev libwxgtk-webview3.2-dev libgtk-3-dev libx11-dev
  libcurl4-openssl-dev libasio-dev zlib1g-dev libzstd-dev liblzma-dev libsodium-dev libssl-dev
  libgtest-dev libgmock-dev libbenchmark-dev libdw-dev
  xvfb xauth xdotool imagemagick strace
  python3 python3-pyftpdlib vsftpd nginx-light
  xdelta3 bsdiff zstd time rsync curl openssl minisign
  dpkg-dev clang-format
)

# CI installs the Windows packages while the Linux build installs its own: one apt at a time.
lock=${TMPDIR:-/tmp}/orvik-install-deps.lock
if (: >>"$lock") 2>/dev/null; then
  exec 8>>"$lock"
  flock 8
fi

# One dpkg-query for all: a call per package costs seconds on every make.
installed=$(dpkg-query -W -f='${Package} ${Status}\n' "${packages[@]}" 2>/dev/null |
  awk '/ install ok installed$/ { print $1 }' || true)
missing=()
for p in "${packages[@]}"; do
  grep -qxF "$p" <<<"$installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -q
"${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
