#pragma once
// Shared value types of the image library.

#include <cstdint>
#include <functional>

// A colour as $00BBGGRR: red in the low byte.
using TRGB = std::uint32_t;

constexpr TRGB RGBColor(unsigned r, unsigned g, unsigned b) {
  return TRGB(r & 0xFF) | (TRGB(g & 0xFF) << 8) | (TRGB(b & 0xFF) << 16);
}
constexpr unsigned GetRValue(TRGB c) { return c & 0xFF; }
constexpr unsigned GetGValue(TRGB c) { return (c >> 8) & 0xFF; }
constexpr unsigned GetBValue(TRGB c) { return (c >> 16) & 0xFF; }
constexpr TRGB Grey(unsigned v) { return RGBColor(v, v, v); }

enum TPGPixelFormat : std::uint8_t { pgpf1Bit = 0, pgpf4Bit = 1, pgpf8Bit = 2, pgpf24Bit = 3 };

enum TPaletteIdent : std::uint8_t {
  pNone = 0,
  pTrueColor,
  pUnknown,
  pBlackWhite,
  pSysGray4,
  pSys16,
  pGray4,
  pGray16,
  pGray236,
  pGray256,
  pSpecial125,
  pSpecial216,
  pSpecial252,
  pOptimized252Sys16,  // request only
  pSource,             // request only
};

enum TStretchMode : std::uint8_t { smFast, smMedium, smPrecise };

enum TPGWarningAction : std::uint8_t { pgwaIgnore, pgwaOKBox, pgwaOKCancelBox, pgwaRaise };

// Event handlers: fired only when assigned. Sender is the object that owns the event.
using TNotifyEvent = std::function<void(void* Sender)>;
using TPGProgressEvent = std::function<void(void* Sender, int Step, int Max, bool& Abort)>;
// Rows Top to Top + Count - 1, counted from the top, are final.
using TPGRowsEvent = std::function<void(void* Sender, int Top, int Count)>;
