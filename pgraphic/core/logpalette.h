#pragma once
// The logical palette an image hands a palette display: its entries as red,
// green, blue and flags 0, version $300. Qt's true-colour surfaces draw
// without one; the view still answers with it for whoever asks.

#include <cstdint>
#include <optional>
#include <vector>

#include "pgraphic/core/types.h"

class TPixelGraphic;

struct TPGLogPalette {
  std::uint16_t Version = 0x300;
  std::vector<TRGB> Entries;
};

// None for a true-colour image and for one without palette entries.
std::optional<TPGLogPalette> GetPaletteHandle(const TPixelGraphic& image);
