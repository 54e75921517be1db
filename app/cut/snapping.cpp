#include "app/cut/snapping.h"

#include <algorithm>
#include <cstdlib>

#include "pgraphic/core/pixelgraphic.h"

namespace {

// Lines sampled per band: enough to see an edge that runs through the band.
constexpr int kSamplesPerBand = 8;

int ChannelChange(TRGB a, TRGB b) {
  return std::max({std::abs(int(GetRValue(a)) - int(GetRValue(b))),
                   std::abs(int(GetGValue(a)) - int(GetGValue(b))),
                   std::abs(int(GetBValue(a)) - int(GetBValue(b)))});
}

// For each boundary 1..extent-1 of one direction and each band of the
// other (length `across`), the mean change over sampled lines of the band.
// pixel(p, q) reads position p along the direction, q across it.
template <class TPixel>
std::vector<std::uint8_t> EdgeStrengths(int extent, int across, int bands, TPixel pixel) {
  std::vector<std::uint8_t> strengths(std::size_t(std::max(extent, 0)) * std::size_t(bands), 0);
  std::vector<TRGB> previous, current;
  for (int band = 0; band < bands; ++band) {
    const std::int64_t from = std::int64_t(across) * band / bands;
    const std::int64_t to = std::int64_t(across) * (band + 1) / bands;
    const std::int64_t step = std::max<std::int64_t>(1, (to - from) / kSamplesPerBand);
    std::vector<int> sum(std::size_t(extent), 0);
    int samples = 0;
    for (std::int64_t q = from; q < to && samples < kSamplesPerBand; q += step, ++samples) {
      TRGB before = pixel(0, int(q));
      for (int p = 1; p < extent; ++p) {
        const TRGB here = pixel(p, int(q));
        sum[std::size_t(p)] += ChannelChange(before, here);
        before = here;
      }
    }
    if (samples == 0) continue;
    for (int p = 1; p < extent; ++p)
      strengths[std::size_t(p) * std::size_t(bands) + std::size_t(band)] =
          std::uint8_t(sum[std::size_t(p)] / samples);
  }
  return strengths;
}

}  // namespace

TEdgeMap::TEdgeMap(TPixelGraphic& image) {
  const int width = image.Width(), height = image.Height();
  if (width <= 0 || height <= 0 || image.Empty()) return;
  try {
    const int rowBands = std::min(Bands, height), columnBands = std::min(Bands, width);
    FColumnEdges = EdgeStrengths(width, height, rowBands,
                                 [&](int x, int y) { return image.GetPixelColor(x, y); });
    FRowEdges = EdgeStrengths(height, width, columnBands,
                              [&](int y, int x) { return image.GetPixelColor(x, y); });
    FColumnBands = rowBands;
    FRowBands = columnBands;
    FWidth = width;
    FHeight = height;
  } catch (...) {
    // A palette index beyond the palette, say: no colour edges then.
    FColumnEdges.clear();
    FRowEdges.clear();
  }
}

int TEdgeMap::Strength(bool vertical, int boundary, int band) const {
  const int bands = vertical ? FColumnBands : FRowBands;
  const std::vector<std::uint8_t>& edges = vertical ? FColumnEdges : FRowEdges;
  return edges[std::size_t(boundary) * std::size_t(bands) + std::size_t(band)];
}

std::optional<int> TEdgeMap::StrongEdgeNear(bool vertical, int position, int tolerance,
                                            int across) const {
  if (Empty()) return std::nullopt;
  const int extent = vertical ? FWidth : FHeight, length = vertical ? FHeight : FWidth;
  const int bands = vertical ? FColumnBands : FRowBands;
  // The band under the mouse and its neighbours.
  const int band = int(std::clamp<std::int64_t>(std::int64_t(across) * bands / length, 0, bands - 1));
  const int firstBand = std::max(0, band - 1), lastBand = std::min(bands - 1, band + 1);
  std::optional<int> best;
  int bestStrength = Threshold - 1;
  const int from = std::max(1, position - tolerance), to = std::min(extent - 1, position + tolerance);
  for (int b = from; b <= to; ++b) {
    int sum = 0;
    for (int k = firstBand; k <= lastBand; ++k) sum += Strength(vertical, b, k);
    const int strength = sum / (lastBand - firstBand + 1);
    const bool nearer = best && std::abs(b - position) < std::abs(*best - position);
    if (strength > bestStrength || (strength == bestStrength && nearer)) {
      bestStrength = strength;
      best = b;
    }
  }
  return best;
}

int SnapPosition(int position, int tolerance, int extent, const std::vector<std::int32_t>& lines,
                 std::optional<int> colourEdge) {
  std::optional<int> snapped;
  const auto consider = [&](std::int64_t target) {
    const std::int64_t distance = std::abs(target - position);
    if (distance > tolerance) return;
    if (!snapped || distance < std::abs(std::int64_t(*snapped) - position)) snapped = int(target);
  };
  consider(0);
  consider(extent);
  for (std::int32_t line : lines) consider(line);
  if (colourEdge) consider(*colourEdge);
  return snapped.value_or(position);
}
