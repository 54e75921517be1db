#pragma once
// An indexed copy of a 24-bit image, for files of at most 256 colours.

#include <cstddef>
#include <cstdint>
#include <vector>

class TPixelGraphic;

// Makes target an indexed copy of the 24-bit source. An image of 256
// colours or fewer is copied exactly, its colours in the order they first
// occur, at the least depth that holds them (1, 4 or 8 bits). Any other
// image gets an optimised palette of 256 colours (BuildOptimizedPalette,
// each entry then moved to the mean of the pixels nearest to it, so that a
// flat area keeps its very colour), its pixels written with error
// diffusion when dither is set, else each as its nearest entry. Returns
// whether the copy is exact.
//
// With entryAlpha, a source's alpha plane counts: the colours are then
// colour and alpha pairs, and entryAlpha gets the alpha of each entry.
// Too many pairs for a palette: the fully transparent pixels get an entry
// of their own, alpha 0, and the others are laid on PageColor, opaque.
// The copy has no plane; without entryAlpha the plane is not looked at.
bool MakeIndexedCopy(TPixelGraphic& target, TPixelGraphic& source, bool dither,
                     std::vector<std::uint8_t>* entryAlpha = nullptr);

// Whether the image has 256 colours or fewer (so that an indexed copy of
// it is exact), colour and alpha pairs where it has a plane. Any depth;
// stops at the 257th colour.
bool HasAtMost256Colors(TPixelGraphic& image);

// Whether the image has limit colours or fewer, colour and alpha pairs
// where it has a plane. Any depth; stops at the colour past the limit, so
// a photograph is rejected after a few rows.
bool HasAtMostColors(TPixelGraphic& image, std::size_t limit);
