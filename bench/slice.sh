#!/usr/bin/env bash
# Cuts an 8000 x 6000 photo-like JPEG into a 10 x 10 grid of quality-80 JPEG
# slices with tessel-cli (on its default threads and on one), beside vips
# dzsave (800-pixel tiles, one level) and ImageMagick's crop, and prints wall
# time and peak memory of each and the ratios against the targets: tessel no
# slower than vips, and a peak no higher than 1.3 x the decoded image.
# Every contender writes into a fresh empty directory; the order of the
# contenders turns from round to round so that none always runs first.
# On a machine busy with other work, TESSEL_BENCH_REALTIME=1 runs each
# contender at a real-time priority (needs root), so that its times are
# those of an otherwise idle machine.
# Usage: [TESSEL_BENCH_REALTIME=1] bench/slice.sh [build-dir] [rounds]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-bench}
rounds=${2:-5}

need_package() {  # command, package
  command -v "$1" >/dev/null && return
  echo "installing $2 for $1" >&2
  apt-get update -qq >/dev/null
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "$2" >/dev/null
}
need_package vips libvips-tools
need_package convert imagemagick
[ -x /usr/bin/time ] || need_package /usr/bin/time time

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --target tessel-cli >/dev/null
cli=$(realpath "$build/tessel-cli")

work=${TMPDIR:-/tmp}/tessel_slice_bench
mkdir -p "$work"
photo=$work/photo.jpg
# Plasma gives soft photographic shading, the noise gives grain; made once.
if [ "$(identify -format '%wx%h' "$photo" 2>/dev/null || true)" != "8000x6000" ]; then
  echo "making $photo" >&2
  convert -seed 7 -size 8000x6000 plasma:fractal -attenuate 0.3 +noise Gaussian \
    -quality 92 "$photo"
fi
decoded=$((8000 * 6000 * 3))
vert=$(seq -s, 800 800 7200)
horz=$(seq -s, 600 600 5400)

contenders=(tessel tessel-1 vips magick)
results=$work/results.txt
priority=()
[ "${TESSEL_BENCH_REALTIME:-0}" = 1 ] && priority=(chrt -f 10)
measure() {  # contender, command...
  local name=$1
  shift
  "${priority[@]}" /usr/bin/time -f "$name %e %M" -a -o "$results" "$@" >/dev/null
}
run() {  # contender, output directory
  case $1 in
    tessel) measure "$1" "$cli" slice "$photo" "$2/index.html" --vert "$vert" --horz "$horz" ;;
    tessel-1) measure "$1" "$cli" slice "$photo" "$2/index.html" --vert "$vert" --horz "$horz" --threads 1 ;;
    vips) measure "$1" vips dzsave "$photo" "$2/tiles" --depth one --overlap 0 --tile-size 800 --suffix '.jpg[Q=80]' ;;
    magick) measure "$1" convert "$photo" -crop 10x10@ +repage -quality 80 "$2/tile_%d.jpg" ;;
  esac
}

: >"$results"
for ((round = 0; round < rounds; ++round)); do
  for ((i = 0; i < ${#contenders[@]}; ++i)); do
    name=${contenders[(i + round) % ${#contenders[@]}]}
    out=$work/out-$name
    rm -rf "$out" && mkdir -p "$out"
    sync  # the previous contender's writing is not charged to this one
    run "$name" "$out"
  done
done

# Files and HTML must not depend on the number of threads.
if diff -r "$work/out-tessel" "$work/out-tessel-1" >/dev/null; then
  identical=yes
else
  identical=NO
fi

python3 - "$results" "$decoded" "$identical" <<'EOF'
import statistics, sys
runs = {}
for line in open(sys.argv[1]):
    name, wall, rss = line.split()
    runs.setdefault(name, []).append((float(wall), int(rss) * 1024))
decoded, identical = int(sys.argv[2]), sys.argv[3]
wall = {n: statistics.median(w for w, _ in r) for n, r in runs.items()}
peak = {n: statistics.median(m for _, m in r) for n, r in runs.items()}
print(f"{'contender':<10} {'wall s (median)':>16} {'wall s (min)':>13} {'peak MB':>9} {'peak / decoded':>15}")
for n in ["tessel", "tessel-1", "vips", "magick"]:
    best = min(w for w, _ in runs[n])
    print(f"{n:<10} {wall[n]:>16.3f} {best:>13.3f} {peak[n] / 1e6:>9.1f} {peak[n] / decoded:>15.2f}")
def verdict(ok): return "ok" if ok else "ABOVE TARGET"
t = "tessel"
print(f"wall tessel / vips   = {wall[t] / wall['vips']:.2f} (target <= 1.00, {verdict(wall[t] <= wall['vips'])})")
print(f"wall tessel / magick = {wall[t] / wall['magick']:.2f}")
print(f"wall tessel / tessel on one thread = {wall[t] / wall['tessel-1']:.2f}")
print(f"peak tessel / decoded image ({decoded / 1e6:.0f} MB) = {peak[t] / decoded:.2f} "
      f"(target <= 1.30, {verdict(peak[t] <= 1.3 * decoded)})")
print(f"peak tessel / vips = {peak[t] / peak['vips']:.2f}, tessel / magick = {peak[t] / peak['magick']:.2f}")
print(f"slices and HTML identical on default threads and on one: {identical}")
EOF
