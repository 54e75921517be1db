#include "app/export/htmltable.h"

#include <cctype>
#include <climits>
#include <cmath>
#include <cstdint>
#include <utility>

#include "app/common/atomicfile.h"
#include "app/export/alttext.h"
#include "app/export/csscolor.h"

const char* PageStyleName(TPageStyle style) {
  switch (style) {
    case TPageStyle::Html5: return "html5";
    case TPageStyle::Email: return "email";
    case TPageStyle::Fluid: return "fluid";
    case TPageStyle::Classic: break;
  }
  return "classic";
}

bool PageStyleNamed(const std::string& name, TPageStyle& style) {
  for (const TPageStyle candidate : PageStyles)
    if (name == PageStyleName(candidate)) {
      style = candidate;
      return true;
    }
  return false;
}

namespace {

std::string MarkupName(const THtmlOptions& options, const char* name) {
  return options.UpperCase ? std::string(name) : LowerAscii(name);
}

// A quoted attribute with a leading blank; the value is markup-safe already.
std::string QuotedAttribute(const THtmlOptions& options, const char* name, const std::string& value) {
  const char quote = options.DoubleQuote ? '"' : '\'';
  return " " + MarkupName(options, name) + "=" + quote + value + quote;
}

// A share in ten-thousandths of a percent as CSS writes it: "15.1563",
// "21.875", "100".
std::string PercentText(std::int64_t share) {
  std::string text = std::to_string(share / 10000);
  std::string decimals = std::to_string(10000 + share % 10000).substr(1);
  while (!decimals.empty() && decimals.back() == '0') decimals.pop_back();
  if (!decimals.empty()) text += "." + decimals;
  return text;
}

// The table attributes mail clients honour, which CSS does not replace in all of them.
std::string MailTableStart(const THtmlOptions& options, const std::string& width) {
  return "<" + MarkupName(options, "TABLE") + QuotedAttribute(options, "ROLE", "presentation") +
         QuotedAttribute(options, "WIDTH", width) + QuotedAttribute(options, "BORDER", "0") +
         QuotedAttribute(options, "CELLPADDING", "0") + QuotedAttribute(options, "CELLSPACING", "0");
}

// A srcset candidate ends at a blank and a list of them is split at commas,
// which a file name may hold.
std::string SrcsetUrl(const std::string& baseUrl, const std::string& name) {
  std::string url;
  for (const char c : SliceUrl(baseUrl, name)) url += c == ',' ? std::string("%2C") : std::string(1, c);
  return url;
}

}  // namespace

THtmlTable::THtmlTable(THtmlOptions options, std::vector<int> columnWidths, bool columnGroup,
                       std::vector<int> rowHeights)
    : FOptions(std::move(options)),
      FColumnWidths(std::move(columnWidths)),
      FColumnGroup(columnGroup),
      FRowHeights(std::move(rowHeights)),
      FQuote(FOptions.DoubleQuote ? '"' : '\'') {}

std::string THtmlTable::Name(const char* name) const { return MarkupName(FOptions, name); }

std::string THtmlTable::Attribute(const char* name, const std::string& value) const {
  return QuotedAttribute(FOptions, name, value);
}

