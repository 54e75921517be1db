#pragma once
// The HTML table fragment that puts the slices back together. The fragment
// stays well-formed whatever the names and texts: user texts are escaped,
// file names URL-encoded, and the file is pure ASCII so that it works pasted
// into a page of any character set. Text without special characters is
// written exactly as typed.

#include <string>
#include <vector>

#include "app/common/text.h"
#include "pgraphic/core/types.h"

// How the table is written. The picture is the same in each; what differs
// is the kind of page it is pasted into.
//   classic: the fragment of old, for pages without a doctype (quirks mode).
//   html5:   for pages with <!DOCTYPE html>: images as blocks (no text
//            baseline under them), CSS instead of dropped attributes.
//   email:   html5 plus what mail clients honour: table attributes, cell
//            widths, border="0" and each cell's average colour for readers
//            that block images. The table scales down with the screen,
//            never above the design's width, and Outlook for Windows, which
//            ignores CSS widths, gets the fixed table through conditional
//            comments; EmailFixedWidth keeps the fixed table alone.
//   fluid:   html5 that scales down with its container, never above the
//            image's own width (in a box around the table).
enum class TPageStyle { Classic, Html5, Email, Fluid };
// The narrowest screen the tables that shrink are made for, in CSS pixels
// (the smallest phones): their ALT texts are sized to fit the cells there.
inline constexpr int SmallestScreen = 320;
inline constexpr TPageStyle PageStyles[] = {TPageStyle::Classic, TPageStyle::Html5,
                                            TPageStyle::Email, TPageStyle::Fluid};
// "classic", "html5", "email", "fluid": the names settings and command line use.
const char* PageStyleName(TPageStyle style);
// The style of a name; false when there is none of that name.
bool PageStyleNamed(const std::string& name, TPageStyle& style);

struct THtmlOptions {
  bool UpperCase = false;    // markup names as written instead of lower case
  bool DoubleQuote = false;  // quote character around the SRC value (every value but classic's numbers)
  TPageStyle Style = TPageStyle::Classic;
  std::string BaseUrl{};       // put before every slice name; empty: names relative to the page
  bool EmailFixedWidth = false;  // email: the table of the design's width at every screen width
  // Centred in its container, as a whole page has it (classic is centred
  // by the page's style: its table stays as of old).
  bool Centred = false;
};

// One slice as the table shows it.
struct THtmlSlice {
  std::string Name;    // its file name, without directory
  std::string Name2x;  // the same slice at twice the size for dense screens; empty when none
  int Width = 0;       // its size on the page
  int Height = 0;
  int Place = 0;       // its column's place in the table, from 0
  TRGB Average = 0;    // its average colour (email: the cell's colour while images are blocked)
  int ColumnSpan = 1;  // the table's columns and rows it covers
  int RowSpan = 1;
  bool Empty = false;  // no image: an empty cell of the average colour (AddEmptyCell)
  // An ALT text is styled to be read on Average where images are blocked
  // (every style but classic): see app/export/alttext.h.
  bool AltStyle = false;
};

// The image tag of one slice, which the per-slice dialog completes with a
// link, a target frame and ALT text.
class TSliceTag {
 public:
  // The image tag up to where the ALT text goes, without its closing ">".
  const std::string& Prefix() const { return FPrefix; }
  // The cell code; empty texts are left out (but the ALT attribute, which
  // the styles other than classic always write, empty for decoration). An
  // ALT text of a slice with AltStyle brings its style (AltTextStyle of
  // app/export/alttext.h).
  std::string Code(const std::string& href, const std::string& target, const std::string& alt) const;
  // The cell code when no link or ALT text is wanted.
  std::string PlainCode() const { return Code("", "", ""); }

 private:
  friend class THtmlTable;
  std::string FPrefix;
  std::string FSuffix;  // the attributes after the ALT text, but the style
  std::string FCss;     // the image's style, without the ALT text's
  THtmlSlice FSlice;
  THtmlOptions FOptions;
  // The cell's size the ALT text must fit: on the smallest screen for a table that shrinks.
  int FAltWidth = 0;
  int FAltHeight = 0;
};


