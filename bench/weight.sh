#!/usr/bin/env bash
# Page weight side by side: two pages made here, a grainy photo page and a
# flat interface page (text, buttons, bands of colour), each cut into the
# same 400 x 400 grid by tessel-cli (jpg at quality 80, the default; png;
# webp at its default quality 80; auto), by vips dzsave with .webp tiles, and
# by ImageMagick's and Pillow's defaults (JPEG). Prints per page and
# contender the total bytes of the slice files, the median wall time, and
# the SSIM of the slices put back together against the page, then the
# targets for auto: at least 60 % lighter than jpg on the flat page, never
# heavier on the photo page, SSIM no lower than jpg's, time within 3x of
# jpg's and within 2.5x of plain WebP's. Then auto against plain WebP on
# two large photos (a 4000 x 3000 JPEG cut 4 x 4 and an 8000 x 6000 JPEG
# cut 10 x 10): wall time, CPU time (user + system, which depends little
# on how busy the machine is) and page faults; target at most 2.5x in both
# times.
#
# The SSIM is computed here, with vips, on luma (0.299 R + 0.587 G +
# 0.114 B): Gaussian windows of sigma 1.5, C1 = (0.01 * 255)^2,
# C2 = (0.03 * 255)^2, edges extended, the mean of the map. Load averages are
# printed before and after.
# Usage: bench/weight.sh [build-dir] [rounds]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-bench}
rounds=${2:-3}

. bench/peers.sh

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --target tessel-cli >/dev/null
cli=$(realpath "$build/tessel-cli")

work=${TMPDIR:-/tmp}/tessel_weight_bench
mkdir -p "$work"
W=1600 H=1200 T=400
photo=$work/photo.png flat=$work/flat.png
size_of() { identify -format '%wx%h' "$1" 2>/dev/null || true; }
if [ "$(size_of "$photo")" != ${W}x$H ]; then
  convert -seed 7 -size ${W}x$H plasma:fractal -attenuate 0.4 +noise Gaussian -strip -depth 8 \
    -type TrueColor "PNG24:$photo"
fi
if [ "$(size_of "$flat")" != ${W}x$H ]; then
  /usr/bin/python3 - "$work/flat.mvg" $W $H <<'EOF'
import random, sys
random.seed(3)
W, H = int(sys.argv[2]), int(sys.argv[3])
words = "lorem ipsum dolor sit amet slice grid export banner page weight table".split()
o = ["viewbox 0 0 %d %d" % (W, H), "fill '#f4f6f8' rectangle 0,0 %d,%d" % (W, H),
     "fill '#1f3b63' rectangle 0,0 %d,70" % W,
     "font DejaVu-Sans-Bold font-size 30 fill white text 30,48 'Corvane Mill'"]
for i, t in enumerate(["Home", "Products", "Pricing", "Contact"]):
    o.append("font DejaVu-Sans font-size 18 fill '#dfe7f2' text %d,45 '%s'" % (800 + i * 150, t))
for b in range(30):
    o.append("fill 'rgb(%d,%d,%d)' rectangle 0,%d %d,%d" % (40 + b * 4, 90 + b * 2, 160 - b * 2, 70 + b * 8, W, 78 + b * 8))
o.append("font DejaVu-Sans-Bold font-size 56 fill white text 80,200 'Slices for the web'")
for r in range(2):
    for c in range(3):
        x, y = 60 + c * 510, 340 + r * 420
        o.append("fill white roundrectangle %d,%d %d,%d 16,16" % (x, y, x + 470, y + 380))
        col = random.choice(['#3a7bd5', '#d54f3a', '#3ad58f', '#8f3ad5'])
        o.append("fill '%s' circle %d,%d %d,%d" % (col, x + 50, y + 55, x + 80, y + 55))
        for l in range(8):
            line = " ".join(random.choice(words) for _ in range(5))
            o.append("font DejaVu-Sans font-size 18 fill '#4a5563' text %d,%d '%s'" % (x + 30, y + 130 + l * 26, line))
        o.append("fill '%s' roundrectangle %d,%d %d,%d 10,10" % (col, x + 30, y + 320, x + 180, y + 360))
o.append("fill '#1f3b63' rectangle 0,%d %d,%d" % (H - 50, W, H))
open(sys.argv[1], "w").write("\n".join(o) + "\n")
EOF
  convert -size ${W}x$H "mvg:$work/flat.mvg" -strip -depth 8 -type TrueColor "PNG24:$flat"
fi

