#!/usr/bin/env bash
# orbpatch against xdelta3 -9, bsdiff and zstd -19 --long --patch-from on the files a simulator
# ships: a 200 MB binary asset with scattered changes, a pair above 2 GiB with 200 edits of
# 16 KiB, a 100 MB text with 3,000 line edits and 20 moved blocks (bench/orbpatch/make_pair),
# and two versions of a shared library (libcrypto from Debian's libssl3, or an edited system
# library when the archive cannot be reached). Then patch sizes from 1 KB to 8 GiB (random
# bytes with edits in place; sparse above 2 GiB), orbpatch against xdelta3, to show that the
# size does not jump anywhere.
# Figures: patch bytes; diff seconds (one run each); apply seconds as the median of RUNS runs
# with the tools taking turns, wall time and processor time (user + system, which a loaded
# machine does not inflate); apply peak resident memory (the largest of those runs). Each
# wall time has the harness's own cost taken off (starting `time` and `timeout` and reading the
# clock: the median of running `true` the same way in the same turns, printed with each table),
# which would otherwise weigh most on the fastest tool. Every run starts with nothing left to
# write back (`sync` first), so that no tool pays for what the one before it wrote.
# Targets: patch <= 1.0x xdelta3's, apply peak <= 256 MiB, apply >= 3x xdelta3's speed.
# The floor beside them: `cp` of NEW, in the same turns, is what writing NEW's bytes costs any
# tool here; no tool can be faster than xdelta3 by more than xdelta3's time over it.
# bsdiff runs up to BSDIFF_MAX bytes, zstd up to 2 GiB (its window's limit); either is left out
# where it takes longer than TOOL_TIMEOUT seconds. Files go to a temporary folder, removed at
# the end. Usage: bench/orbpatch/run.sh BUILD_DIR
set -uo pipefail

build_dir=$(realpath "${1:-build}")
cmake --build "$build_dir" --target orbpatch bench_orbpatch_pair >/dev/null || exit 1
tool="$build_dir/tools/orbpatch/orbpatch"
make_pair="$build_dir/bench/orbpatch/bench_orbpatch_pair"
for t in xdelta3 bsdiff bspatch zstd /usr/bin/time apt-get apt-cache dpkg-deb; do
  command -v "$t" >/dev/null || { echo "orbpatch bench: $t missing (scripts/install-deps.sh)" >&2; exit 1; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/orbpatch-bench-XXXXXX")
trap 'rm -rf "$work"' EXIT
RUNS=${RUNS:-5}
BSDIFF_MAX=$((256 << 20))
ZSTD_MAX=$((2 << 30))
TOOL_TIMEOUT=${TOOL_TIMEOUT:-900}

# run_measured CMD...: runs CMD; sets `secs` (wall), `cpu` (user + system seconds) and
# `rss_mib` (peak resident memory).
run_measured() {
  local start end usage
  start=$(date +%s%N)
  /usr/bin/time -f "%U %S %M" -o "$work/usage" timeout "$TOOL_TIMEOUT" "$@" >/dev/null 2>&1 || return 1
  end=$(date +%s%N)
  secs=$(echo "scale=3; ($end - $start) / 1000000000" | bc | sed 's/^\./0./')
  read -r -a usage < <(tail -1 "$work/usage")
  cpu=$(echo "${usage[0]} + ${usage[1]}" | bc | sed 's/^\./0./')
  rss_mib=$(( usage[2] / 1024 ))
}

median() { printf '%s\n' "$@" | sort -g | awk '{v[NR] = $1} END {print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }
less_harness() { echo "scale=3; $1 - $harness" | bc | sed 's/^\./0./; s/^-\./-0./'; }
ratio() { if [ "$(echo "$2 == 0" | bc)" = 1 ]; then echo -; else echo "scale=2; $1 / $2" | bc | sed 's/^\./0./'; fi; }

# The diff and apply commands of each tool ("NAME OLD NEW PATCH OUT").
diff_cmd() {
  case $1 in
    orbpatch) echo "$tool diff $2 $3 $4" ;;
    xdelta3) echo "xdelta3 -9 -e -f -s $2 $3 $4" ;;
    bsdiff) echo "bsdiff $2 $3 $4" ;;
    zstd) echo "zstd -q -f -19 -T0 --long=31 --patch-from=$2 $3 -o $4" ;;
  esac
}
apply_cmd() {
  case $1 in
    orbpatch) echo "$tool apply $2 $4 $5" ;;
    xdelta3) echo "xdelta3 -d -f -s $2 $4 $5" ;;
    bsdiff) echo "bspatch $2 $5 $4" ;;
    zstd) echo "zstd -q -f -d --long=31 --patch-from=$2 $4 -o $5" ;;
  esac
}

