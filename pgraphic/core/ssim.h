#pragma once
// How alike two images look: the structural similarity index (SSIM).

#include <cstddef>
#include <vector>

class TPixelGraphic;

// The SSIM of two images of one size, computed on their luma
// (0.299 R + 0.587 G + 0.114 B) with the constants of its common
// definition: Gaussian windows of 11 x 11 pixels with a standard deviation
// of 1.5, K1 = 0.01, K2 = 0.03 and a range of 255; the result is the mean
// over every window that lies wholly inside the images, 1 for equal images.
// An image narrower or lower than 11 pixels is measured with windows as
// wide or as high as itself. Any depth; raises EPGInvalidSize when the
// sizes differ and gives 1 for two empty images.
double StructuralSimilarity(TPixelGraphic& a, TPixelGraphic& b);

// The SSIM of many images against one, as StructuralSimilarity(reference,
// other) gives it to the last bit, for less than half its work per image:
// the reference's luma and the means and variances of its windows are
// computed once. They take about 24 bytes per pixel; for a reference of
// more than 4 million windows they are not kept, and each comparison does
// the whole work.
// The reference must stay, unchanged, while this lives.
class TSsimReference {
 public:
  explicit TSsimReference(TPixelGraphic& reference);
  double Compare(TPixelGraphic& other) const;

 private:
  TPixelGraphic& FReference;
  std::vector<double> FLuma;     // per pixel, row by row
  std::vector<double> FMeans;    // per window: the mean of the reference's luma,
  std::vector<double> FSquares;  // and of its square
};
