#!/usr/bin/env bash
# Every slicing and conversion road side by side: tessel-cli, vips,
# ImageMagick and Pillow on the same files, on this machine's libjpeg-turbo,
# libpng and zlib. Prints per road the median wall time of each, ours divided
# by vips, our peak memory against the decoded image and against vips's, and
# for PNG output the bytes written against vips's. Next to the times, what
# does not depend on the machine's load: per road the system time of ours
# and of vips (medians, from /usr/bin/time), their page faults (one run
# under perf stat -e page-faults; where perf is missing or may not count,
# the medians of /usr/bin/time's minor faults, which also count pages
# mapped ahead in bulk) and the madvise calls each makes (one run under
# strace -f; those that give pages back, MADV_DONTNEED, apart). A road is marked where it misses a target:
# time above 0.95 x vips's, page faults above vips's plus 20 %, system time
# above vips's, any page given back, peak memory above vips's. The
# 30000 x 30000 slice check is bench/bigslice.sh.
#
# Sources, made once: an 8000 x 6000 photo-like JPEG (plasma shading and
# grain), the same as a PNG written by ImageMagick (with its gamma chunk), a
# 1200 x 16000 strip, and a 4000 x 3000 flat-colour web page (text, boxes,
# bands of colour) as a PNG. PNG is written with our fast choice,
# PngCompressionStrategy=default; vips, ImageMagick and Pillow use their
# defaults. Tiles are 800 x 600 for our grids and ImageMagick's 10x10@,
# 800 x 800 for vips dzsave; the many-slices road cuts 80 x 80 tiles.
#
# Every run writes into a fresh empty directory after a sync, and the order
# of the contenders turns from round to round. On a machine busy with other
# work, TESSEL_BENCH_REALTIME=1 runs each contender at a real-time priority
# (needs root). Load averages are printed before and after.
# TESSEL_BENCH_BUSY=1 keeps a busy loop pinned to the last core while
# measuring, so that every change to the process's page tables must
# interrupt it: page release made expensive on purpose. TESSEL_BENCH_PEERS
# names the contenders besides ours (default: vips magick pillow).
# Usage: [TESSEL_BENCH_REALTIME=1] [TESSEL_BENCH_BUSY=1] [TESSEL_BENCH_PEERS="vips"]
#        bench/roads.sh [build-dir] [rounds] [road...]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-bench}
rounds=${2:-5}
shift $(($# < 2 ? $# : 2))
only=("$@")

. bench/peers.sh
[ -x /usr/bin/time ] || need_package /usr/bin/time time

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --target tessel-cli >/dev/null
cli=$(realpath "$build/tessel-cli")

work=${TMPDIR:-/tmp}/tessel_roads_bench
mkdir -p "$work"
photo=$work/photo.jpg photo_png=$work/photo.png strip=$work/strip.jpg flat=$work/flat.png
size_of() { identify -format '%wx%h' "$1" 2>/dev/null || true; }
if [ "$(size_of "$photo")" != 8000x6000 ]; then
  echo "making $photo" >&2
  convert -seed 7 -size 8000x6000 plasma:fractal -attenuate 0.3 +noise Gaussian -quality 92 "$photo"
fi
[ "$(size_of "$photo_png")" = 8000x6000 ] || convert "$photo" "$photo_png"
if [ "$(size_of "$strip")" != 1200x16000 ]; then
  convert -seed 9 -size 1200x16000 plasma:fractal -attenuate 0.3 +noise Gaussian -quality 92 "$strip"
fi
if [ "$(size_of "$flat")" != 4000x3000 ]; then
  /usr/bin/python3 - "$work/flat.mvg" <<'EOF'
import random, sys
random.seed(3)
W, H = 4000, 3000
words = ("lorem ipsum dolor sit amet consectetur adipiscing elit sed do eiusmod tempor "
         "incididunt ut labore et dolore magna aliqua slice grid export banner").split()
o = ["viewbox 0 0 %d %d" % (W, H), "fill '#f4f6f8' rectangle 0,0 %d,%d" % (W, H),
     "fill '#1f3b63' rectangle 0,0 %d,140" % W,
     "font DejaVu-Sans-Bold font-size 56 fill white text 60,95 'Corvane Mill'"]
for i, t in enumerate(["Home", "Products", "Pricing", "Blog", "Contact"]):
    o.append("font DejaVu-Sans font-size 34 fill '#dfe7f2' text %d,90 '%s'" % (1900 + i * 380, t))
o.append("fill '#e8b93a' roundrectangle 3500,35 3900,105 20,20")
o.append("font DejaVu-Sans-Bold font-size 34 fill '#1f3b63' text 3570,83 'Sign up'")
for b in range(60):
    o.append("fill 'rgb(%d,%d,%d)' rectangle 0,%d %d,%d" % (40 + b * 2, 90 + b, 160 - b, 140 + b * 10, W, 150 + b * 10))
o.append("font DejaVu-Sans-Bold font-size 120 fill white text 200,480 'Slices for the web, fast'")
o.append("font DejaVu-Sans font-size 48 fill '#f0f0f0' text 200,600 'Cut one picture into a table of images in seconds.'")
for r in range(2):
    for c in range(3):
        x, y = 200 + c * 1230, 860 + r * 1020
        o.append("fill '#d0d7e0' roundrectangle %d,%d %d,%d 30,30" % (x + 8, y + 8, x + 1108, y + 908))
        o.append("fill white roundrectangle %d,%d %d,%d 30,30" % (x, y, x + 1100, y + 900))
        col = random.choice(['#3a7bd5', '#d54f3a', '#3ad58f', '#8f3ad5'])
        o.append("fill '%s' circle %d,%d %d,%d" % (col, x + 120, y + 130, x + 190, y + 130))
        o.append("font DejaVu-Sans-Bold font-size 52 fill '#1f2a37' text %d,%d '%s'" % (x + 240, y + 150, " ".join(random.sample(words, 2)).title()))
        for l in range(12):
            line = " ".join(random.choice(words) for _ in range(7))
            o.append("font DejaVu-Sans font-size 34 fill '#4a5563' text %d,%d '%s'" % (x + 60, y + 280 + l * 48, line))
        o.append("fill '%s' roundrectangle %d,%d %d,%d 16,16" % (col, x + 60, y + 800, x + 400, y + 870))
        o.append("font DejaVu-Sans-Bold font-size 32 fill white text %d,%d 'Read more'" % (x + 140, y + 847))
o.append("fill '#1f3b63' rectangle 0,2900 %d,%d" % (W, H))
o.append("font DejaVu-Sans font-size 30 fill '#b0bccc' text 60,2960 'Copyright Corvane Mill. All slices reserved.'")
open(sys.argv[1], "w").write("\n".join(o) + "\n")
EOF
  convert -size 4000x3000 "mvg:$work/flat.mvg" -strip -depth 8 -type TrueColor "PNG24:$flat"
fi

# Pillow's side of every road.
pillow=$work/pillow.py
cat >"$pillow" <<'EOF'
import sys
from PIL import Image
road, src, out = sys.argv[1:4]
img = Image.open(src)
def tiles(w, h, ext, **kw):
    img.load()
    for y in range(0, img.height, h):
        for x in range(0, img.width, w):
            img.crop((x, y, min(x + w, img.width), min(y + h, img.height))).save(
                "%s/tile_%d_%d.%s" % (out, x, y, ext), **kw)
if road in ("reencode",): img.save(out + "/out.jpg", quality=80)
elif road == "tiff": img.save(out + "/out.tif")
elif road == "png": img.save(out + "/out.png")
elif road in ("pngsrc", "jpeg10"): tiles(800, 600, "jpg", quality=80)
elif road == "pngtiles": tiles(800, 600, "png")
elif road == "many": tiles(80, 80, "jpg", quality=80)
elif road == "strip": tiles(800, 800, "jpg", quality=80)
EOF

every() { seq -s, "$1" "$1" "$(($2 - 1))"; }  # step, extent: the inner split positions
grid10=(--vert "$(every 800 8000)" --horz "$(every 600 6000)")
fast=(--set PngCompressionStrategy=default)

# road: label | source | decoded bytes | PNG output
roads=(reencode tiff pngsrc pngtiles png flatpng jpeg10 many strip)
declare -A label=(
  [reencode]="slice 1 x 1 (re-encode to JPEG)" [tiff]="convert JPEG -> TIFF"
  [pngsrc]="PNG source -> 10 x 10 JPEG" [pngtiles]="PNG slices 10 x 10 (fast PNG)"
  [png]="convert JPEG -> PNG (fast PNG)" [flatpng]="flat web page PNG -> PNG (fast PNG)"
  [jpeg10]="JPEG -> 10 x 10 JPEG" [many]="JPEG -> 7 500 slices of 80 x 80"
  [strip]="1200 x 16000 strip -> 800 x 800 JPEG")
declare -A source=([reencode]=$photo [tiff]=$photo [pngsrc]=$photo_png [pngtiles]=$photo [png]=$photo
  [flatpng]=$flat [jpeg10]=$photo [many]=$photo [strip]=$strip)
declare -A decoded=([strip]=$((1200 * 16000 * 3)) [flatpng]=$((4000 * 3000 * 3)))
[ ${#only[@]} -gt 0 ] && roads=("${only[@]}")

run() {  # road, contender, output directory
  local road=$1 who=$2 out=$3 src=${source[$1]}
  case $who in
    ours)
      case $road in
        reencode) "$cli" slice "$src" "$out/index.html" ;;
        tiff) "$cli" convert "$src" "$out/out.tif" ;;
        pngsrc | jpeg10) "$cli" slice "$src" "$out/index.html" "${grid10[@]}" ;;
        pngtiles) "$cli" slice "$src" "$out/index.html" "${grid10[@]}" --format png "${fast[@]}" ;;
        png | flatpng) "$cli" convert "$src" "$out/out.png" "${fast[@]}" ;;
        many) "$cli" slice "$src" "$out/index.html" --vert "$(every 80 8000)" --horz "$(every 80 6000)" ;;
        strip) "$cli" slice "$src" "$out/index.html" --vert 800 --horz "$(every 800 16000)" ;;
      esac ;;
    vips)
      case $road in
        reencode) vips copy "$src" "$out/out.jpg[Q=80]" ;;
        tiff) vips copy "$src" "$out/out.tif" ;;
        png | flatpng) vips copy "$src" "$out/out.png" ;;
        pngtiles) vips dzsave "$src" "$out/t" --depth one --overlap 0 --tile-size 800 --suffix .png ;;
        many) vips dzsave "$src" "$out/t" --depth one --overlap 0 --tile-size 80 --suffix '.jpg[Q=80]' ;;
        *) vips dzsave "$src" "$out/t" --depth one --overlap 0 --tile-size 800 --suffix '.jpg[Q=80]' ;;
      esac ;;
    magick)
      case $road in
        reencode) convert "$src" -quality 80 "$out/out.jpg" ;;
        tiff) convert "$src" -compress none "$out/out.tif" ;;
        png | flatpng) convert "$src" "$out/out.png" ;;
        pngtiles) convert "$src" -crop 10x10@ +repage "$out/t_%d.png" ;;
        many) convert "$src" -crop 80x80 +repage -quality 80 "$out/t_%d.jpg" ;;
        strip) convert "$src" -crop 800x800 +repage -quality 80 "$out/t_%d.jpg" ;;
        *) convert "$src" -crop 10x10@ +repage -quality 80 "$out/t_%d.jpg" ;;
      esac ;;
    pillow) /usr/bin/python3 "$pillow" "$([ "$road" = flatpng ] && echo png || echo "$road")" "$src" "$out" ;;
  esac
}

