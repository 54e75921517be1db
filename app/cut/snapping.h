#pragma once
// Where a split line being placed comes to rest: on another line of its
// direction, on an image edge, or on a strong colour edge, when one lies
// within a few pixels of where the mouse puts it.

#include <cstdint>
#include <optional>
#include <vector>

class TPixelGraphic;

// How strongly the colours change across each pixel boundary of an image,
// in bands of the other direction, made once per image so that a drag
// never waits for the pixels.
class TEdgeMap {
 public:
  TEdgeMap() = default;
  // An image whose pixels cannot be read gives an empty map.
  explicit TEdgeMap(TPixelGraphic& image);

  bool Empty() const { return FWidth <= 0 || FHeight <= 0; }
  // The boundary between columns (vertical) or rows (horizontal) within
  // tolerance of position where the colours change most, seen in the bands
  // around `across` (the mouse's place along the line); nothing when no
  // boundary there changes strongly.
  std::optional<int> StrongEdgeNear(bool vertical, int position, int tolerance, int across) const;

  // Boundaries whose change, on average over the band, reaches this (of
  // 255 in the channel that changes most) count as strong.
  static constexpr int Threshold = 48;
  // Bands of the other direction (fewer on small images).
  static constexpr int Bands = 64;

 private:
  int Strength(bool vertical, int boundary, int band) const;

  int FWidth = 0, FHeight = 0;
  int FColumnBands = 0, FRowBands = 0;  // bands across the columns' and the rows' boundaries
  // Per boundary between columns, per band of rows (and the other way round).
  std::vector<std::uint8_t> FColumnEdges, FRowEdges;
};

// The position a line placed at `position` takes: the nearest of the other
// lines, the image edges 0 and extent and the colour edge (when given)
// within tolerance; lines and image edges win over a colour edge as near.
int SnapPosition(int position, int tolerance, int extent, const std::vector<std::int32_t>& lines,
                 std::optional<int> colourEdge);
