#pragma once
// The HTML table fragment that puts the slices back together.

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
  // The image tag of one slice without its closing ">".
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
// the user's texts go in as typed.
std::string UpdateResultingCode(const std::string& prefix, const std::string& href,
                                const std::string& target, const std::string& alt);
