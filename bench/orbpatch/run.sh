#!/usr/bin/env bash
# Difference size and diff/apply times of orbpatch next to xdelta3 and bsdiff on real file
# pairs: the biggest file of two Debian versions of the same package (downloaded with apt-get),
# or, when the archive cannot be reached, a system binary with the edits a rebuild brings.
# Usage: bench/orbpatch/run.sh BUILD_DIR
set -uo pipefail

build_dir=$(realpath "${1:-build}")
tool="$build_dir/tools/orbpatch/orbpatch"
[ -x "$tool" ] || { echo "orbpatch bench: $tool not built" >&2; exit 1; }
for t in xdelta3 bsdiff bspatch dpkg-deb apt-get apt-cache; do
  command -v "$t" >/dev/null || { echo "orbpatch bench: $t missing (scripts/install-deps.sh)" >&2; exit 1; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/orbpatch-bench-XXXXXX")
trap 'rm -rf "$work"' EXIT
BSDIFF_MAX=$((16 << 20))  # bsdiff needs ~17x the file in memory and minutes beyond this
RUNS=5                    # applies are timed this many times; the best run counts

# Debian packages whose biggest file is a realistic binary update, small to mid-sized
# (ORBPATCH_BENCH_PACKAGES overrides the list; empty means edited local binaries only).
read -r -a PACKAGES <<<"${ORBPATCH_BENCH_PACKAGES-libc6 libssl3 postgresql-15}"

# Best (lowest) real and user+sys seconds of running "$@" $RUNS times: prints "REAL CPU".
# With "--fresh FILE" first, FILE is removed before each run: the installer always writes a new
# file, and replacing one costs ext4 an early flush that would be timed too.
best_time() {
  local best_real="" best_cpu="" line real user sys cpu fresh=""
  if [ "$1" = --fresh ]; then fresh=$2; shift 2; fi
  for _ in $(seq "$RUNS"); do
    [ -n "$fresh" ] && rm -f "$fresh"
    line=$( { TIMEFORMAT='%R %U %S'; time "$@" >/dev/null 2>&1; } 2>&1 ) || return 1
    read -r real user sys <<<"$line"
    cpu=$(echo "$user + $sys" | bc)
    if [ -z "$best_real" ] || [ "$(echo "$real < $best_real" | bc)" = 1 ]; then best_real=$real; fi
    if [ -z "$best_cpu" ] || [ "$(echo "$cpu < $best_cpu" | bc)" = 1 ]; then best_cpu=$cpu; fi
  done
  echo "$best_real $best_cpu"
}

once_time() { RUNS=1 best_time "$@"; }

# Downloads the two newest versions of $1 and sets pair_old/pair_new to the biggest file that
# both contain. Fails when the archive cannot be reached.
deb_pair() {
  local pkg=$1 dir="$work/deb-$1" versions
  mkdir -p "$dir/old" "$dir/new"
  mapfile -t versions < <(apt-cache madison "$pkg" 2>/dev/null | awk -F'|' '{gsub(/ /,"",$2); print $2}' |
                          sort -u | sort -V -r | head -2)
  [ "${#versions[@]}" -eq 2 ] || return 1
  (cd "$dir" && apt-get download -q "$pkg=${versions[1]}" "$pkg=${versions[0]}") >/dev/null 2>&1 || return 1
  local old_deb new_deb
  old_deb=$(ls "$dir"/*.deb | grep -F "$(echo "${versions[1]}" | sed 's/:/%3a/')" | head -1)
  new_deb=$(ls "$dir"/*.deb | grep -F "$(echo "${versions[0]}" | sed 's/:/%3a/')" | head -1)
  [ -n "$old_deb" ] && [ -n "$new_deb" ] || return 1
  dpkg-deb -x "$old_deb" "$dir/old" && dpkg-deb -x "$new_deb" "$dir/new" || return 1
  local rel
  rel=$(cd "$dir/new" && find . -type f -printf '%s %p\n' | sort -n -r | awk '{print $2}' |
        while read -r f; do [ -f "$dir/old/$f" ] && { echo "$f"; break; }; done)
  [ -n "$rel" ] || return 1
  pair_old="$dir/old/$rel"
  pair_new="$dir/new/$rel"
  pair_name="$pkg ${versions[1]} -> ${versions[0]} ${rel#./}"
}

# A system binary and a copy with the edits a rebuild brings: 256 KiB of new code (taken from
# another program, so it compresses like code), 128 KiB removed and addresses changed all over.
edited_pair() {
  local src=$1 dir="$work/edit-$(basename "$1")"
  mkdir -p "$dir"
  cp "$src" "$dir/old"
  /usr/bin/python3 - "$dir/old" "$dir/new" <<'PY' || return 1
import sys
data = bytearray(open(sys.argv[1], 'rb').read())
code = open(sys.executable, 'rb').read()
n = len(data)
data[n // 3:n // 3] = code[len(code) // 2:len(code) // 2 + 256 * 1024]
del data[2 * n // 3:2 * n // 3 + 128 * 1024]
for i in range(100, len(data), 5000):
    data[i] = (data[i] + 1) & 0xFF
open(sys.argv[2], 'wb').write(data)
PY
  pair_old="$dir/old"
  pair_new="$dir/new"
  pair_name="$(basename "$src") with edits"
}

ratio() { echo "scale=2; $1 / $2" | bc | sed 's/^\./0./'; }
ms() { echo "$1 * 1000 / 1" | bc; }

bench_pair() {
  local old=$1 new=$2 name=$3 d="$work/out" size_old size_new
  rm -rf "$d"; mkdir -p "$d"
  size_old=$(stat -c %s "$old"); size_new=$(stat -c %s "$new")
  echo
  echo "## $name ($size_old -> $size_new bytes)"

  local od oa xd xa bd="" ba="" os xs bs=""
  od=$(once_time "$tool" diff "$old" "$new" "$d/orb") || { echo "orbpatch diff failed"; return 1; }
  oa=$(best_time --fresh "$d/orb.out" "$tool" apply "$old" "$d/orb" "$d/orb.out") || { echo "orbpatch apply failed"; return 1; }
  cmp -s "$d/orb.out" "$new" || { echo "orbpatch rebuilt a wrong file"; return 1; }
  xd=$(once_time xdelta3 -9 -e -f -s "$old" "$new" "$d/xd3") || return 1
  xa=$(best_time --fresh "$d/xd3.out" xdelta3 -d -f -s "$old" "$d/xd3" "$d/xd3.out") || return 1
  cmp -s "$d/xd3.out" "$new" || { echo "xdelta3 rebuilt a wrong file"; return 1; }
  os=$(stat -c %s "$d/orb"); xs=$(stat -c %s "$d/xd3")
  printf '%-10s %12s %10s %10s %12s\n' tool "patch bytes" "diff s" "apply ms" "apply cpu ms"
  printf '%-10s %12s %10s %10s %12s\n' orbpatch "$os" "${od% *}" "$(ms "${oa% *}")" "$(ms "${oa#* }")"
  printf '%-10s %12s %10s %10s %12s\n' xdelta3 "$xs" "${xd% *}" "$(ms "${xa% *}")" "$(ms "${xa#* }")"
  if [ "$size_new" -le "$BSDIFF_MAX" ] && [ "$size_old" -le "$BSDIFF_MAX" ]; then
    bd=$(once_time bsdiff "$old" "$new" "$d/bsd") || return 1
    ba=$(best_time --fresh "$d/bsd.out" bspatch "$old" "$d/bsd.out" "$d/bsd") || return 1
    cmp -s "$d/bsd.out" "$new" || { echo "bspatch rebuilt a wrong file"; return 1; }
    bs=$(stat -c %s "$d/bsd")
    printf '%-10s %12s %10s %10s %12s\n' bsdiff "$bs" "${bd% *}" "$(ms "${ba% *}")" "$(ms "${ba#* }")"
  else
    echo "bsdiff     skipped (file above $BSDIFF_MAX bytes)"
  fi
  local sizes="patch size orbpatch/xdelta3 $(ratio "$os" "$xs")"
  local applies="apply time xdelta3/orbpatch $(ratio "${xa% *}" "${oa% *}") (cpu $(ratio "${xa#* }" "${oa#* }"))"
  if [ -n "$bs" ]; then
    sizes+=", orbpatch/bsdiff $(ratio "$os" "$bs")"
    applies+=", bspatch/orbpatch $(ratio "${ba% *}" "${oa% *}")"
  fi
  echo "ratios: $sizes; $applies"
  summary+=("$(printf '%-58s %6s %6s %7s %7s' "${name:0:58}" "$(ratio "$os" "$xs")" \
    "${bs:+$(ratio "$os" "$bs")}" "$(ratio "${xa% *}" "${oa% *}")" "$(ratio "${xa#* }" "${oa#* }")")")
}

echo "orbpatch bench ($(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg)); times: real seconds," \
     "applies best of $RUNS"
summary=()
pairs=0
status=0
for pkg in "${PACKAGES[@]}"; do
  if deb_pair "$pkg"; then
    bench_pair "$pair_old" "$pair_new" "$pair_name" || status=1
    pairs=$((pairs + 1))
  fi
done
# Without the archive, real binaries of this machine with realistic edits stand in.
if [ "$pairs" -lt 3 ]; then
  echo "(Debian archive not reachable for every package: using edited system binaries)"
  for src in /usr/bin/bash /usr/lib/x86_64-linux-gnu/libstdc++.so.6 /usr/bin/cmake; do
    [ "$pairs" -ge 3 ] && break
    src=$(readlink -f "$src")
    [ -f "$src" ] || continue
    edited_pair "$src" && { bench_pair "$pair_old" "$pair_new" "$pair_name" || status=1; }
    pairs=$((pairs + 1))
  done
fi

echo
echo "summary (size: orbpatch patch / other patch, lower is better; apply: other time / orbpatch time)"
printf '%-58s %6s %6s %7s %7s\n' pair "/xd3" "/bsd" "xd3 x" "cpu x"
printf '%s\n' "${summary[@]}"
exit $status