summary=()

# bench_pair NAME OLD NEW: the table of one pair.
bench_pair() {
  local name=$1 old=$2 new=$3 size t tools=() sizes=() diffs=() d="$work/out"
  size=$(stat -c %s "$new")
  rm -rf "$d"; mkdir -p "$d"
  echo
  echo "## $name ($(stat -c %s "$old") -> $size bytes)"
  for t in orbpatch xdelta3 bsdiff zstd; do
    if { [ "$t" = bsdiff ] && [ "$size" -gt "$BSDIFF_MAX" ]; } || { [ "$t" = zstd ] && [ "$size" -gt "$ZSTD_MAX" ]; }; then
      echo "$t: left out (above its size limit)"; continue
    fi
    # shellcheck disable=SC2046
    if ! run_measured $(diff_cmd $t "$old" "$new" "$d/$t.patch"); then
      echo "$t: left out (diff failed or took longer than ${TOOL_TIMEOUT}s)"; rm -f "$d/$t.patch"; continue
    fi
    tools+=("$t"); sizes+=("$(stat -c %s "$d/$t.patch")"); diffs+=("$secs")
  done
  declare -A times cpus rss
  for _ in $(seq "$RUNS"); do
    for t in "${tools[@]}"; do
      rm -f "$d/$t.out"; sync
      # shellcheck disable=SC2046
      run_measured $(apply_cmd $t "$old" "$new" "$d/$t.patch" "$d/$t.out") || { echo "$t apply failed"; return 1; }
      times[$t]+="$secs "
      cpus[$t]+="$cpu "
      [ "$rss_mib" -gt "${rss[$t]:-0}" ] && rss[$t]=$rss_mib
    done
    rm -f "$d/copy"; sync
    run_measured cp --reflink=never "$new" "$d/copy" && times[copy]+="$secs "
    run_measured true && times[harness]+="$secs "
  done
  local harness
  # shellcheck disable=SC2086
  harness=$(median ${times[harness]})
  for t in "${tools[@]}"; do
    cmp -s "$d/$t.out" "$new" || { echo "$t rebuilt a wrong file"; return 1; }
    rm -f "$d/$t.out"
  done
  printf '%-9s %12s %9s %9s %13s %10s\n' tool "patch bytes" "diff s" "apply s" "apply cpu s" "apply MiB"
  local i orb_size xd3_size orb_apply xd3_apply orb_cpu xd3_cpu
  for i in "${!tools[@]}"; do
    t=${tools[$i]}
    local apply apply_cpu
    # shellcheck disable=SC2086
    apply=$(less_harness "$(median ${times[$t]})"); apply_cpu=$(median ${cpus[$t]})
    printf '%-9s %12s %9s %9s %13s %10s\n' "$t" "${sizes[$i]}" "${diffs[$i]}" "$apply" "$apply_cpu" "${rss[$t]}"
    [ "$t" = orbpatch ] && { orb_size=${sizes[$i]}; orb_apply=$apply; orb_cpu=$apply_cpu; }
    [ "$t" = xdelta3 ] && { xd3_size=${sizes[$i]}; xd3_apply=$apply; xd3_cpu=$apply_cpu; }
  done
  local others=""
  for i in "${!tools[@]}"; do
    case ${tools[$i]} in bsdiff|zstd) others+=", /${tools[$i]} $(ratio "$orb_size" "${sizes[$i]}")" ;; esac
  done
  echo "orbpatch patch / xdelta3's: $(ratio "$orb_size" "$xd3_size") (target <= 1.0)$others;" \
       "apply speed x xdelta3: $(ratio "$xd3_apply" "$orb_apply") (target >= 3)," \
       "in processor time $(ratio "$xd3_cpu" "$orb_cpu"); apply peak ${rss[orbpatch]} MiB (target <= 256)"
  local copy
  # shellcheck disable=SC2086
  copy=$(less_harness "$(median ${times[copy]})")
  echo "harness: ${harness} s, taken off each wall time above and below"
  echo "floor: cp of NEW ${copy} s; orbpatch $(ratio "$orb_apply" "$copy")x it, xdelta3" \
       "$(ratio "$xd3_apply" "$copy")x it (the most any tool can be ahead of xdelta3)"
  summary+=("$(printf '%-34s %7s %7s %7s %9s' "${name:0:34}" "$(ratio "$orb_size" "$xd3_size")" \
    "$(ratio "$xd3_apply" "$orb_apply")" "$(ratio "$xd3_cpu" "$orb_cpu")" "${rss[orbpatch]}")")
  rm -rf "$d"
}