std::string THtmlTable::TableStartLine() const {
  const std::string width = std::to_string(TotalWidth());
  const std::string centre = FOptions.Centred ? ";margin:0 auto" : "";
  switch (FOptions.Style) {
    case TPageStyle::Classic:
      break;
    case TPageStyle::Html5:
      return "<" + Name("TABLE") + Attribute("ROLE", "presentation") +
             Attribute("STYLE", "border-collapse:collapse" + centre) + ">";
    case TPageStyle::Email: {
      const std::string table = Hybrid() ? MailTableStart(FOptions, "100%") +
                                               Attribute("STYLE", "border-collapse:collapse;max-width:" + width +
                                                                      "px" + centre)
                                         : MailTableStart(FOptions, width) +
                                               Attribute("STYLE", "border-collapse:collapse" + centre);
      if (!MsoTable()) return table + ">";
      // Outlook for Windows takes the width of the table's CSS as it comes,
      // and ignores max-width and automatic margins: the table it alone
      // reads holds it to the design's width, and centres it.
      return "<!--[if mso]>" + MailTableStart(FOptions, width) +
             (FOptions.Centred ? Attribute("ALIGN", "center") : "") + "><" + Name("TR") + "><" + Name("TD") +
             "><![endif]-->" + table + ">";
    }
    case TPageStyle::Fluid:
      // The inner box lets every image of a row take its height from the
      // same width (100cqw), so that the images of a row end at the same
      // place at any width; heights taken from each image's own width
      // differ by rounding and leave hairlines of background. A box that
      // answers such queries has no width of its own to give a page that
      // sizes it by its content (a table cell, a float): the canvas of the
      // design's width and no height lends the outer box that width, and
      // gives way where the page is narrower, as an image does.
      return "<" + Name("DIV") + Attribute("STYLE", "max-width:" + width + "px" + centre) + "><" + Name("CANVAS") +
             Attribute("WIDTH", width) + Attribute("HEIGHT", "0") + Attribute("STYLE", "display:block;max-width:100%") +
             "></" + Name("CANVAS") + "><" + Name("DIV") + Attribute("STYLE", "container-type:inline-size") + "><" +
             Name("TABLE") + Attribute("ROLE", "presentation") +
             Attribute("STYLE", "border-collapse:collapse;table-layout:fixed;width:100%") + ">";
  }
  return Name("<TABLE CELLSPACING = 0 CELLPADDING = 0 BORDER = 0>");
}

std::string THtmlTable::ColumnGroupLine() const {
  if (!FColumnGroup) return "";
  std::string line = "<" + Name("COLGROUP") + ">";
  for (std::size_t i = 0; i < FColumnWidths.size(); ++i) {
    const std::string width = std::to_string(FColumnWidths[i]);
    line += "<" + Name("COL");
    switch (FOptions.Style) {
      case TPageStyle::Classic: line += " " + Name("WIDTH") + "=" + width; break;
      case TPageStyle::Email:
        line += Attribute("WIDTH", width);
        if (Hybrid()) line += Attribute("STYLE", "width:" + FluidWidth(int(i)) + "%");
        break;
      case TPageStyle::Html5: line += Attribute("STYLE", "width:" + width + "px"); break;
      case TPageStyle::Fluid: line += Attribute("STYLE", "width:" + FluidWidth(int(i)) + "%"); break;
    }
    line += ">";
  }
  return line + "</" + Name("COLGROUP") + ">";
}

std::string THtmlTable::TableEndLine() const {
  if (MsoTable()) return Name("</TABLE>") + "<!--[if mso]>" + Name("</TD></TR></TABLE>") + "<![endif]-->";
  return Name(FOptions.Style == TPageStyle::Fluid ? "</TABLE></DIV></DIV>" : "</TABLE>");
}

bool THtmlTable::Hybrid() const { return FOptions.Style == TPageStyle::Email && !FOptions.EmailFixedWidth; }

bool THtmlTable::MsoTable() const { return Hybrid() || (FOptions.Style == TPageStyle::Email && FOptions.Centred); }

std::int64_t THtmlTable::TotalWidth() const {
  std::int64_t total = 0;
  for (const int w : FColumnWidths) total += w;
  return total;
}