# Slices back into one picture: name pattern -> (x, y) by contender.
assemble=$work/assemble.py
cat >"$assemble" <<'EOF'
import os, re, sys
from PIL import Image
who, out, w, h, t, target = sys.argv[1], sys.argv[2], int(sys.argv[3]), int(sys.argv[4]), int(sys.argv[5]), sys.argv[6]
page = Image.new("RGB", (w, h))
across = (w + t - 1) // t
for root, _, files in os.walk(out):
    for f in files:
        stem, ext = os.path.splitext(f)
        if ext not in (".jpg", ".png", ".webp"): continue
        if who.startswith("tessel"): c, r = [int(v) - 1 for v in stem.split("_")[-2:]]
        elif who == "vips": c, r = [int(v) for v in stem.split("_")]
        elif who == "magick": i = int(stem.split("_")[-1]); c, r = i % across, i // across
        else: c, r = [int(v) // t for v in stem.split("_")[-2:]]
        page.paste(Image.open(os.path.join(root, f)).convert("RGB"), (c * t, r * t))
page.save(target)
EOF
pillow=$work/pillow.py
cat >"$pillow" <<'EOF'
import sys
from PIL import Image
src, out, t = sys.argv[1], sys.argv[2], int(sys.argv[3])
img = Image.open(src)
img.load()
for y in range(0, img.height, t):
    for x in range(0, img.width, t):
        img.crop((x, y, min(x + t, img.width), min(y + t, img.height))).save("%s/tile_%d_%d.jpg" % (out, x, y))
EOF

every() { seq -s, "$1" "$1" "$(($2 - 1))"; }
grid=(--vert "$(every $T $W)" --horz "$(every $T $H)")
run() {  # contender, source, output directory
  case $1 in
    tessel-jpg80) "$cli" slice "$2" "$3/p.html" "${grid[@]}" ;;
    tessel-png) "$cli" slice "$2" "$3/p.html" "${grid[@]}" --format png ;;
    tessel-webp) "$cli" slice "$2" "$3/p.html" "${grid[@]}" --format webp ;;
    tessel-auto) "$cli" slice "$2" "$3/p.html" "${grid[@]}" --format auto ;;
    vips) vips dzsave "$2" "$3/v" --suffix .webp --tile-size $T --overlap 0 --depth one ;;
    magick) convert "$2" -crop ${T}x$T +repage "$3/im_%d.jpg" ;;
    pillow) /usr/bin/python3 "$pillow" "$2" "$3" $T ;;
  esac >/dev/null
}

# The mean SSIM of two pictures' luma, computed with vips.
ssim() {
  local d
  d=$(mktemp -d)
  printf '3 1\n0.299 0.587 0.114\n' >"$d/luma.mat"
  local blur=(--precision float --min-ampl 0.01)
  vips recomb "$1" "$d/a.v" "$d/luma.mat"
  vips recomb "$2" "$d/b.v" "$d/luma.mat"
  vips multiply "$d/a.v" "$d/a.v" "$d/aa.v"; vips multiply "$d/b.v" "$d/b.v" "$d/bb.v"
  vips multiply "$d/a.v" "$d/b.v" "$d/ab.v"
  for p in a b aa bb ab; do vips gaussblur "$d/$p.v" "$d/m$p.v" 1.5 "${blur[@]}"; done
  vips multiply "$d/ma.v" "$d/mb.v" "$d/mamb.v"
  vips multiply "$d/ma.v" "$d/ma.v" "$d/ma2.v"; vips multiply "$d/mb.v" "$d/mb.v" "$d/mb2.v"
  vips subtract "$d/mab.v" "$d/mamb.v" "$d/cov.v"
  vips subtract "$d/maa.v" "$d/ma2.v" "$d/va.v"; vips subtract "$d/mbb.v" "$d/mb2.v" "$d/vb.v"
  local c1=6.5025 c2=58.5225
  vips linear "$d/mamb.v" "$d/n1.v" 2 $c1; vips linear "$d/cov.v" "$d/n2.v" 2 $c2
  vips add "$d/ma2.v" "$d/mb2.v" "$d/s1.v"; vips linear "$d/s1.v" "$d/d1.v" 1 $c1
  vips add "$d/va.v" "$d/vb.v" "$d/s2.v"; vips linear "$d/s2.v" "$d/d2.v" 1 $c2
  vips multiply "$d/n1.v" "$d/n2.v" "$d/num.v"; vips multiply "$d/d1.v" "$d/d2.v" "$d/den.v"
  vips divide "$d/num.v" "$d/den.v" "$d/map.v"
  vips avg "$d/map.v"
  rm -rf "$d"
}

