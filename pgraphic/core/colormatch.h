#pragma once
// TPGColorMatcher: the palette index of the entry nearest to a colour. The
// standard palettes are matched by arithmetic, arbitrary ones through a 64 K
// cache of a 5-6-5 grid seeded around every entry; a memo answers a run of
// equal colours with one comparison. The matcher keeps no palette of its
// own: its owner passes the palette with each query and tells it of every
// change, so the cache and the memo never outlive the palette they were
// made for.

#include <cstdint>
#include <memory>
#include <vector>

#include "pgraphic/core/types.h"

class TPGColorMatcher {
 public:
  TPGColorMatcher() = default;
  TPGColorMatcher(const TPGColorMatcher&) = delete;
  TPGColorMatcher& operator=(const TPGColorMatcher&) = delete;

  // Raises EPGNoPalette for pNone, and for pUnknown without entries.
  std::uint32_t Index(TRGB color, const std::vector<TRGB>& entries, TPaletteIdent ident);
  // Grey value 0..765 of a colour, by RGBWeighting.
  int GreyValue(TRGB color) const;

  // The next query is computed, not taken from the memo.
  void ForgetLastResult() { FLastResultStale = true; }
  // Frees the cache; it is seeded anew at the next cached query.
  void InvalidateCache();

  bool UseCache() const { return FUseCache; }
  // Returns whether the value changed.
  bool SetUseCache(bool value);
  bool RGBWeighting() const { return FRGBWeighting; }
  bool SetRGBWeighting(bool value);

 private:
  std::uint32_t Compute(TRGB color, const std::vector<TRGB>& entries, TPaletteIdent ident);
  std::uint32_t CacheLookup(TRGB color, const std::vector<TRGB>& entries);

  bool FUseCache = true;
  bool FRGBWeighting = true;

  // 64 K cells of palette indices and their valid-bit set.
  std::unique_ptr<std::uint8_t[]> FCache;
  std::unique_ptr<std::uint8_t[]> FCacheValid;

  // The last query and its answer.
  TRGB FLastColor = 0;
  std::uint32_t FLastResult = 0;
  bool FLastResultStale = true;
};

// The grey of entry i of the 236-grey palette: round(i * 255 / 235).
int PGGray236Level(int i);