TSliceTag THtmlTable::Tag(const THtmlSlice& slice) const {
  TSliceTag tag;
  tag.FOptions = FOptions;
  const std::string src = EscapeAttribute(SliceUrl(FOptions.BaseUrl, slice.Name));
  std::string srcset;
  if (!slice.Name2x.empty())
    srcset = EscapeAttribute(SrcsetUrl(FOptions.BaseUrl, slice.Name) + " 1x, " +
                             SrcsetUrl(FOptions.BaseUrl, slice.Name2x) + " 2x");
  const std::string width = std::to_string(slice.Width);
  const std::string height = std::to_string(slice.Height);
  if (FOptions.Style == TPageStyle::Classic) {
    tag.FPrefix = "<" + Name("IMG") + " " + Name("SRC") + "=" + FQuote + src + FQuote;
    if (!srcset.empty()) tag.FPrefix += Attribute("SRCSET", srcset);
    tag.FPrefix += " " + Name("WIDTH") + "=" + width + " " + Name("HEIGHT") + "=" + height;
    return tag;
  }
  tag.FSlice = slice;
  tag.FPrefix = "<" + Name("IMG") + Attribute("SRC", src);
  if (!srcset.empty()) tag.FPrefix += Attribute("SRCSET", srcset);
  // Mail clients that turn a CSS height into a minimum would keep a height
  // attribute as it is, and the scaled image out of shape.
  tag.FPrefix += Attribute("WIDTH", width) + (Hybrid() ? "" : Attribute("HEIGHT", height));
  if (FOptions.Style == TPageStyle::Email) tag.FSuffix = Attribute("BORDER", "0");
  tag.FCss = "display:block";
  // Browsers without container units keep height:auto.
  if (FOptions.Style == TPageStyle::Fluid) tag.FCss += ";width:100%;height:auto;height:" + FluidHeight(slice.Height);
  // The ratio keeps the cell's shape where images are blocked: a blocked
  // image is a box of its ALT text, which would size the row otherwise.
  if (Hybrid()) tag.FCss += ";width:100%;height:auto;aspect-ratio:" + width + "/" + height + ";overflow:hidden";
  // A text of a fixed size in a cell that shrinks would wrap out of it on a phone.
  const std::int64_t total = TotalWidth();
  const bool shrinks = (Hybrid() || FOptions.Style == TPageStyle::Fluid) && total > SmallestScreen;
  tag.FAltWidth = shrinks ? int(std::max<std::int64_t>(1, slice.Width * SmallestScreen / total)) : slice.Width;
  tag.FAltHeight = shrinks ? int(std::max<std::int64_t>(1, slice.Height * SmallestScreen / total)) : slice.Height;
  return tag;
}

// The height of a fluid cell: its share of the width the table has.
std::string THtmlTable::FluidHeight(int height) const {
  return "calc(100cqw*" + std::to_string(height) + "/" + std::to_string(TotalWidth()) + ")";
}

void THtmlTable::BeginRow() {
  FRow = "<" + Name("TR");
  if (FRowCount < int(FRowHeights.size())) {
    const std::string height = std::to_string(FRowHeights[std::size_t(FRowCount)]);
    switch (FOptions.Style) {
      case TPageStyle::Classic: FRow += " " + Name("HEIGHT") + "=" + height; break;
      case TPageStyle::Email:
        // The scaling rows take their heights from their images.
        if (!Hybrid()) FRow += Attribute("HEIGHT", height) + Attribute("STYLE", "height:" + height + "px");
        break;
      case TPageStyle::Html5: FRow += Attribute("STYLE", "height:" + height + "px"); break;
      case TPageStyle::Fluid:
        FRow += Attribute("STYLE", "height:" + FluidHeight(FRowHeights[std::size_t(FRowCount)]));
        break;
    }
  }
  FRow += ">";
  FCellCount = 0;
  ++FRowCount;
}

std::string THtmlTable::Spans(const THtmlSlice& slice) const {
  std::string spans;
  const auto span = [&](const char* name, int count) {
    if (count <= 1) return;
    spans += FOptions.Style == TPageStyle::Classic ? " " + Name(name) + "=" + std::to_string(count)
                                                   : Attribute(name, std::to_string(count));
  };
  span("COLSPAN", slice.ColumnSpan);
  span("ROWSPAN", slice.RowSpan);
  return spans;
}

