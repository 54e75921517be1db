#pragma once
// The ALT text of a slice as a mail reader shows it while it blocks
// images (several do until the reader says otherwise): readable on the
// slice's own colour, in a size that fits the slice.

#include <string>

#include "pgraphic/core/types.h"

// The CSS of an ALT text shown in place of a blocked image of width x
// height pixels whose average colour is average: a sans-serif font of the
// largest size from 16 down to 8 pixels at which the text, wrapped at the
// width, fits the height (else one line's size), black or white, whichever
// stands out more against the average colour (at least 4.58 : 1, above the
// 4.5 : 1 that text needs), on that colour.
std::string AltTextStyle(int width, int height, TRGB average, const std::string& alt);

// The font size in pixels AltTextStyle gives the text.
int AltTextSize(int width, int height, const std::string& alt);
