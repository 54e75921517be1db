#pragma once
// The HTML table fragment that puts the slices back together. The fragment
// stays well-formed whatever the names and texts: user texts are escaped,
// file names URL-encoded, and the file is pure ASCII so that it works pasted
// into a page of any character set. Text without special characters is
// written exactly as typed.

#include <string>
#include <vector>

struct THtmlOptions {
  bool UpperCase = false;    // markup names as written instead of lower case
  bool DoubleQuote = false;  // quote character around the SRC value
};

// Lower-cases the letters A to Z only.
std::string LowerAscii(std::string text);

// Builds the text of one export: table start, row lines, table end.
class THtmlTable {
 public:
  explicit THtmlTable(const THtmlOptions& options);

  std::string TableStartLine() const;
  std::string TableEndLine() const;
  // The image tag of one slice without its closing ">"; the name goes into
  // SRC URL-encoded.
  std::string ImgTagPrefix(const std::string& sliceName, int width, int height) const;
  // The cell code when no link or ALT text is wanted.
  std::string PlainCellCode(const std::string& prefix) const { return prefix + ">"; }

  void BeginRow();
  void AddCell(const std::string& cellCode);
  bool RowHasCells() const { return FCellCount > 0; }
  std::string EndRow() const;

 private:
  std::string Name(const char* name) const;

  THtmlOptions FOptions;
  char FQuote;
  std::string FRow;
  int FCellCount = 0;
};

// The cell code of the per-slice dialog: optional link (with target) around
// the image tag, optional ALT text. Always upper case and double quotes;
// the user's texts go in escaped as attribute values.
std::string UpdateResultingCode(const std::string& prefix, const std::string& href,
                                const std::string& target, const std::string& alt);

// An attribute value: &, <, >, " and ' as character references, tab, CR
// and LF as numeric ones, and other control characters as U+FFFD.
std::string EscapeAttribute(const std::string& text);

// A bare file name as a relative URL: every byte but letters, digits and
// -._~!$()*+,;=@ percent-encoded (a UTF-8 name thus byte by byte). The
// colon is encoded too, lest the name read as a URL scheme.
std::string UrlEncodeFileName(const std::string& name);

// Characters outside ASCII as numeric character references: UTF-8 is
// decoded; other bytes are taken as Windows-1252, the single-byte text of
// older files. The C1 controls (U+0080 to U+009F) become U+FFFD.
std::string AsciiHtml(const std::string& text);

// The bytes of the HTML file: every line followed by CR LF, pure ASCII.
std::string HtmlFileText(const std::vector<std::string>& lines);
