#!/usr/bin/env bash
# Installs the MinGW-w64 toolchain and Wine, and builds the libraries that Debian packages only
# for Linux (zstd, xz's liblzma, curl with the Windows TLS backend, GoogleTest, libsodium) as static
# x86_64-w64-mingw32 libraries from Debian's own source packages, in the same versions as the
# Linux build's. They go into a cache outside the checkout, keyed by those versions, the
# toolchain and the build steps below; the script prints that folder (the prefix to hand to
# CMake as ORVIK_WINDOWS_DEPS). Quiet and quick when the cache is there.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
toolchain=$(cd "$here/../cmake" && pwd)/mingw-w64-x86_64.cmake
cache_root=${ORVIK_WINDOWS_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/orvik-mingw}
mirror=${ORVIK_DEBIAN_MIRROR:-http://deb.debian.org/debian}
security_mirror=${ORVIK_DEBIAN_SECURITY_MIRROR:-http://deb.debian.org/debian-security}
keyring=/usr/share/keyrings/debian-archive-keyring.gpg
jobs=${JOBS:-$(nproc)}

# The Linux development packages whose source packages (libzstd, xz-utils, curl, googletest,
# libsodium) are built, in the same versions.
linux_packages=(libzstd-dev liblzma-dev libcurl4-openssl-dev libgtest-dev libsodium-dev)
toolchain_packages=(g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev)

say() { echo "windows-deps: [${SECONDS} s] $*" >&2; }

# Standard output carries only the cache folder.
install_packages() {
  bash "$here/install-deps.sh" "${toolchain_packages[@]}" mingw-w64-tools libz-mingw-w64-dev \
    wine wine64 cmake ninja-build make pkg-config dpkg-dev xz-utils debian-archive-keyring \
    autoconf automake autopoint libtool \
    "${linux_packages[@]}" >&2
}

# "name=version" of every source package.
wanted_sources() {
  dpkg-query -W -f='${source:Package}=${source:Version}\n' "${linux_packages[@]}"
}

cache_key() {
  {
    wanted_sources
    dpkg-query -W -f='${Package}=${Version}\n' "${toolchain_packages[@]}"
    declare -f cmake_build autotools_build build_all
    grep -v '^ *#' "$toolchain"
  } | sha256sum | cut -c1-16
}

# Source indexes go into a temporary apt state, so the machine's apt setup stays as it was.
fetch_sources() {
  local apt=$work/apt codename suite wanted
  codename=$(. /etc/os-release && echo "$VERSION_CODENAME")
  mkdir -p "$apt/lists/partial" "$apt/cache/archives/partial" "$work/src"
  # apt downloads as its unprivileged user when run as root.
  [ "$(id -u)" -ne 0 ] || ! id _apt >/dev/null 2>&1 || chown _apt "$work/src"
  for suite in "$codename" "$codename-updates"; do
    echo "deb-src [signed-by=$keyring] $mirror $suite main"
  done >"$apt/sources.list"
  echo "deb-src [signed-by=$keyring] $security_mirror $codename-security main" >>"$apt/sources.list"
  apt_options=(-o "Dir::Etc::SourceList=$apt/sources.list" -o Dir::Etc::SourceParts=/dev/null
    -o "Dir::State::Lists=$apt/lists" -o "Dir::Cache=$apt/cache" -o Dir::State::status=/dev/null)
  apt-get "${apt_options[@]}" -q update >>"$log" 2>&1 || fail "apt-get update"
  for wanted in $(wanted_sources); do
    fetch_source "${wanted%%=*}" "${wanted#*=}"
  done
}

# fetch_source NAME VERSION: download and unpack (with Debian's patches) that version, or, when
# a mirror does not carry it, the newest version it does carry.
fetch_source() {
  local name=$1 wanted=$2 version
  for version in "$wanted" $(archive_versions "$name" | grep -vxF "$wanted"); do
    if (cd "$work/src" && apt-get "${apt_options[@]}" -q source --download-only "$name=$version") \
      >>"$log" 2>&1; then
      [ "$version" = "$wanted" ] || say "$name $wanted cannot be downloaded; using $version"
      echo "$name=$version" >>"$work/versions.txt"
      dpkg-source -x "$work/src/${name}_${version#*:}.dsc" "$work/src/$name" >>"$log" 2>&1 ||
        fail "unpacking $name $version"
      return
    fi
  done
  fail "fetching $name"
}

# Every version of a source package in the temporary indexes, newest first.
archive_versions() {
  apt-cache "${apt_options[@]}" madison "$1" | awk -F' *[|] *' '$3 ~ / Sources$/ { print $2 }' |
    sort -u | sort -r -V
}

fail() {
  say "$1 failed; the end of $log:"
  tail -n 30 "$log" >&2
  exit 1
}

# cmake_build NAME SOURCE-SUBFOLDER OPTIONS...: configure, build and install one CMake project.
cmake_build() {
  local name=$1 source_dir=$work/src/$1/$2
  shift 2
  say "building $name"
  {
    cmake -S "$source_dir" -B "$work/build/$name" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
      -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" -DBUILD_SHARED_LIBS=OFF "$@" &&
      cmake --build "$work/build/$name" -j "$jobs" &&
      cmake --install "$work/build/$name"
  } >>"$log" 2>&1 || fail "building $name"
}

# autotools_build NAME OPTIONS...: configure, build and install one autotools project.
autotools_build() {
  local name=$1
  shift
  say "building $name"
  (
    # Debian's sources may come without a generated configure script; their own builds
    # regenerate it too.
    cd "$work/src/$name" && autoreconf -fi &&
      ./configure --host=x86_64-w64-mingw32 CC=x86_64-w64-mingw32-gcc-posix \
        --prefix="$prefix" --disable-shared --enable-static "$@" &&
      make -j "$jobs" && make install
  ) >>"$log" 2>&1 || fail "building $name"
}

build_all() {
  cmake_build libzstd build/cmake -DZSTD_BUILD_SHARED=OFF -DZSTD_BUILD_PROGRAMS=OFF \
    -DZSTD_BUILD_TESTS=OFF
  # HTTP, HTTPS through Schannel and FTP: what the transfer layer asks of curl, and no more.
  local protocol off=()
  for protocol in LDAP LDAPS DICT FILE GOPHER IMAP MQTT POP3 RTSP SMB SMTP TELNET TFTP; do
    off+=("-DCURL_DISABLE_$protocol=ON")
  done
  cmake_build curl . -DCURL_USE_SCHANNEL=ON -DCURL_USE_OPENSSL=OFF -DCURL_USE_LIBSSH2=OFF \
    -DCURL_ZLIB=OFF -DCURL_BROTLI=OFF -DCURL_ZSTD=OFF -DUSE_NGHTTP2=OFF -DUSE_LIBIDN2=OFF \
    -DUSE_WIN32_IDN=OFF -DENABLE_UNIX_SOCKETS=OFF -DBUILD_CURL_EXE=OFF -DBUILD_TESTING=OFF \
    -DENABLE_MANUAL=OFF -DCURL_CA_BUNDLE=none -DCURL_CA_PATH=none \
    "${off[@]}"
  cmake_build googletest . -DBUILD_GMOCK=ON -DINSTALL_GTEST=ON
  autotools_build libsodium
  # Only the library: the difference tool's xz-compressed patches.
  autotools_build xz-utils --disable-xz --disable-xzdec --disable-lzmadec --disable-lzmainfo \
    --disable-lzma-links --disable-scripts --disable-doc --disable-nls
}

main() {
  install_packages
  key=$(cache_key)
  prefix=$cache_root/$key
  [ -f "$prefix/.complete" ] && { echo "$prefix"; return; }

  mkdir -p "$cache_root"
  exec 9>"$cache_root/.lock"
  flock 9
  [ -f "$prefix/.complete" ] && { echo "$prefix"; return; }

  log=$cache_root/$key.log
  : >"$log"
  # Open to apt's unprivileged download user, which writes below it.
  work=$(mktemp -d "${TMPDIR:-/tmp}/windows-deps.XXXXXX")
  chmod 755 "$work"
  trap 'rm -rf "$work"' EXIT
  rm -rf "$prefix"

  say "fetching $(wanted_sources | tr '\n' ' ')"
  fetch_sources
  build_all
  cp "$work/versions.txt" "$prefix/versions.txt"
  touch "$prefix/.complete"
  rm -f "$log"
  say "done: $prefix"
  echo "$prefix"
}

main
