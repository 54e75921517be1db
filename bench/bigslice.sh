#!/usr/bin/env bash
# A 30000 x 30000 JPEG (2.7 GB once decoded) cut into 10 x 10 slices:
# tessel-cli's wall time and peak memory against vips dzsave's on the same
# file, with the load average before and after. The pixel limit is raised
# for the run (MaxImagePixels); memory must stay far below the picture,
# inside 1 GB. The JPEG is made once, by vips, from a grain tile repeated.
# Usage: bench/bigslice.sh [build-dir]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-bench}
command -v vips >/dev/null || { echo "bench/bigslice.sh needs vips (libvips-tools)" >&2; exit 1; }
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --target tessel-cli >/dev/null
cli=$(realpath "$build/tessel-cli")

work=${TMPDIR:-/tmp}/tessel_bigslice_bench
mkdir -p "$work"
big=$work/big.jpg
if [ "$(vipsheader -f width "$big" 2>/dev/null)x$(vipsheader -f height "$big" 2>/dev/null)" != 30000x30000 ]; then
  echo "making $big" >&2
  vips gaussnoise "$work/grain.v" 3000 3000 --mean 128 --sigma 40
  vips bandjoin "$work/grain.v $work/grain.v $work/grain.v" "$work/rgb.v"
  vips cast "$work/rgb.v" "$work/tile.v" uchar
  vips replicate "$work/tile.v" "$big[Q=90]" 10 10
  rm -f "$work/grain.v" "$work/rgb.v" "$work/tile.v"
fi

every() { seq -s, "$1" "$1" "$(($2 - 1))"; }
load_before=$(cut -d' ' -f1-3 /proc/loadavg)
rm -rf "$work/ours" "$work/vips" && mkdir -p "$work/ours" "$work/vips"
sync
/usr/bin/time -f "%e %M" -o "$work/ours.time" "$cli" slice "$big" "$work/ours/index.html" \
  --vert "$(every 3000 30000)" --horz "$(every 3000 30000)" --set MaxImagePixels=900000000 >/dev/null
sync
/usr/bin/time -f "%e %M" -o "$work/vips.time" \
  vips dzsave "$big" "$work/vips/t" --depth one --overlap 0 --tile-size 3000 --suffix '.jpg[Q=80]'
load_after=$(cut -d' ' -f1-3 /proc/loadavg)
read -r ours_s ours_kb <"$work/ours.time"
read -r vips_s vips_kb <"$work/vips.time"
slices=$(find "$work/ours" -name '*.jpg' | wc -l)
echo "load average before $load_before, after $load_after"
printf '30000 x 30000 JPEG -> 10 x 10 JPEG: ours %.2f s, %d MB peak (%d slices); vips %.2f s, %d MB peak\n' \
  "$ours_s" $((ours_kb / 1024)) "$slices" "$vips_s" $((vips_kb / 1024))
[ "$slices" = 100 ] && [ $((ours_kb / 1024)) -le 1024 ] || { echo "ABOVE 1 GB or slices missing" >&2; exit 1; }
