#include "app/export/csscolor.h"

#include <algorithm>
#include <cctype>
#include <cmath>

namespace {

double Luminance(TRGB color) {
  double sum = 0;
  const double weights[3] = {0.2126, 0.7152, 0.0722};
  const unsigned channels[3] = {GetRValue(color), GetGValue(color), GetBValue(color)};
  for (int i = 0; i < 3; ++i) {
    const double v = channels[i] / 255.0;
    sum += weights[i] * (v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4));
  }
  return sum;
}

}  // namespace

std::string CssColor(TRGB color) {
  static const char* const digits = "0123456789abcdef";
  std::string out = "#";
  for (const unsigned channel : {GetRValue(color), GetGValue(color), GetBValue(color)}) {
    out += digits[channel >> 4];
    out += digits[channel & 15];
  }
  return out;
}

double ContrastRatio(TRGB a, TRGB b) {
  const double la = Luminance(a), lb = Luminance(b);
  return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

bool CssColorOf(const std::string& text, TRGB& color) {
  if (text.size() != 7 || text[0] != '#') return false;
  unsigned channels[3] = {0, 0, 0};
  for (std::size_t i = 1; i < 7; ++i) {
    const int c = std::tolower(static_cast<unsigned char>(text[i]));
    if (!std::isxdigit(c)) return false;
    channels[(i - 1) / 2] = channels[(i - 1) / 2] * 16 + unsigned(c <= '9' ? c - '0' : c - 'a' + 10);
  }
  color = RGBColor(channels[0], channels[1], channels[2]);
  return true;
}
