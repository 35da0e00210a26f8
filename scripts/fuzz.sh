#!/usr/bin/env bash
# Builds the fuzz harnesses of tests/fuzz with clang's libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer (in build-fuzz/) and runs each, one after the other, for
# FUZZ_SECONDS (default 60) from its corpus in tests/fuzz/corpus/<harness>/.
#   FUZZ_TARGETS="archive catalogue"  runs only those harnesses
# New inputs go to build-fuzz/corpus/<harness>/, a fault's input to build-fuzz/findings/<harness>/;
# keep a fault's input in tests/fuzz/corpus/<harness>/ so that `make test` replays it from then on.
# Exits non-zero when a harness found a fault.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
bash scripts/install-deps.sh clang-14 libclang-rt-14-dev

build=${BUILD_DIR:-build-fuzz}
seconds=${FUZZ_SECONDS:-60}
harnesses=${FUZZ_TARGETS:-$(cd tests/fuzz && ls ./*_fuzz.cpp | sed 's|^\./||; s|_fuzz\.cpp$||')}

# Every library is instrumented for coverage; only the harnesses get libFuzzer's main.
CC=clang-14 CXX=clang++-14 cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DSANITIZE=ON -DORVIK_FUZZ=ON \
  -DCMAKE_C_FLAGS=-fsanitize=fuzzer-no-link -DCMAKE_CXX_FLAGS=-fsanitize=fuzzer-no-link >/dev/null
targets=()
for h in $harnesses; do targets+=("fuzz_$h"); done
cmake --build "$build" -j "${JOBS:-$(nproc)}" --target "${targets[@]}"

failed=()
for h in $harnesses; do
  mkdir -p "$build/corpus/$h" "$build/findings/$h" "$build/logs"
  log="$build/logs/$h.log"
  echo "fuzz: $h for ${seconds}s"
  if ASAN_OPTIONS=allocator_may_return_null=1 "$build/tests/fuzz/fuzz_$h" \
      -max_total_time="$seconds" -timeout=30 -rss_limit_mb=2048 -max_len=65536 \
      -artifact_prefix="$build/findings/$h/" "$build/corpus/$h" "tests/fuzz/corpus/$h" \
      >"$log" 2>&1; then
    grep -E '^(#[0-9]+[[:space:]]+DONE|Done [0-9]+ runs)' "$log" | sed "s/^/fuzz: $h: /" || true
  else
    failed+=("$h")
    grep -E 'ERROR|SUMMARY|Test unit written' "$log" | sed "s/^/fuzz: $h: /" || true
  fi
done
if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzz: faults found by ${failed[*]} (logs in $build/logs/)"
  exit 1
fi
echo "fuzz: no faults"
