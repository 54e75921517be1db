#pragma once
// How alike two images look: the structural similarity index (SSIM).

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
