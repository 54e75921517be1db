#include "pgraphic/core/ssim.h"

// The sums below are loops over x alone, the same operations on every
// element: vectors give each element the bits the plain loop gives it (no
// multiply and add is fused), several at a time. The automatic format's
// search measures every trial file here.
#pragma GCC optimize("tree-vectorize", "vect-cost-model=dynamic")

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <vector>

#include "pgraphic/core/errors.h"
#include "pgraphic/core/messages.h"
#include "pgraphic/core/pixelgraphic.h"
#include "pgraphic/core/simd.h"

namespace {

constexpr int kWindow = 11;
constexpr double kSigma = 1.5;
constexpr double kC1 = (0.01 * 255) * (0.01 * 255);
constexpr double kC2 = (0.03 * 255) * (0.03 * 255);
// Windows whose means and variances a TSsimReference keeps, at most.
constexpr std::size_t kMostKept = std::size_t(4) << 20;

// A Gaussian of n taps around their middle, summing to 1.
std::vector<double> Kernel(int n) {
  std::vector<double> taps(std::size_t(n), 0.0);
  double total = 0;
  for (int i = 0; i < n; ++i) {
    const double d = i - (n - 1) / 2.0;
    taps[std::size_t(i)] = std::exp(-d * d / (2 * kSigma * kSigma));
    total += taps[std::size_t(i)];
  }
  for (double& t : taps) t /= total;
  return taps;
}

// 0.299 R, 0.587 G and 0.114 B for every value of a byte: the products
// the luma's sum adds, looked up rather than multiplied.
struct TLumaTerms {
  TLumaTerms() {
    for (int v = 0; v < 256; ++v) R[v] = 0.299 * v, G[v] = 0.587 * v, B[v] = 0.114 * v;
  }
  double R[256], G[256], B[256];
};

void LumaRow(TPixelGraphic& image, int y, double* luma, std::size_t width) {
  if (image.PixelFormat() == pgpf24Bit) {
    static const TLumaTerms terms;
    const std::uint8_t* p = image.ScanLine(y);
    for (std::size_t x = 0; x < width; ++x, p += 3) luma[x] = terms.R[p[2]] + terms.G[p[1]] + terms.B[p[0]];
    return;
  }
  image.ScanLine(y);
  for (std::size_t x = 0; x < width; ++x) {
    const TRGB c = image.GetPixelColor(int(x), y);
    luma[x] = 0.299 * GetRValue(c) + 0.587 * GetGValue(c) + 0.114 * GetBValue(c);
  }
}

// Four doubles, as wide vectors hold them; where vectors are narrower the
// compiler splits them.
typedef double TQuad __attribute__((vector_size(32)));

// Vectors never cross a call (Quad is always inlined), so how they would be
// passed between functions never matters.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wpsabi"
[[gnu::always_inline]] inline TQuad Quad(const double* from) {
  TQuad quad;
  std::memcpy(&quad, from, sizeof quad);
  return quad;
}

// out[x] = g[0] * in(0, x) + ... + g[n - 1] * in(n - 1, x), added in that
// order from 0, for x below count: along a row in(i, x) = rows[0][x + i],
// down a column of rows in(i, x) = rows[i][x]. Sixteen elements at a time,
// in four vectors of sums that do not wait for each other.
template <bool Along>
[[gnu::always_inline]] inline void Taps(const double* const* rows, const double* g, int n, double* out,
                                        std::size_t count) {
  const auto in = [&](int i, std::size_t x) { return Along ? rows[0] + x + std::size_t(i) : rows[i] + x; };
  std::size_t x = 0;
  for (; x + 16 <= count; x += 16) {
    TQuad s0 = {}, s1 = {}, s2 = {}, s3 = {};
    for (int i = 0; i < n; ++i) {
      const double t = g[i];
      const double* const from = in(i, x);
      s0 += t * Quad(from);
      s1 += t * Quad(from + 4);
      s2 += t * Quad(from + 8);
      s3 += t * Quad(from + 12);
    }
    std::memcpy(out + x, &s0, sizeof s0);
    std::memcpy(out + x + 4, &s1, sizeof s1);
    std::memcpy(out + x + 8, &s2, sizeof s2);
    std::memcpy(out + x + 12, &s3, sizeof s3);
  }
  for (; x < count; ++x) {
    double sum = 0;
    for (int i = 0; i < n; ++i) sum += g[i] * *in(i, x);
    out[x] = sum;
  }
}

PG_WIDE void TapsAlong(const double* row, const double* g, int n, double* out, std::size_t count) {
  Taps<true>(&row, g, n, out, count);
}

PG_WIDE void TapsDown(const double* const* rows, const double* g, int n, double* out, std::size_t count) {
  Taps<false>(rows, g, n, out, count);
}
#pragma GCC diagnostic pop

// total plus the SSIM of count windows, from their means (ma, mb) and the
// means of the squares and of the product: each window's value is computed
// alone, then they are added to total in order.
PG_WIDE double WindowSsims(double total, const double* ma, const double* mb, const double* saa,
                             const double* sbb, const double* sab, std::size_t count, double* scratch) {
  for (std::size_t x = 0; x < count; ++x) {
    const double va = saa[x] - ma[x] * ma[x], vb = sbb[x] - mb[x] * mb[x], cov = sab[x] - ma[x] * mb[x];
    scratch[x] = ((2 * ma[x] * mb[x] + kC1) * (2 * cov + kC2)) / ((ma[x] * ma[x] + mb[x] * mb[x] + kC1) * (va + vb + kC2));
  }
  for (std::size_t x = 0; x < count; ++x) total += scratch[x];
  return total;
}

// The windows of an image: where they lie and their weights.
struct TWindows {
  TWindows(int width, int height)
      : Width(std::size_t(width)),
        Height(height),
        Nx(std::min(kWindow, width)),
        Ny(std::min(kWindow, height)),
        Across(std::size_t(width - Nx + 1)),
        Down(std::size_t(height - Ny + 1)),
        Gx(Kernel(Nx)),
        Gy(Kernel(Ny)) {}
  std::size_t Count() const { return Across * Down; }

