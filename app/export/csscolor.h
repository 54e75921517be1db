#pragma once
// Colours as pages write them, and how well two of them tell apart.

#include <string>

#include "pgraphic/core/types.h"

// A colour as HTML and CSS write it: "#rrggbb".
std::string CssColor(TRGB color);
// The colour of "#rrggbb" (either letter case); false for any other text.
bool CssColorOf(const std::string& text, TRGB& color);

// The contrast of two colours as WCAG measures it, from 1 to 21.
double ContrastRatio(TRGB a, TRGB b);
