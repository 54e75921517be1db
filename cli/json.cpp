#include "cli/json.h"

#include <cstdio>

namespace {

// The length of the UTF-8 character at text[i], or 0 where none starts.
std::size_t Utf8Length(const std::string& text, std::size_t i) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char lead = byte(i);
  std::size_t length = lead < 0x80 ? 1 : lead >= 0xC2 && lead <= 0xDF ? 2 : lead >= 0xE0 && lead <= 0xEF ? 3
                                   : lead >= 0xF0 && lead <= 0xF4      ? 4 : 0;
  if (length == 0 || i + length > text.size()) return 0;
  for (std::size_t k = 1; k < length; ++k)
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
  // No overlong forms, no surrogates, nothing past U+10FFFF.
  if ((lead == 0xE0 && byte(i + 1) < 0xA0) || (lead == 0xED && byte(i + 1) > 0x9F) ||
      (lead == 0xF0 && byte(i + 1) < 0x90) || (lead == 0xF4 && byte(i + 1) > 0x8F))
    return 0;
  return length;
}

}  // namespace

std::string JsonQuoted(const std::string& text) {
  std::string out = "\"";
  for (std::size_t i = 0; i < text.size();) {
    const char c = text[i];
    const std::size_t length = Utf8Length(text, i);
    if (length == 0) {
      out += "\\ufffd";
      ++i;
      continue;
    }
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (static_cast<unsigned char>(c) < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
      out += escaped;
    } else {
      out.append(text, i, length);
    }
    i += length;
  }
  return out + "\"";
}

void TJsonWriter::Separate() {
  if (FAfterKey) {
    FAfterKey = false;
    return;
  }
  if (!FFirst) FText += ',';
  FFirst = false;
}

TJsonWriter& TJsonWriter::Key(const std::string& name) {
  Separate();
  FText += JsonQuoted(name) + ':';
  FAfterKey = true;
  return *this;
}

TJsonWriter& TJsonWriter::Open(char bracket) {
  Separate();
  FText += bracket;
  FFirst = true;
  return *this;
}

TJsonWriter& TJsonWriter::Close(char bracket) {
  FText += bracket;
  FFirst = false;
  return *this;
}

TJsonWriter& TJsonWriter::String(const std::string& text) {
  Separate();
  FText += JsonQuoted(text);
  return *this;
}

TJsonWriter& TJsonWriter::Number(std::int64_t value) {
  Separate();
  FText += std::to_string(value);
  return *this;
}

TJsonWriter& TJsonWriter::Bool(bool value) {
  Separate();
  FText += value ? "true" : "false";
  return *this;
}

TJsonWriter& TJsonWriter::Null() {
  Separate();
  FText += "null";
  return *this;
}