// An empty cell takes its size and colour from its own attributes and
// style: nothing inside gives it any.
std::string THtmlTable::CellStart(const THtmlSlice& slice) const {
  const std::string open = "<" + Name("TD") + Spans(slice);
  const std::string width = std::to_string(slice.Width), height = std::to_string(slice.Height);
  const std::string color = CssColor(slice.Average);
  const std::string empty = slice.Empty ? ";height:" + height + "px" : "";
  switch (FOptions.Style) {
    case TPageStyle::Classic:
      break;
    case TPageStyle::Html5:
      return open +
             Attribute("STYLE", "padding:0" + (slice.Empty ? ";width:" + width + "px" + empty + ";background:" + color : "")) +
             ">";
    case TPageStyle::Email:
      if (Hybrid())
        return open + Attribute("WIDTH", width) + Attribute("BGCOLOR", color) +
               Attribute("STYLE", "padding:0;width:" + FluidWidth(slice.Place, slice.ColumnSpan) + "%") + ">";
      // Mail readers that drop empty cells keep one holding a blank of no size.
      return open + Attribute("WIDTH", width) + (slice.Empty ? Attribute("HEIGHT", height) : "") +
             Attribute("BGCOLOR", color) +
             Attribute("STYLE", "padding:0" + (slice.Empty ? empty + ";font-size:0;line-height:0" : "")) + ">";
    case TPageStyle::Fluid:
      return open +
             Attribute("STYLE", "padding:0;width:" + FluidWidth(slice.Place, slice.ColumnSpan) + "%" +
                                    (slice.Empty ? ";height:" + FluidHeight(slice.Height) + ";background:" + color : "")) +
             ">";
  }
  if (!slice.Empty) return open + ">";
  return open + " " + Name("WIDTH") + "=" + width + " " + Name("HEIGHT") + "=" + height + " " + Name("BGCOLOR") +
         "=" + color + ">";
}

// A column's share of the table in percent, to four decimals. The shares
// are taken from the rounded places of the column edges, so that they add
// up to exactly 100 (rounded one by one, three thirds would not).
std::string THtmlTable::FluidWidth(int place, int span) const {
  const std::int64_t total = TotalWidth();
  std::int64_t before = 0;
  for (std::size_t i = 0; i < FColumnWidths.size() && int(i) < place; ++i) before += FColumnWidths[i];
  if (total <= 0 || place < 0 || span < 1 || std::size_t(place) + std::size_t(span) > FColumnWidths.size())
    return "0";
  std::int64_t after = before;
  for (int i = place; i < place + span; ++i) after += FColumnWidths[std::size_t(i)];
  const auto edge = [total](std::int64_t x) { return (x * 1000000 + total / 2) / total; };
  return PercentText(edge(after) - edge(before));  // millionths: 1000000 is 100 %
}

void THtmlTable::AddCell(const THtmlSlice& slice, const std::string& cellCode) {
  FRow += CellStart(slice) + cellCode + "</" + Name("TD") + ">";
  ++FCellCount;
}

void THtmlTable::AddEmptyCell(const THtmlSlice& slice) {
  THtmlSlice empty = slice;
  empty.Empty = true;
  AddCell(empty, EmptyCellCode(empty));
}