# The biggest file that two Debian versions of $1 share: sets pair_old, pair_new, pair_name.
deb_pair() {
  local pkg=$1 dir="$work/deb-$1" versions rel
  mkdir -p "$dir/old" "$dir/new"
  mapfile -t versions < <(apt-cache madison "$pkg" 2>/dev/null | awk -F'|' '{gsub(/ /,"",$2); print $2}' |
                          sort -u | sort -V -r | head -2)
  [ "${#versions[@]}" -eq 2 ] || return 1
  (cd "$dir" && apt-get download -q "$pkg=${versions[1]}" "$pkg=${versions[0]}") >/dev/null 2>&1 || return 1
  local debs=("$dir"/*.deb)
  [ "${#debs[@]}" -eq 2 ] || return 1
  dpkg-deb -x "$(ls "$dir"/*.deb | grep -F "$(echo "${versions[1]}" | sed 's/:/%3a/')")" "$dir/old" &&
    dpkg-deb -x "$(ls "$dir"/*.deb | grep -F "$(echo "${versions[0]}" | sed 's/:/%3a/')")" "$dir/new" || return 1
  rel=$(cd "$dir/new" && find . -type f -printf '%s %p\n' | sort -n -r | awk '{print $2}' |
        while read -r f; do [ -f "$dir/old/$f" ] && { echo "$f"; break; }; done)
  [ -n "$rel" ] || return 1
  pair_old="$dir/old/$rel"; pair_new="$dir/new/$rel"
  pair_name="$pkg ${versions[1]} -> ${versions[0]}"
}

# Without the archive: a system library and a copy with what a rebuild brings (new code in
# the middle, code removed further on, addresses changed all over).
edited_library() {
  local src dir="$work/edited"
  src=$(readlink -f /usr/lib/x86_64-linux-gnu/libstdc++.so.6)
  mkdir -p "$dir" && cp "$src" "$dir/old" || return 1
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
  pair_old="$dir/old"; pair_new="$dir/new"; pair_name="$(basename "$src") with edits"
}

echo "orbpatch bench ($(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg));" \
     "apply: median of $RUNS runs, tools alternated"
status=0
p="$work/pair"
"$make_pair" asset 200M "$p.old" "$p.new" && bench_pair "200 MB asset, scattered changes" "$p.old" "$p.new" || status=1
"$make_pair" text 100M "$p.old" "$p.new" && bench_pair "100 MB text, edits and moves" "$p.old" "$p.new" || status=1
if deb_pair libssl3; then
  bench_pair "shared library: $pair_name" "$pair_old" "$pair_new" || status=1
elif edited_library; then
  bench_pair "shared library: $pair_name" "$pair_old" "$pair_new" || status=1
fi
rm -rf "$work"/deb-* "$work/edited"
"$make_pair" edits 2560M "$p.old" "$p.new" >/dev/null &&
  bench_pair "2.5 GiB pair, 200 x 16 KiB edits" "$p.old" "$p.new" || status=1
rm -f "$p.old" "$p.new"

echo
echo "summary (patch: orbpatch / xdelta3; apply: xdelta3 time / orbpatch time, wall and processor;"
echo "orbpatch's apply peak)"
printf '%-34s %7s %7s %7s %9s\n' pair "patch" "apply x" "cpu x" "peak MiB"
printf '%s\n' "${summary[@]}"

echo
echo "## patch size from 1 KB to 8 GiB: edits of random bytes in place (sparse from 4 GiB)"
printf '%-8s %12s %12s %12s %9s %10s\n' size "edited" orbpatch xdelta3 "/xdelta3" "apply MiB"
for size in 1K 64K 1M 8M 9M 128M 1G 4G 8G; do
  kind=edits
  case $size in 4G|8G) kind=sparse ;; esac
  edited=$("$make_pair" "$kind" "$size" "$p.old" "$p.new") || { status=1; continue; }
  run_measured "$tool" diff "$p.old" "$p.new" "$p.orb" || { echo "$size: orbpatch diff failed"; status=1; continue; }
  run_measured "$tool" apply "$p.old" "$p.orb" "$p.out" && cmp -s "$p.out" "$p.new" ||
    { echo "$size: orbpatch apply failed"; status=1; }
  orb_rss=$rss_mib
  rm -f "$p.out"
  xd3="-"
  run_measured xdelta3 -9 -e -f -s "$p.old" "$p.new" "$p.xd3" && xd3=$(stat -c %s "$p.xd3")
  orb=$(stat -c %s "$p.orb")
  printf '%-8s %12s %12s %12s %9s %10s\n' "$size" "$edited" "$orb" "$xd3" \
    "$([ "$xd3" = - ] && echo - || ratio "$orb" "$xd3")" "$orb_rss"
  rm -f "$p.old" "$p.new" "$p.orb" "$p.xd3"
done
exit $status
