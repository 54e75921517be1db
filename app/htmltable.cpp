#include "app/htmltable.h"

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
  return "<" + Name("IMG") + " " + Name("SRC") + "=" + FQuote + sliceName + FQuote + " " +
         Name("WIDTH") + "=" + std::to_string(width) + " " + Name("HEIGHT") + "=" +
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
    link = "<A HREF=\"" + href + "\"";
    if (!target.empty()) link += " TARGET=\"" + target + "\"";
    link += ">";
  }
  const std::string altText = alt.empty() ? "" : " ALT=\"" + alt + "\"";
  std::string code = link + prefix + altText;
  if (!link.empty()) code += " BORDER=0";
  code += ">";
  if (!link.empty()) code += "</A>";
  return code;
}
