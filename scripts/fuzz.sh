#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, AddressSanitizer + UBSan) and runs
# each one for SECONDS on its committed corpus and dictionary.
#
#   scripts/fuzz.sh SECONDS [TARGET...]
#
# Exits non-zero when a build fails or any target reports a crash, leak,
# sanitizer error, out-of-memory or an input slower than one second; the
# reproducing inputs are left in the output folder and named in the log.
#
# Environment:
#   FUZZ_BUILD_DIR  build folder (default build-fuzz in the repository)
#   FUZZ_OUT        folder for logs, new corpus entries and findings
#                   (default: a fresh folder under /tmp)
#   FUZZ_JOBS       targets run at the same time (default 2)
#   CC, CXX         compilers (default clang-14 / clang++-14)

set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
SECONDS_EACH="${1:?usage: scripts/fuzz.sh SECONDS [TARGET...]}"
shift
ALL_TARGETS=(bmp tiff tiff_count pcx pnm tga jpeg png webp registry roundtrip gridfile tags cells html)
TARGETS=("${@:-${ALL_TARGETS[@]}}")
BUILD="${FUZZ_BUILD_DIR:-$ROOT/build-fuzz}"
OUT="${FUZZ_OUT:-$(mktemp -d /tmp/tessel-fuzz.XXXXXX)}"
JOBS="${FUZZ_JOBS:-2}"

# Longest input per target: large enough for every variant of the seeds and
# for headers that promise big images, small enough to keep runs fast.
max_len() {
  case "$1" in
    gridfile|tags|cells|html) echo 2048 ;;
    jpeg|png|webp|roundtrip|registry) echo 8192 ;;
    *) echo 4096 ;;
  esac
}

build() {
  if ! command -v "${CXX:-clang++-14}" >/dev/null; then
    echo "fuzz: ${CXX:-clang++-14} not found (Debian: apt-get install clang-14 libclang-rt-14-dev)" >&2
    exit 2
  fi
  CC="${CC:-clang-14}" CXX="${CXX:-clang++-14}" cmake -S "$ROOT" -B "$BUILD" -G Ninja \
    -DCMAKE_BUILD_TYPE=Release -DTESSEL_FUZZ=ON -DTESSEL_SANITIZE=ON \
    -DTESSEL_BUILD_TESTS=OFF -DTESSEL_BUILD_BENCH=OFF >/dev/null
  local names=()
  for t in "${TARGETS[@]}"; do names+=("fuzz_$t"); done
  cmake --build "$BUILD" -j "$JOBS" --target "${names[@]}"
}

# Runs one target; its log ends with libFuzzer's final statistics.
run_target() {
  local t="$1" dir="$OUT/$1"
  mkdir -p "$dir/new" "$dir/findings"
  local rc=0
  ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:allocator_may_return_null=0}" \
  UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}" \
    "$BUILD/fuzzers/fuzz_$t" "$dir/new" "$ROOT/fuzz/corpus/$t" \
      -dict="$ROOT/fuzz/dict/$t.dict" -max_total_time="$SECONDS_EACH" -timeout=1 \
      -rss_limit_mb=2048 -max_len="$(max_len "$t")" -print_final_stats=1 \
      -artifact_prefix="$dir/findings/" >"$dir/log" 2>&1 || rc=$?
  echo "$rc" >"$dir/rc"
}

summary() {
  local t="$1" dir="$OUT/$1"
  local rc runs secs rate found
  rc="$(cat "$dir/rc")"
  runs="$(sed -n 's/^stat::number_of_executed_units: *//p' "$dir/log" | tail -1)"
  secs="$(sed -n 's/^stat::.*//;s/^Done [0-9]* runs in \([0-9]*\) second.*/\1/p' "$dir/log" | tail -1)"
  rate="$(sed -n 's/^stat::average_exec_per_sec: *//p' "$dir/log" | tail -1)"
  found="$(find "$dir/findings" -type f | wc -l)"
  printf '%-11s rc=%-3s execs=%-10s exec/s=%-7s seconds=%-5s findings=%s\n' \
    "$t" "$rc" "${runs:-?}" "${rate:-?}" "${secs:-?}" "$found"
  [[ "$rc" == 0 && "$found" == 0 ]]
}

main() {
  build
  echo "fuzzing ${#TARGETS[@]} targets for ${SECONDS_EACH}s each, $JOBS at a time; output in $OUT"
  local running=0
  for t in "${TARGETS[@]}"; do
    run_target "$t" &
    running=$((running + 1))
    if ((running >= JOBS)); then
      wait -n || true
      running=$((running - 1))
    fi
  done
  wait
  local failed=0
  for t in "${TARGETS[@]}"; do
    summary "$t" || { failed=1; grep -E 'ERROR|SUMMARY|fuzz finding|Test unit written' "$OUT/$t/log" | head -5; }
  done
  if ((failed)); then
    echo "fuzz: findings, see $OUT"
    exit 1
  fi
  echo "fuzz: no findings"
}

main