  // The windows' weighted sums of `planes` planes. fill(y, line) puts row y
  // of plane k at line + k * Width; use(top, sums) takes the sums of plane
  // k for the windows whose top row is top at sums + k * Across. Each
  // plane is summed alone, in one order: its sums do not depend on which
  // planes go with it.
  template <class Fill, class Use>
  void Sum(int planes, Fill fill, Use use) const {
    const std::size_t count = std::size_t(planes);
    std::vector<double> line(count * Width), rows(std::size_t(Ny) * count * Across), sums(count * Across);
    std::vector<const double*> column(static_cast<std::size_t>(Ny));
    const auto slot = [&](int r, std::size_t k) { return rows.data() + (std::size_t(r) * count + k) * Across; };
    for (int y = 0; y < Height; ++y) {
      fill(y, line.data());
      for (std::size_t k = 0; k < count; ++k)
        TapsAlong(line.data() + k * Width, Gx.data(), Nx, slot(y % Ny, k), Across);
      if (y < Ny - 1) continue;
      for (std::size_t k = 0; k < count; ++k) {
        for (int j = 0; j < Ny; ++j) column[std::size_t(j)] = slot((y - Ny + 1 + j) % Ny, k);
        TapsDown(column.data(), Gy.data(), Ny, sums.data() + k * Across, Across);
      }
      use(std::size_t(y - Ny + 1), sums.data());
    }
  }

  std::size_t Width;
  int Height, Nx, Ny;
  std::size_t Across, Down;
  std::vector<double> Gx, Gy;
};

void CheckSizes(TPixelGraphic& a, TPixelGraphic& b) {
  if (a.Width() != b.Width() || a.Height() != b.Height())
    RaisePG<EPGInvalidSize>(msgInvalidSizeOf, "image");
}

bool Measurable(TPixelGraphic& a) { return a.Width() > 0 && a.Height() > 0 && !a.Empty(); }

}  // namespace

double StructuralSimilarity(TPixelGraphic& a, TPixelGraphic& b) {
  CheckSizes(a, b);
  if (!Measurable(a) || !Measurable(b)) return 1.0;
  const TWindows windows(a.Width(), a.Height());
  const std::size_t w = windows.Width, across = windows.Across;
  std::vector<double> la(w), lb(w), scratch(across);
  double total = 0;
  // The planes in the order a, b, a², b², ab.
  windows.Sum(
      5,
      [&](int y, double* line) {
        LumaRow(a, y, la.data(), w);
        LumaRow(b, y, lb.data(), w);
        for (std::size_t x = 0; x < w; ++x) {
          line[x] = la[x];
          line[w + x] = lb[x];
          line[2 * w + x] = la[x] * la[x];
          line[3 * w + x] = lb[x] * lb[x];
          line[4 * w + x] = la[x] * lb[x];
        }
      },
      [&](std::size_t, const double* s) {
        total = WindowSsims(total, s, s + across, s + 2 * across, s + 3 * across, s + 4 * across, across, scratch.data());
      });
  return total / double(windows.Count());
}

TSsimReference::TSsimReference(TPixelGraphic& reference) : FReference(reference) {
  if (!Measurable(reference)) return;
  const TWindows windows(reference.Width(), reference.Height());
  if (windows.Count() > kMostKept) return;
  FMeans.resize(windows.Count());
  FSquares.resize(windows.Count());
  const std::size_t w = windows.Width, across = windows.Across;
  FLuma.resize(w * std::size_t(reference.Height()));
  windows.Sum(
      2,
      [&](int y, double* line) {
        LumaRow(reference, y, line, w);
        std::copy(line, line + w, FLuma.begin() + std::ptrdiff_t(std::size_t(y) * w));
        for (std::size_t x = 0; x < w; ++x) line[w + x] = line[x] * line[x];
      },
      [&](std::size_t top, const double* s) {
        std::copy(s, s + across, FMeans.begin() + std::ptrdiff_t(top * across));
        std::copy(s + across, s + 2 * across, FSquares.begin() + std::ptrdiff_t(top * across));
      });
}

double TSsimReference::Compare(TPixelGraphic& other) const {
  CheckSizes(FReference, other);
  if (FMeans.empty() || !Measurable(other)) return StructuralSimilarity(FReference, other);
  const TWindows windows(other.Width(), other.Height());
  const std::size_t w = windows.Width, across = windows.Across;
  std::vector<double> scratch(across);
  double total = 0;
  // The planes b, b², ab, summed as StructuralSimilarity sums them.
  windows.Sum(
      3,
      [&](int y, double* line) {
        const double* const la = FLuma.data() + std::size_t(y) * w;
        LumaRow(other, y, line, w);
        for (std::size_t x = 0; x < w; ++x) {
          line[w + x] = line[x] * line[x];
          line[2 * w + x] = la[x] * line[x];
        }
      },
      [&](std::size_t top, const double* s) {
        const double* const ma = FMeans.data() + top * across;
        const double* const saa = FSquares.data() + top * across;
        total = WindowSsims(total, ma, s, saa, s + across, s + 2 * across, across, scratch.data());
      });
  return total / double(windows.Count());
}
