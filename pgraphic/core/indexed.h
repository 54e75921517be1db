#pragma once
// An indexed copy of a 24-bit image, for files of at most 256 colours.

#include <cstddef>

class TPixelGraphic;

// Makes target an indexed copy of the 24-bit source. An image of 256
// colours or fewer is copied exactly, its colours in the order they first
// occur, at the least depth that holds them (1, 4 or 8 bits). Any other
// image gets an optimised palette of 256 colours (BuildOptimizedPalette,
// each entry then moved to the mean of the pixels nearest to it, so that a
// flat area keeps its very colour), its pixels written with error
// diffusion when dither is set, else each as its nearest entry. Returns
// whether the copy is exact.
bool MakeIndexedCopy(TPixelGraphic& target, TPixelGraphic& source, bool dither);

// Whether the image has 256 colours or fewer (so that an indexed copy of
// it is exact). Any depth; stops at the 257th colour.
bool HasAtMost256Colors(TPixelGraphic& image);

// Whether the image has limit colours or fewer. Any depth; stops at the
// colour past the limit, so a photograph is rejected after a few rows.
bool HasAtMostColors(TPixelGraphic& image, std::size_t limit);
