#include "app/common/convert.h"

#include <cstddef>

#include "app/common/text.h"

namespace {

[[noreturn]] void RaiseNotInteger(const std::string& text) {
  // A line of a file may be anything: shown shortened and without control bytes.
  throw EConvertError("'" + QuotedInMessage(text) + "' is not a valid integer value");
}

std::size_t SkipBlanks(const std::string& text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  return i;
}

}  // namespace

std::int32_t StrToInt(const std::string& text) {
  std::size_t i = SkipBlanks(text);
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  if (i >= text.size()) RaiseNotInteger(text);
  // Accumulate the magnitude in 64 bits; the limit allows -2^31 but not +2^31.
  const std::int64_t limit = negative ? 2147483648LL : 2147483647LL;
  std::int64_t magnitude = 0;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (c < '0' || c > '9') RaiseNotInteger(text);
    magnitude = magnitude * 10 + (c - '0');
    if (magnitude > limit) RaiseNotInteger(text);
  }
  return static_cast<std::int32_t>(negative ? -magnitude : magnitude);
}

std::int32_t StrToIntOnLine(const std::string& text, const std::string& sourceName, int line) {
  try {
    return StrToInt(text);
  } catch (const EConvertError& e) {
    if (sourceName.empty()) throw;
    throw EConvertError(sourceName + ", line " + std::to_string(line) + ": " + e.what());
  }
}
