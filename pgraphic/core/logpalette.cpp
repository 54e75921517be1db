#include "pgraphic/core/logpalette.h"

#include "pgraphic/core/pixelgraphic.h"

std::optional<TPGLogPalette> GetPaletteHandle(const TPixelGraphic& image) {
  if (image.PaletteIdent() == pTrueColor || image.PaletteCount() == 0) return std::nullopt;
  return TPGLogPalette{0x300, image.PaletteEntries()};
}
