#include "app/common/text.h"

std::string LowerAscii(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}

std::string HexColor(TRGB color) {
  static const char* const hex = "0123456789abcdef";
  std::string out = "#";
  for (const unsigned channel : {GetRValue(color), GetGValue(color), GetBValue(color)}) {
    out += hex[channel >> 4];
    out += hex[channel & 15];
  }
  return out;
}

std::optional<TRGB> ColorFromHex(const std::string& text) {
  if (text.size() != 7 || text[0] != '#') return std::nullopt;
  unsigned channels[3] = {};
  for (std::size_t i = 1; i < 7; ++i) {
    const char c = text[i];
    const int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
    if (digit < 0) return std::nullopt;
    channels[(i - 1) / 2] = channels[(i - 1) / 2] * 16 + unsigned(digit);
  }
  return RGBColor(channels[0], channels[1], channels[2]);
}
