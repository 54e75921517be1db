// Image core throughput on a large photo-like picture: rectangle copies (with
// a plain memcpy as the floor), dithered reduction to 252 colours, a precise
// half-size copy and palette optimisation; SSIM of a 2000 x 1500 picture,
// whole and against a reference whose windows are summed once (as the
// automatic slice format measures each WebP it tries).

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "pgraphic/core/optpalette.h"
#include "pgraphic/core/pixelgraphic.h"
#include "pgraphic/core/ssim.h"

namespace {

constexpr int kWidth = 8000;
constexpr int kHeight = 6000;

// Smooth diagonal gradients with a little pseudo-random grain, like a photo:
// neighbouring pixels are close but rarely equal.
void FillPhoto(TPixelGraphic& g) {
  g.SetSizeAndFormat(kWidth, kHeight, pgpf24Bit);
  std::uint32_t seed = 12345;
  for (int y = 0; y < kHeight; ++y) {
    std::uint8_t* px = g.ScanLine(y);
    for (int x = 0; x < kWidth; ++x, px += 3) {
      seed = seed * 1664525u + 1013904223u;
      const int grain = int(seed >> 28) - 8;
      const int r = x * 255 / kWidth + grain;
      const int gr = y * 255 / kHeight + grain;
      const int b = (x + y) * 255 / (kWidth + kHeight) - grain;
      px[0] = std::uint8_t(std::clamp(b, 0, 255));
      px[1] = std::uint8_t(std::clamp(gr, 0, 255));
      px[2] = std::uint8_t(std::clamp(r, 0, 255));
    }
  }
}

TPixelGraphic& Photo() {
  static TPixelGraphic* photo = [] {
    auto* g = new TPixelGraphic;
    FillPhoto(*g);
    return g;
  }();
  return *photo;
}

void SetPixelsProcessed(benchmark::State& state, std::int64_t pixels) {
  state.SetItemsProcessed(state.iterations() * pixels);
}

void BM_CopyRect24To24(benchmark::State& state) {
  TPixelGraphic& src = Photo();
  TPixelGraphic dst;
  dst.SetSizeAndFormat(kWidth, kHeight, pgpf24Bit);
  for (auto _ : state) {
    dst.CopyRect(0, 0, src, 0, 0, kWidth, kHeight);
    benchmark::DoNotOptimize(dst.Bits());
  }
  state.SetBytesProcessed(state.iterations() * std::int64_t(src.ImageSize()));
}
BENCHMARK(BM_CopyRect24To24)->Unit(benchmark::kMillisecond);

// The floor for the copy above: the same bytes in one block.
void BM_Memcpy24(benchmark::State& state) {
  TPixelGraphic& src = Photo();
  std::vector<std::uint8_t> dst(src.ImageSize());
  for (auto _ : state) {
    std::memcpy(dst.data(), src.Bits(), dst.size());
    benchmark::DoNotOptimize(dst.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * std::int64_t(dst.size()));
}
BENCHMARK(BM_Memcpy24)->Unit(benchmark::kMillisecond);

void BM_CopyRect24To8Dither252(benchmark::State& state) {
  TPixelGraphic& src = Photo();
  TPixelGraphic dst;
  dst.SetSizeAndFormat(kWidth, kHeight, pgpf8Bit);
  dst.SetPaletteIdent(pSpecial252);
  dst.Dither = true;
  for (auto _ : state) {
    dst.CopyRect(0, 0, src, 0, 0, kWidth, kHeight);
    benchmark::DoNotOptimize(dst.Bits());
  }
  SetPixelsProcessed(state, std::int64_t(kWidth) * kHeight);
}
BENCHMARK(BM_CopyRect24To8Dither252)->Unit(benchmark::kMillisecond);

void BM_StretchCopyHalvingPrecise(benchmark::State& state) {
  TPixelGraphic& src = Photo();
  TPixelGraphic dst;
  dst.SetSizeAndFormat(kWidth / 2, kHeight / 2, pgpf24Bit);
  dst.StretchMode = smPrecise;
  for (auto _ : state) {
    dst.StretchCopy(0, 0, kWidth / 2, kHeight / 2, src, 0, 0, kWidth, kHeight);
    benchmark::DoNotOptimize(dst.Bits());
  }
  SetPixelsProcessed(state, std::int64_t(kWidth) * kHeight);
}
BENCHMARK(BM_StretchCopyHalvingPrecise)->Unit(benchmark::kMillisecond);

void BM_BuildOptimizedPalette252(benchmark::State& state) {
  TPixelGraphic& src = Photo();
  TPixelGraphic target;
  target.SetSizeAndFormat(1, 1, pgpf8Bit);
  for (auto _ : state) {
    BuildOptimizedPalette(target, src, 252, true);
    benchmark::DoNotOptimize(target.PaletteEntries().data());
  }
  SetPixelsProcessed(state, std::int64_t(kWidth) * kHeight);
}
BENCHMARK(BM_BuildOptimizedPalette252)->Unit(benchmark::kMillisecond);

}  // namespace

// A 2000 x 1500 cut of the photo and the same with every pixel nudged.
struct TSsimPair {
  TPixelGraphic A, B;
  TSsimPair() {
    for (TPixelGraphic* g : {&A, &B}) {
      g->SetSizeAndFormat(2000, 1500, pgpf24Bit);
      for (int y = 0; y < 1500; ++y) std::memcpy(g->ScanLine(y), Photo().ScanLine(y), 2000 * 3);
    }
    for (int y = 0; y < 1500; ++y) {
      std::uint8_t* px = B.ScanLine(y);
      for (int x = 0; x < 2000 * 3; ++x) px[x] = std::uint8_t(px[x] ^ ((x + y) & 7));
    }
  }
};

TSsimPair& SsimPair() {
  static TSsimPair* pair = new TSsimPair;
  return *pair;
}

void BM_Ssim2000x1500(benchmark::State& state) {
  TSsimPair& pair = SsimPair();
  for (auto _ : state) benchmark::DoNotOptimize(StructuralSimilarity(pair.A, pair.B));
}
BENCHMARK(BM_Ssim2000x1500)->Unit(benchmark::kMillisecond);

void BM_SsimAgainstReference2000x1500(benchmark::State& state) {
  TSsimPair& pair = SsimPair();
  const TSsimReference reference(pair.A);
  for (auto _ : state) benchmark::DoNotOptimize(reference.Compare(pair.B));
}
BENCHMARK(BM_SsimAgainstReference2000x1500)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