results=$work/results.txt
priority=()
[ "${TESSEL_BENCH_REALTIME:-0}" = 1 ] && priority=(chrt -f 10)
read -r -a peers <<<"${TESSEL_BENCH_PEERS:-vips magick pillow}"
contenders=(ours "${peers[@]}")
[[ " ${peers[*]} " == *" vips "* ]] || { echo "vips must be among the peers" >&2; exit 1; }
busy=
if [ "${TESSEL_BENCH_BUSY:-0}" = 1 ]; then
  taskset -c "$(($(nproc) - 1))" bash -c 'while :; do :; done' &
  busy=$!
  trap 'kill "$busy" 2>/dev/null || true' EXIT
fi
load_before=$(cut -d' ' -f1-3 /proc/loadavg)
: >"$results"
for road in "${roads[@]}"; do
  for ((round = 0; round < rounds; ++round)); do
    for ((i = 0; i < ${#contenders[@]}; ++i)); do
      who=${contenders[(i + round) % ${#contenders[@]}]}
      out=$work/out-$road-$who
      rm -rf "$out" && mkdir -p "$out"
      sync  # the previous contender's writing is not charged to this one
      "${priority[@]}" /usr/bin/time -f "$road $who %e %M %S %R" -a -o "$results" \
        bash -c "$(declare -f run every); $(declare -p cli source grid10 fast pillow); run $road $who $out" \
        >/dev/null 2>&1 || echo "$road $who failed" >&2
      # Bytes of image files written (the HTML left out).
      echo "$road $who bytes $(find "$out" -type f ! -name '*.html' -printf '%s\n' | awk '{s += $1} END {print s + 0}')" \
        >>"$results"
    done
  done
  # The page faults and the madvise calls (all, and those that give pages
  # back) of one run of ours and of vips each.
  for who in ours vips; do
    out=$work/out-$road-$who
    command=(bash -c "$(declare -f run every); $(declare -p cli source grid10 fast pillow); run $road $who $out")
    rm -rf "$out" && mkdir -p "$out"
    counted=$work/perf-$road-$who.txt
    if command -v perf >/dev/null && perf stat -x, -e page-faults -o "$counted" "${command[@]}" >/dev/null 2>&1; then
      faults=$(awk -F, '/page-faults/ {print $1}' "$counted")
      [[ $faults =~ ^[0-9]+$ ]] && echo "$road $who faults $faults" >>"$results"
    fi
    rm -rf "$out" && mkdir -p "$out"
    trace=$work/strace-$road-$who.txt
    if command -v strace >/dev/null && strace -f -qq -e trace=madvise -o "$trace" "${command[@]}" >/dev/null 2>&1; then
      echo "$road $who madvise $(grep -c 'madvise(' "$trace") $(grep -c 'MADV_DONTNEED' "$trace")" >>"$results"
    fi
  done
done
load_after=$(cut -d' ' -f1-3 /proc/loadavg)
[ -n "$busy" ] && kill "$busy" 2>/dev/null || true

/usr/bin/python3 - "$results" "$load_before" "$load_after" "${TESSEL_BENCH_BUSY:-0}" "${roads[@]}" <<EOF
import statistics, sys
results, before, after, busy, roads = sys.argv[1], sys.argv[2], sys.argv[3], sys.argv[4] == "1", sys.argv[5:]
label = {$(for r in "${!label[@]}"; do printf '"%s": "%s", ' "$r" "${label[$r]}"; done)}
decoded = {$(for r in "${!decoded[@]}"; do printf '"%s": %s, ' "$r" "${decoded[$r]}"; done)}
wall, peak, size, system, faults, advice, counted = {}, {}, {}, {}, {}, {}, {}
for line in open(results):
    f = line.split()
    if len(f) == 4 and f[2] == "bytes":
        size.setdefault((f[0], f[1]), []).append(int(f[3]))
    elif len(f) == 4 and f[2] == "faults":
        counted[(f[0], f[1])] = [int(f[3])]
    elif len(f) == 5 and f[2] == "madvise":
        advice[(f[0], f[1])] = (int(f[3]), int(f[4]))
    elif len(f) == 6:
        wall.setdefault((f[0], f[1]), []).append(float(f[2]))
        peak.setdefault((f[0], f[1]), []).append(int(f[3]) * 1024)
        system.setdefault((f[0], f[1]), []).append(float(f[4]))
        faults.setdefault((f[0], f[1]), []).append(int(f[5]))
    # anything else is a failed run's note; the run itself is said on the terminal
med = lambda d, k: statistics.median(d[k]) if k in d else float("nan")
by_perf = bool(counted) and all((r, w) in counted for r in roads for w in ("ours", "vips"))
if by_perf:
    faults = counted
calls = lambda k: "%d/%d" % advice[k] if k in advice else "-"
print(f"load average before {before}, after {after}; medians of {len(next(iter(wall.values())))} runs"
      + ("; a busy loop held the last core" if busy else ""))
print("Times depend on the machine and its load; system time, page faults, madvise calls and memory do not.")
head = (f"{'road':<40} {'ours s':>7} {'vips s':>7} {'magick s':>8} {'pillow s':>8} {'ours/vips':>9} "
        f"{'ours MB':>8} {'/decoded':>8} {'vips MB':>8} {'MB/vips':>7} "
        f"{'ours sys':>8} {'vips sys':>8} {'ours flt':>8} {'vips flt':>8} {'flt/vips':>8} "
        f"{'madv ours':>9} {'madv vips':>9} {'PNG bytes ours/vips':>19}")
print(head)
print("-" * len(head))
for r in roads:
    t = {w: med(wall, (r, w)) for w in ("ours", "vips", "magick", "pillow")}
    d = decoded.get(r, 8000 * 6000 * 3)
    ratio = t["ours"] / t["vips"]
    png = ""
    if r in ("pngtiles", "png", "flatpng"):
        png = f"{med(size, (r, 'ours')) / med(size, (r, 'vips')):.3f}"
    ours, vips = (r, "ours"), (r, "vips")
    fault_ratio = med(faults, ours) / max(med(faults, vips), 1)
    missed = [name for name, miss in (
        ("time", ratio > 0.95),
        ("faults", fault_ratio > 1.2),
        ("sys", med(system, ours) > med(system, vips)),
        ("pages back", advice.get(ours, (0, 0))[1] > 0),
        ("memory", med(peak, ours) > med(peak, vips))) if miss]
    verdict = "  ABOVE vips: " + ", ".join(missed) if missed else ""
    print(f"{label[r]:<40} {t['ours']:>7.2f} {t['vips']:>7.2f} {t['magick']:>8.2f} {t['pillow']:>8.2f} "
          f"{ratio:>9.2f} {med(peak, ours) / 1e6:>8.0f} {med(peak, ours) / d:>8.2f} "
          f"{med(peak, vips) / 1e6:>8.0f} {med(peak, ours) / med(peak, vips):>7.2f} "
          f"{med(system, ours):>8.2f} {med(system, vips):>8.2f} {med(faults, ours):>8.0f} {med(faults, vips):>8.0f} "
          f"{fault_ratio:>8.2f} {calls(ours):>9} {calls(vips):>9} "
          f"{png:>19}{verdict}")
print("madv: madvise calls in one run, all/giving pages back (MADV_DONTNEED); flt: page faults, "
      + ("perf stat -e page-faults, one run" if by_perf else "minor faults by /usr/bin/time, medians"))
EOF