// Mail readers that drop empty cells keep one holding a blank of no size.
// A scaling cell has no height of its own: the padding of its box, a share
// of the cell's width, gives it its shape at any width; Outlook for
// Windows, which knows no such padding, reads a fixed height instead.
std::string THtmlTable::EmptyCellCode(const THtmlSlice& slice) const {
  if (FOptions.Style != TPageStyle::Email) return "";
  if (!Hybrid()) return "&nbsp;";
  const std::int64_t width = std::max(slice.Width, 1);
  return "<!--[if mso]><" + Name("TABLE") + Attribute("ROLE", "presentation") + Attribute("BORDER", "0") +
         Attribute("CELLPADDING", "0") + Attribute("CELLSPACING", "0") + "><" + Name("TR") + "><" + Name("TD") +
         Attribute("HEIGHT", std::to_string(slice.Height)) + Attribute("STYLE", "font-size:0;line-height:0") +
         ">&nbsp;</" + Name("TD") + "></" + Name("TR") + "></" + Name("TABLE") + "><![endif]--><" + Name("DIV") +
         Attribute("STYLE", "padding-top:" + PercentText((std::int64_t(slice.Height) * 1000000 + width / 2) / width) +
                                "%;font-size:0;line-height:0;mso-hide:all") +
         ">&nbsp;</" + Name("DIV") + ">";
}

std::string THtmlTable::EndRow() const { return FRow + "</" + Name("TR") + ">"; }

std::string TSliceTag::Code(const std::string& href, const std::string& target,
                            const std::string& alt) const {
  if (FOptions.Style == TPageStyle::Classic) return UpdateResultingCode(FPrefix, href, target, alt);
  std::string link;
  if (!href.empty()) {
    link = "<" + MarkupName(FOptions, "A") + QuotedAttribute(FOptions, "HREF", EscapeAttribute(href));
    if (!target.empty()) link += QuotedAttribute(FOptions, "TARGET", EscapeAttribute(target));
    link += ">";
  }
  std::string css = FCss;
  if (FSlice.AltStyle && !alt.empty()) css += ";" + AltTextStyle(FAltWidth, FAltHeight, FSlice.Average, alt);
  std::string code = link + FPrefix + QuotedAttribute(FOptions, "ALT", EscapeAttribute(alt)) + FSuffix +
                     QuotedAttribute(FOptions, "STYLE", css) + ">";
  if (!link.empty()) code += "</" + MarkupName(FOptions, "A") + ">";
  return code;
}

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

// What a URL holds as it is: unreserved and reserved characters, and the
// percent sign of escapes already made.
bool UrlKeeps(unsigned char c) {
  if (UrlSafe(c)) return true;
  for (const char* p = ":/?#[]&'%"; *p; ++p)
    if (c == static_cast<unsigned char>(*p)) return true;
  return false;
}

bool Blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

}  // namespace

std::string CleanBaseUrl(const std::string& baseUrl) {
  static const char* const hex = "0123456789ABCDEF";
  std::size_t first = 0, end = baseUrl.size();
  while (first < end && Blank(baseUrl[first])) ++first;
  while (end > first && Blank(baseUrl[end - 1])) --end;
  std::string out;
  for (std::size_t i = first; i < end; ++i) {
    const auto c = static_cast<unsigned char>(baseUrl[i]);
    // A percent sign that starts no escape is a literal one ("50%off/"):
    // kept bare it would make the address invalid.
    const bool escape = c == '%' && i + 2 < end && std::isxdigit(static_cast<unsigned char>(baseUrl[i + 1])) &&
                        std::isxdigit(static_cast<unsigned char>(baseUrl[i + 2]));
    if (UrlKeeps(c) && (c != '%' || escape)) {
      out += char(c);
    } else {
      out += '%';
      out += hex[c >> 4];
      out += hex[c & 15];
    }
  }
  return out;
}

std::string BaseUrlProblem(const std::string& baseUrl) {
  if (CleanBaseUrl(baseUrl).find_first_of("?#") == std::string::npos) return "";
  return "The base URL \"" + baseUrl +
         "\" has a query or a fragment ('?' or '#'); the slice names cannot follow it.";
}

std::string SliceUrl(const std::string& baseUrl, const std::string& name) {
  const std::string base = CleanBaseUrl(baseUrl);
  const std::string encoded = UrlEncodeFileName(name);
  if (base.empty()) return encoded;
  return base.back() == '/' ? base + encoded : base + "/" + encoded;
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