echo "load before: $(uptime)"
contenders=(tessel-jpg80 tessel-png tessel-webp tessel-auto vips magick pillow)
results=$work/results.txt
: >"$results"
for page in photo flat; do
  src=$work/$page.png
  for who in "${contenders[@]}"; do
    times=()
    for ((round = 0; round < rounds; round++)); do
      out=$work/out_${page}_$who
      rm -rf "$out" && mkdir -p "$out" && sync
      start=$(date +%s.%N)
      run "$who" "$src" "$out"
      times+=("$(echo "$(date +%s.%N) - $start" | bc)")
    done
    median=$(printf '%s\n' "${times[@]}" | sort -n | sed -n "$(((rounds + 1) / 2))p")
    bytes=$(find "$out" -type f \( -name '*.jpg' -o -name '*.png' -o -name '*.webp' \) -printf '%s\n' |
      awk '{s += $1} END {print s}')
    /usr/bin/python3 "$assemble" "$who" "$out" $W $H $T "$work/back.png"
    echo "$page $who $bytes $median $(ssim "$src" "$work/back.png")" >>"$results"
  done
done

# Large photos: auto against plain WebP, time only.
for big in 4000x3000:4 8000x6000:10; do
  size=${big%:*} cuts=${big#*:} w=${big%x*} rest=${big#*x} h=${rest%:*}
  src=$work/photo_$size.jpg
  if [ "$(size_of "$src")" != "$size" ]; then
    convert -seed 7 -size "$size" plasma:fractal -attenuate 0.4 +noise Gaussian -quality 92 "$src"
  fi
  lines=(--vert "$(every $((w / cuts)) "$w")" --horz "$(every $((h / cuts)) "$h")")
  for format in webp auto; do
    # Wall, user + system and page faults of each round; their medians.
    measured=$work/big_time.txt
    : >"$measured"
    for ((round = 0; round < rounds; round++)); do
      out=$work/out_big
      rm -rf "$out" && mkdir -p "$out" && sync
      /usr/bin/time -f "%e %U %S %R" -a -o "$measured" \
        "$cli" slice "$src" "$out/p.html" "${lines[@]}" --format $format >/dev/null 2>&1
    done
    median() { sort -n | sed -n "$(((rounds + 1) / 2))p"; }
    echo "big $size:$cuts $format $(awk '{print $1}' "$measured" | median)" \
      "$(awk '{print $2 + $3}' "$measured" | median) $(awk '{print $4}' "$measured" | median)" >>"$results"
  done
done
echo "load after: $(uptime)"

/usr/bin/python3 - "$results" <<'EOF'
import sys
lines = [l.split() for l in open(sys.argv[1])]
rows = [l for l in lines if l[0] != "big"]
big = {(l[1], l[2]): [float(v) for v in l[3:6]] for l in lines if l[0] == "big"}
r = {(p, w): (int(b), float(t), float(s)) for p, w, b, t, s in rows}
print("| page | contender | bytes | time (s) | SSIM |")
print("|---|---|---:|---:|---:|")
for p, w, b, t, s in rows:
    print(f"| {p} | {w} | {int(b)} | {float(t):.2f} | {float(s):.4f} |")
def check(label, ok): print(f"{label}: {'met' if ok else 'MISSED'}")
fj, fa = r[("flat", "tessel-jpg80")], r[("flat", "tessel-auto")]
pj, pa = r[("photo", "tessel-jpg80")], r[("photo", "tessel-auto")]
print()
check(f"flat page: auto {1 - fa[0] / fj[0]:.0%} lighter than jpg 80 (target >= 60 %)", fa[0] <= 0.4 * fj[0])
check(f"photo page: auto {pa[0] / pj[0]:.2f}x the bytes of jpg 80 (target <= 1)", pa[0] <= pj[0])
check(f"SSIM: auto {fa[2]:.4f} / {pa[2]:.4f} against jpg 80 {fj[2]:.4f} / {pj[2]:.4f} (flat / photo)",
      fa[2] >= fj[2] and pa[2] >= pj[2])
check(f"time: auto {fa[1] / fj[1]:.1f}x / {pa[1] / pj[1]:.1f}x jpg 80's (flat / photo, target <= 3x)",
      fa[1] <= 3 * fj[1] and pa[1] <= 3 * pj[1])
fw, pw = r[("flat", "tessel-webp")], r[("photo", "tessel-webp")]
check(f"time: auto {fa[1] / fw[1]:.1f}x / {pa[1] / pw[1]:.1f}x plain WebP's (flat / photo, target <= 2.5x)",
      fa[1] <= 2.5 * fw[1] and pa[1] <= 2.5 * pw[1])
for size in sorted({k[0] for k in big}):
    (w, wcpu, wflt), (a, acpu, aflt) = big[(size, "webp")], big[(size, "auto")]
    photo, cuts = size.split(":")
    check(f"time: {photo} photo cut {cuts} x {cuts}: auto {a:.2f} s, plain WebP {w:.2f} s, {a / w:.1f}x;"
          f" CPU {acpu:.2f} s against {wcpu:.2f} s, {acpu / wcpu:.1f}x; page faults {aflt:.0f} against {wflt:.0f}"
          " (target <= 2.5x in time and CPU)", a <= 2.5 * w and acpu <= 2.5 * wcpu)
EOF
