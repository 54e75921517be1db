#!/usr/bin/env bash
# Sets up, builds and runs every test: the normal build, then the whole suite
# again under AddressSanitizer + UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
jobs="$(nproc)"

scripts/build.sh build
ctest --test-dir build --output-on-failure -j"$jobs"

scripts/build.sh build-asan -DTESSEL_SANITIZE=ON -DTESSEL_BUILD_BENCH=OFF
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-asan --output-on-failure -j"$jobs"
