#include "app/export/alttext.h"

#include <algorithm>
#include <cstring>

#include "app/export/csscolor.h"

namespace {

// Advances of a common sans-serif font (Arial, Helvetica), in ems, a
// little generous: the text is measured before any browser lays it out.
double Advance(unsigned char c) {
  if (c == ' ') return 0.28;
  if (std::strchr("ijlI.,:;'!|", c)) return 0.28;
  if (std::strchr("frt()-[]/", c)) return 0.36;
  if (std::strchr("mwMW@%", c)) return 0.9;
  if (c >= 'A' && c <= 'Z') return 0.7;
  if (c >= 0x80 && c < 0xC0) return 0;  // inside a UTF-8 sequence: counted at its first byte
  return 0.58;
}

// Below this size a regular font's strokes are thinner than a pixel and a
// browser draws them in shades between text and cell, short of the
// contrast chosen (on a mid grey, below 4 : 1); bold strokes cover whole pixels.
constexpr int BoldBelow = 12;
// Bold letters are this much wider.
constexpr double BoldWidth = 1.1;

// Browsers put a broken-image icon before the text of a blocked image.
constexpr double IconWidth = 20;

// Whether the text, wrapped at spaces into lines width wide, takes at
// most `lines` lines at this size; a word wider than a line never fits.
bool Fits(const std::string& alt, int width, int size, int lines) {
  if (lines < 1) return false;  // not a single line's height
  int used = 1;
  double x = IconWidth;
  std::size_t at = 0;
  while (at < alt.size()) {
    const std::size_t end = std::min(alt.find(' ', at), alt.size());
    double word = 0;
    for (std::size_t i = at; i < end; ++i) word += Advance(static_cast<unsigned char>(alt[i])) * size;
    if (size < BoldBelow) word *= BoldWidth;
    if (word > width) return false;
    const double space = x > 0 ? Advance(' ') * size : 0;
    if (x + space + word > width) {
      if (++used > lines) return false;
      x = word;
    } else {
      x += space + word;
    }
    at = end + 1;
  }
  return true;
}

int LineHeight(int size) { return (size * 5 + 3) / 4; }


}  // namespace

int AltTextSize(int width, int height, const std::string& alt) {
  for (int size = 16; size >= 8; --size)
    if (Fits(alt, width, size, height / LineHeight(size))) return size;
  return std::clamp(height * 4 / 5, 1, 8);
}

std::string AltTextStyle(int width, int height, TRGB average, const std::string& alt) {
  const TRGB black = RGBColor(0, 0, 0), white = RGBColor(255, 255, 255);
  const TRGB text = ContrastRatio(average, black) >= ContrastRatio(average, white) ? black : white;
  const int size = AltTextSize(width, height, alt);
  return "font-family:Arial,Helvetica,sans-serif;font-size:" + std::to_string(size) +
         "px;line-height:" + std::to_string(LineHeight(size)) + (size < BoldBelow ? "px;font-weight:bold" : "px") +
         ";color:" + CssColor(text) +
         ";background-color:" + CssColor(average);
}