// Builds the text of one export: table start, row lines, table end.
class THtmlTable {
 public:
  // columnWidths: the page widths of the table's columns, left to right;
  // the email and fluid styles size the table and its cells by them. Where
  // cells span columns or rows, a browser left to share a spanning cell's
  // size among them may share it otherwise than the grid does: with
  // columnGroup the table states every column's width, and rowHeights
  // (top to bottom, when given) go on the rows.
  explicit THtmlTable(THtmlOptions options, std::vector<int> columnWidths = {}, bool columnGroup = false,
                      std::vector<int> rowHeights = {});

  std::string TableStartLine() const;
  // The <colgroup> line after the table start, or empty when there is none.
  std::string ColumnGroupLine() const;
  std::string TableEndLine() const;
  // The image tag of a slice; names go into the addresses URL-encoded,
  // after the base URL when there is one.
  TSliceTag Tag(const THtmlSlice& slice) const;

  void BeginRow();
  void AddCell(const THtmlSlice& slice, const std::string& cellCode);
  // A cell without an image, keeping its size in quirks and standards
  // mode and in mail readers, its background the slice's average colour.
  void AddEmptyCell(const THtmlSlice& slice);
  bool RowHasCells() const { return FCellCount > 0; }
  std::string EndRow() const;

 private:
  std::string Name(const char* name) const;
  std::string Attribute(const char* name, const std::string& value) const;
  std::string CellStart(const THtmlSlice& slice) const;
  std::string Spans(const THtmlSlice& slice) const;
  std::string FluidWidth(int place, int span = 1) const;
  bool Hybrid() const;
  // email: Outlook for Windows reads a table of its own around the table.
  bool MsoTable() const;
  std::string EmptyCellCode(const THtmlSlice& slice) const;
  std::string FluidHeight(int height) const;
  std::int64_t TotalWidth() const;

  THtmlOptions FOptions;
  std::vector<int> FColumnWidths;
  bool FColumnGroup;
  std::vector<int> FRowHeights;
  char FQuote;
  std::string FRow;
  int FCellCount = 0;
  int FRowCount = 0;
};

// The classic cell code of the per-slice dialog: optional link (with
// target) around the image tag, optional ALT text. Always upper case and
// double quotes; the user's texts go in escaped as attribute values.
std::string UpdateResultingCode(const std::string& prefix, const std::string& href,
                                const std::string& target, const std::string& alt);

// An attribute value: &, <, >, " and ' as character references, tab, CR
// and LF as numeric ones, and other control characters as U+FFFD.
std::string EscapeAttribute(const std::string& text);

// A bare file name as a relative URL: every byte but letters, digits and
// -._~!$()*+,;=@ percent-encoded (a UTF-8 name thus byte by byte). The
// colon is encoded too, lest the name read as a URL scheme.
std::string UrlEncodeFileName(const std::string& name);

// A base URL as typed, made fit for an attribute: blanks around it dropped,
// bytes a URL cannot hold as they are (blanks, quotes, angle brackets,
// bytes beyond ASCII...) percent-encoded, the rest (percent escapes
// included) kept. Empty when there is no base.
std::string CleanBaseUrl(const std::string& baseUrl);
// Why a base URL cannot take slice names at its end (a query or a
// fragment), or empty when it can.
std::string BaseUrlProblem(const std::string& baseUrl);
// The address of a slice: the file name URL-encoded, after the base URL
// and a slash when there is a base (one slash, whether or not the base
// ends with one).
std::string SliceUrl(const std::string& baseUrl, const std::string& name);

// Characters outside ASCII as numeric character references: UTF-8 is
// decoded; other bytes are taken as Windows-1252, the single-byte text of
// older files. The C1 controls (U+0080 to U+009F) become U+FFFD.
std::string AsciiHtml(const std::string& text);

// The bytes of the HTML file: every line followed by CR LF, pure ASCII.
std::string HtmlFileText(const std::vector<std::string>& lines);
