#include "pgraphic/core/ssim.h"

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
// The sums a window needs: of a, b, a², b² and ab.
constexpr int kSums = 5;

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

void LumaRow(TPixelGraphic& image, int y, std::vector<double>& luma) {
  if (image.PixelFormat() == pgpf24Bit) {
    const std::uint8_t* p = image.ScanLine(y);
    for (double& v : luma) v = 0.299 * p[2] + 0.587 * p[1] + 0.114 * p[0], p += 3;
    return;
  }
  image.ScanLine(y);
  for (std::size_t x = 0; x < luma.size(); ++x) {
    const TRGB c = image.GetPixelColor(int(x), y);
    luma[x] = 0.299 * GetRValue(c) + 0.587 * GetGValue(c) + 0.114 * GetBValue(c);
  }
}

double WindowSsim(const double s[kSums]) {
  const double ma = s[0], mb = s[1];
  const double va = s[2] - ma * ma, vb = s[3] - mb * mb, cov = s[4] - ma * mb;
  return ((2 * ma * mb + kC1) * (2 * cov + kC2)) / ((ma * ma + mb * mb + kC1) * (va + vb + kC2));
}

}  // namespace

double StructuralSimilarity(TPixelGraphic& a, TPixelGraphic& b) {
  if (a.Width() != b.Width() || a.Height() != b.Height())
    RaisePG<EPGInvalidSize>(msgInvalidSizeOf, "image");
  const int width = a.Width(), height = a.Height();
  if (width <= 0 || height <= 0 || a.Empty() || b.Empty()) return 1.0;
  const int nx = std::min(kWindow, width), ny = std::min(kWindow, height);
  const std::vector<double> gx = Kernel(nx), gy = Kernel(ny);
  const std::size_t across = std::size_t(width - nx + 1);
  // The rows filtered across, for the last ny rows: sum k of window x at row slot r.
  std::vector<double> rows(std::size_t(ny) * kSums * across);
  const auto slot = [&](int r, int k) { return rows.data() + (std::size_t(r) * kSums + std::size_t(k)) * across; };
  std::vector<double> la(static_cast<std::size_t>(width)), lb(la.size());
  double total = 0;
  for (int y = 0; y < height; ++y) {
    LumaRow(a, y, la);
    LumaRow(b, y, lb);
    const int r = y % ny;
    for (std::size_t x = 0; x < across; ++x) {
      double s[kSums] = {0, 0, 0, 0, 0};
      for (int i = 0; i < nx; ++i) {
        const double g = gx[std::size_t(i)], va = la[x + std::size_t(i)], vb = lb[x + std::size_t(i)];
        s[0] += g * va;
        s[1] += g * vb;
        s[2] += g * va * va;
        s[3] += g * vb * vb;
        s[4] += g * va * vb;
      }
      for (int k = 0; k < kSums; ++k) slot(r, k)[x] = s[k];
    }
    if (y < ny - 1) continue;
    for (std::size_t x = 0; x < across; ++x) {
      double s[kSums] = {0, 0, 0, 0, 0};
      for (int j = 0; j < ny; ++j) {
        const int row = (y - ny + 1 + j) % ny;
        for (int k = 0; k < kSums; ++k) s[k] += gy[std::size_t(j)] * slot(row, k)[x];
      }
      total += WindowSsim(s);
    }
  }
  return total / (double(across) * double(height - ny + 1));
}
