// Where a placed line comes to rest: the nearest line, image edge or strong
// colour edge within the tolerance, colour edges found where they run.

#include "app/cut/snapping.h"

#include <gtest/gtest.h>

#include "pgraphic/core/pixelgraphic.h"

namespace {

TEdgeMap EdgesOf(int w, int h, TRGB (*color)(int, int)) {
  TPixelGraphic image;
  image.SetSizeAndFormat(w, h, pgpf24Bit);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) image.SetPixel(x, y, color(x, y));
  return TEdgeMap(image);
}

TEST(Snapping, NearestWithinToleranceLinesAndEdgesFirst) {
  const std::vector<std::int32_t> lines{40, 47};
  struct {
    int Position, Tolerance;
    std::optional<int> ColourEdge;
    int Expected;
  } cases[] = {
      {44, 5, std::nullopt, 47}, {53, 5, std::nullopt, 53},  // the nearer line; out of reach
      {104, 5, std::nullopt, 100},                            // an edge, from beyond the image
      {44, 5, 45, 45},           {45, 2, 43, 47},            // a nearer colour edge; as near, the line
      {43, 0, std::nullopt, 43},
  };
  for (const auto& c : cases)
    EXPECT_EQ(SnapPosition(c.Position, c.Tolerance, 100, lines, c.ColourEdge), c.Expected)
        << "at " << c.Position;
}

TEST(Snapping, StrongColourEdgesAreFoundWhereTheyRun) {
  // Red left of x = 40 and blue right of it over the whole height; below
  // y = 60 a second change at x = 70; a step across at y = 25.
  const TEdgeMap edges = EdgesOf(100, 120, [](int x, int y) {
    if (y >= 60 && x >= 70) return RGBColor(0, 200, 0);
    return x < 40 ? RGBColor(200, 0, 0) : RGBColor(0, 0, y < 25 ? 200 : 120);
  });
  EXPECT_EQ(edges.StrongEdgeNear(true, 43, 5, 10), 40);
  EXPECT_EQ(edges.StrongEdgeNear(true, 37, 5, 100), 40);
  EXPECT_EQ(edges.StrongEdgeNear(true, 67, 5, 10), std::nullopt);  // the edge at 70 runs lower down
  EXPECT_EQ(edges.StrongEdgeNear(true, 67, 5, 100), 70);
  EXPECT_EQ(edges.StrongEdgeNear(false, 28, 5, 50), 25);
  EXPECT_EQ(edges.StrongEdgeNear(false, 28, 5, 20), std::nullopt);  // red has no step there

  // Mid-grey against a grey a shade darker, or a gradient: nothing strong.
  const TEdgeMap soft = EdgesOf(100, 40, [](int x, int) { return x < 50 ? Grey(128) : Grey(127); });
  EXPECT_EQ(soft.StrongEdgeNear(true, 50, 5, 20), std::nullopt);
  const TEdgeMap ramp = EdgesOf(256, 10, [](int x, int) { return Grey(unsigned(x)); });
  EXPECT_EQ(ramp.StrongEdgeNear(true, 128, 10, 5), std::nullopt);
  EXPECT_TRUE(TEdgeMap().Empty());
}

}  // namespace
