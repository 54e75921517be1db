#include "app/htmltable.h"

#include <cstdint>

#include "app/atomicfile.h"

std::string LowerAscii(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}

THtmlTable::THtmlTable(const THtmlOptions& options)
    : FOptions(options), FQuote(options.DoubleQuote ? '"' : '\'') {}

std::string THtmlTable::Name(const char* name) const {
  return FOptions.UpperCase ? std::string(name) : LowerAscii(name);
}

std::string THtmlTable::TableStartLine() const {
  return Name("<TABLE CELLSPACING = 0 CELLPADDING = 0 BORDER = 0>");
}

std::string THtmlTable::TableEndLine() const { return Name("</TABLE>"); }

std::string THtmlTable::ImgTagPrefix(const std::string& sliceName, int width, int height) const {
  return "<" + Name("IMG") + " " + Name("SRC") + "=" + FQuote + UrlEncodeFileName(sliceName) +
         FQuote + " " + Name("WIDTH") + "=" + std::to_string(width) + " " + Name("HEIGHT") + "=" +
         std::to_string(height);
}

void THtmlTable::BeginRow() {
  FRow = "<" + Name("TR") + ">";
  FCellCount = 0;
}

void THtmlTable::AddCell(const std::string& cellCode) {
  FRow += "<" + Name("TD") + ">" + cellCode + "</" + Name("TD") + ">";
  ++FCellCount;
}

std::string THtmlTable::EndRow() const { return FRow + "</" + Name("TR") + ">"; }

std::string UpdateResultingCode(const std::string& prefix, const std::string& href,
                                const std::string& target, const std::string& alt) {
  std::string link;
  if (!href.empty()) {
    link = "<A HREF=\"" + EscapeAttribute(href) + "\"";
    if (!target.empty()) link += " TARGET=\"" + EscapeAttribute(target) + "\"";
    link += ">";
  }
  const std::string altText = alt.empty() ? "" : " ALT=\"" + EscapeAttribute(alt) + "\"";
  std::string code = link + prefix + altText;
  if (!link.empty()) code += " BORDER=0";
  code += ">";
  if (!link.empty()) code += "</A>";
  return code;
}

std::string EscapeAttribute(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&#39;"; break;
      case '\t': out += "&#9;"; break;
      case '\n': out += "&#10;"; break;
      case '\r': out += "&#13;"; break;
      default:
        if ((c >= 0 && c < 0x20) || c == 0x7F)
          out += "&#65533;";
        else
          out += c;
    }
  }
  return out;
}

namespace {

bool UrlSafe(unsigned char c) {
  if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return true;
  for (const char* p = "-._~!$()*+,;=@"; *p; ++p)
    if (c == static_cast<unsigned char>(*p)) return true;
  return false;
}

}  // namespace

std::string UrlEncodeFileName(const std::string& name) {
  static const char* const hex = "0123456789ABCDEF";
  std::string out;
  out.reserve(name.size());
  for (const char ch : name) {
    const auto c = static_cast<unsigned char>(ch);
    if (UrlSafe(c)) {
      out += ch;
    } else {
      out += '%';
      out += hex[c >> 4];
      out += hex[c & 15];
    }
  }
  return out;
}

namespace {

// Windows-1252 bytes 0x80..0x9F; 0 marks the five unassigned ones.
constexpr std::uint16_t Cp1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

constexpr std::uint32_t ReplacementCharacter = 0xFFFD;

std::uint32_t Cp1252ToCodePoint(unsigned char byte) {
  if (byte >= 0xA0) return byte;
  const std::uint16_t mapped = Cp1252High[byte - 0x80];
  return mapped ? mapped : ReplacementCharacter;
}

// Length of the UTF-8 sequence at text[i] (0 when it is not a valid one) and
// its code point.
std::size_t DecodeUtf8(const std::string& text, std::size_t i, std::uint32_t& cp) {
  const auto lead = static_cast<unsigned char>(text[i]);
  std::size_t len = lead >= 0xF0 && lead <= 0xF4 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 ? 2 : 0;
  if (lead >= 0xF5) len = 0;
  if (len == 0 || len > text.size() - i) return 0;
  cp = lead & (0x7F >> len);
  for (std::size_t k = 1; k < len; ++k) {
    const auto c = static_cast<unsigned char>(text[i + k]);
    if ((c & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (c & 0x3F);
  }
  const std::uint32_t minimum[5] = {0, 0, 0x80, 0x800, 0x10000};
  if (cp < minimum[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  return len;
}

}  // namespace

std::string AsciiHtml(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte < 0x80) {
      out += text[i++];
      continue;
    }
    std::uint32_t cp = 0;
    const std::size_t len = DecodeUtf8(text, i, cp);
    if (len == 0) cp = Cp1252ToCodePoint(byte);
    if (cp >= 0x80 && cp <= 0x9F) cp = ReplacementCharacter;
    out += "&#" + std::to_string(cp) + ";";
    i += len ? len : 1;
  }
  return out;
}

std::string HtmlFileText(const std::vector<std::string>& lines) { return AsciiHtml(CrLfText(lines)); }
