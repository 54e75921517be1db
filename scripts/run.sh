#!/usr/bin/env bash
# Sets up, builds and starts Tessel with a sample image. Without a display it
# says so and slices the sample with the command-line twin instead.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh build

sample=data/sample.png
if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  exec build/tessel "$sample" "$@"
fi

echo "No display found (neither DISPLAY nor WAYLAND_DISPLAY is set), so the"
echo "desktop program cannot start. Slicing the sample with tessel-cli instead:"
out="$(mktemp -d "${TMPDIR:-/tmp}/tessel-sample.XXXXXX")"
build/tessel-cli slice "$sample" "$out/index.html" --vert 200 --horz 50,150
echo
echo "Slices and HTML in $out:"
ls -l "$out"
