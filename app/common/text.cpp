#include "app/common/text.h"

std::string LowerAscii(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}

namespace {

bool IsControl(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return byte < 0x20 || byte == 0x7F;
}

}  // namespace

std::string QuotedInMessage(const std::string& text, std::size_t limit) {
  std::size_t end = text.size();
  if (end > limit) {
    end = limit;
    // Back to the start of a character: continuation bytes are 10xxxxxx.
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  }
  std::string quoted = text.substr(0, end);
  for (char& c : quoted)
    if (IsControl(c)) c = '?';
  return end < text.size() ? quoted + "..." : quoted;
}

std::string TerminalSafe(std::string text) {
  for (char& c : text)
    if (IsControl(c) && c != '\n' && c != '\t' && c != '\r') c = '?';
  return text;
}
