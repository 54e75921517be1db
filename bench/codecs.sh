#!/usr/bin/env bash
# Builds and runs the codec benchmark, then prints our JPEG layer against the
# bare codec (target: at most 10 % above) and the codec's own tools. Decoding
# is compared with the bare codec writing into the same kind of fresh image.
# Usage: bench/codecs.sh [build-dir]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-bench}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --target bench_codecs >/dev/null
json=$(mktemp)
trap 'rm -f "$json"' EXIT
"$build/bench/bench_codecs" --benchmark_format=json >"$json"
python3 - "$json" <<'EOF'
import json, sys
runs = {b["name"].split("/")[0]: b["real_time"] for b in json.load(open(sys.argv[1]))["benchmarks"]}
def line(label, ours, bare, tool):
    ratio = runs[ours] / runs[bare] - 1
    verdict = "ok" if ratio <= 0.10 else "ABOVE TARGET"
    print(f"{label}: ours {runs[ours]:.0f} ms, bare codec {runs[bare]:.0f} ms ({ratio:+.1%}, {verdict}), "
          f"tool {runs[tool]:.0f} ms")
line("JPEG decode", "BM_JpegDecode_Ours", "BM_JpegDecode_BareCodecIntoImage", "BM_JpegDecode_Djpeg")
print(f"  (bare codec into an uncleared buffer: {runs['BM_JpegDecode_BareCodec']:.0f} ms; "
      f"the difference to the line above is the image core clearing new pixel memory)")
line("JPEG encode", "BM_JpegEncode_Ours", "BM_JpegEncode_BareCodec", "BM_JpegEncode_Cjpeg")
print(f"image allocation {runs['BM_ImageAllocation']:.0f} ms, "
      f"PNG decode {runs['BM_PngDecode_Ours']:.0f} ms, PNG encode {runs['BM_PngEncode_Ours']:.0f} ms")
EOF
