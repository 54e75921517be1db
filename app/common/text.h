#pragma once
// Small text helpers that every layer of the workbench shares.

#include <optional>
#include <string>

#include "pgraphic/core/types.h"

// Lower-cases the letters A to Z only: names in HTML and paths compared
// without regard to case must not depend on the user's locale.
std::string LowerAscii(std::string text);

// A colour as HTML writes it, "#rrggbb" in lower case.
std::string HexColor(TRGB color);
// "#RRGGBB" (either case) as a colour; none for anything else.
std::optional<TRGB> ColorFromHex(const std::string& text);
