#!/usr/bin/env bash
# Sends the real tessel random clicks, drags, wheel turns and keys for
# SECONDS on an X server of its own (xvfb-run), from a new seed unless one
# is given; the seed is printed first, so that a failure can be replayed.
# Best on a sanitizer build, whose reports end the program and so the run.
#
#   scripts/monkey.sh SECONDS [build-dir] [seed]     (default: build-asan)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:?usage: scripts/monkey.sh SECONDS [build-dir] [seed]}"
dir="${2:-build-asan}"
seed="${3:-$(od -An -N4 -tu4 /dev/urandom | tr -d ' ')}"
echo "monkey: seed $seed; to replay: scripts/monkey.sh $seconds $dir $seed"
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
exec xvfb-run -a -s "-screen 0 1280x1024x24 -ac" \
  "$dir/tests/tessel-monkey" --seed "$seed" --events 1000000 --seconds "$seconds" \
  "$dir/tessel" data/sample.png
