#include "pgraphic/core/ssim.h"

// The sums below are loops over x alone, the same operations on every
// element: vectors give each element the bits the plain loop gives it (no
// multiply and add is fused), several at a time. The automatic format's
// search spends about half its time here.
#pragma GCC optimize("tree-vectorize", "vect-cost-model=dynamic")

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <vector>

#include "pgraphic/core/errors.h"
#include "pgraphic/core/messages.h"
#include "pgraphic/core/pixelgraphic.h"

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

void LumaRow(TPixelGraphic& image, int y, double* luma, std::size_t width) {
  if (image.PixelFormat() == pgpf24Bit) {
    const std::uint8_t* p = image.ScanLine(y);
    for (std::size_t x = 0; x < width; ++x, p += 3) luma[x] = 0.299 * p[2] + 0.587 * p[1] + 0.114 * p[0];
    return;
  }
  image.ScanLine(y);
  for (std::size_t x = 0; x < width; ++x) {
    const TRGB c = image.GetPixelColor(int(x), y);
    luma[x] = 0.299 * GetRValue(c) + 0.587 * GetGValue(c) + 0.114 * GetBValue(c);
  }
}

double WindowSsim(double ma, double mb, double saa, double sbb, double sab) {
  const double va = saa - ma * ma, vb = sbb - mb * mb, cov = sab - ma * mb;
  return ((2 * ma * mb + kC1) * (2 * cov + kC2)) / ((ma * ma + mb * mb + kC1) * (va + vb + kC2));
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
    const auto slot = [&](int r, std::size_t k) { return rows.data() + (std::size_t(r) * count + k) * Across; };
    // Each loop below runs over x alone, so that the compiler can use vectors.
    for (int y = 0; y < Height; ++y) {
      fill(y, line.data());
      const int r = y % Ny;
      for (std::size_t k = 0; k < count; ++k) {
        double* const out = slot(r, k);
        std::fill(out, out + Across, 0.0);
        for (int i = 0; i < Nx; ++i) {
          const double g = Gx[std::size_t(i)];
          const double* const from = line.data() + k * Width + std::size_t(i);
          for (std::size_t x = 0; x < Across; ++x) out[x] += g * from[x];
        }
      }
      if (y < Ny - 1) continue;
      std::fill(sums.begin(), sums.end(), 0.0);
      for (int j = 0; j < Ny; ++j) {
        const double g = Gy[std::size_t(j)];
        const int row = (y - Ny + 1 + j) % Ny;
        for (std::size_t k = 0; k < count; ++k) {
          const double* const from = slot(row, k);
          double* const to = sums.data() + k * Across;
          for (std::size_t x = 0; x < Across; ++x) to[x] += g * from[x];
        }
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
  std::vector<double> la(w), lb(w);
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
        for (std::size_t x = 0; x < across; ++x)
          total += WindowSsim(s[x], s[across + x], s[2 * across + x], s[3 * across + x], s[4 * across + x]);
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
  windows.Sum(
      2,
      [&](int y, double* line) {
        LumaRow(reference, y, line, w);
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
  std::vector<double> la(w), lb(w);
  double total = 0;
  // The planes b, b², ab, summed as StructuralSimilarity sums them.
  windows.Sum(
      3,
      [&](int y, double* line) {
        LumaRow(FReference, y, la.data(), w);
        LumaRow(other, y, lb.data(), w);
        for (std::size_t x = 0; x < w; ++x) {
          line[x] = lb[x];
          line[w + x] = lb[x] * lb[x];
          line[2 * w + x] = la[x] * lb[x];
        }
      },
      [&](std::size_t top, const double* s) {
        const double* const ma = FMeans.data() + top * across;
        const double* const saa = FSquares.data() + top * across;
        for (std::size_t x = 0; x < across; ++x)
          total += WindowSsim(ma[x], s[x], saa[x], s[across + x], s[2 * across + x]);
      });
  return total / double(windows.Count());
}
