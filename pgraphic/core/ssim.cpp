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
  const std::size_t w = std::size_t(width), across = std::size_t(width - nx + 1);
  // Each loop below runs over x alone, so that the compiler can use vectors.
  // The planes of a row: a, b, a², b², ab; rows: the last ny rows filtered
  // across (sum k of window x at row slot r); sums: the windows' sums.
  std::vector<double> la(w), lb(w), aa(w), bb(w), ab(w);
  const double* const planes[kSums] = {la.data(), lb.data(), aa.data(), bb.data(), ab.data()};
  std::vector<double> rows(std::size_t(ny) * kSums * across), sums(kSums * across);
  const auto slot = [&](int r, int k) { return rows.data() + (std::size_t(r) * kSums + std::size_t(k)) * across; };
  double total = 0;
  for (int y = 0; y < height; ++y) {
    LumaRow(a, y, la);
    LumaRow(b, y, lb);
    for (std::size_t x = 0; x < w; ++x) {
      aa[x] = la[x] * la[x];
      bb[x] = lb[x] * lb[x];
      ab[x] = la[x] * lb[x];
    }
    const int r = y % ny;
    for (int k = 0; k < kSums; ++k) {
      double* const out = slot(r, k);
      std::fill(out, out + across, 0.0);
      for (int i = 0; i < nx; ++i) {
        const double g = gx[std::size_t(i)];
        const double* const from = planes[k] + i;
        for (std::size_t x = 0; x < across; ++x) out[x] += g * from[x];
      }
    }
    if (y < ny - 1) continue;
    std::fill(sums.begin(), sums.end(), 0.0);
    for (int j = 0; j < ny; ++j) {
      const double g = gy[std::size_t(j)];
      const int row = (y - ny + 1 + j) % ny;
      for (int k = 0; k < kSums; ++k) {
        const double* const from = slot(row, k);
        double* const to = sums.data() + std::size_t(k) * across;
        for (std::size_t x = 0; x < across; ++x) to[x] += g * from[x];
      }
    }
    for (std::size_t x = 0; x < across; ++x) {
      const double s[kSums] = {sums[x], sums[across + x], sums[2 * across + x], sums[3 * across + x],
                               sums[4 * across + x]};
      total += WindowSsim(s);
    }
  }
  return total / (double(across) * double(height - ny + 1));
}
