#include "app/htmltable.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct TSlice {
  const char* Name;
  int Width, Height;
};

// The worked 2 x 2 export to index.html, built through the table builder.
std::vector<std::string> WorkedExample(const THtmlOptions& options) {
  const std::vector<std::vector<TSlice>> rows = {
      {{"index_1_1.jpg", 100, 50}, {"index_2_1.jpg", 200, 50}},
      {{"index_1_2.jpg", 100, 150}, {"index_2_2.jpg", 200, 150}}};
  THtmlTable table(options);
  std::vector<std::string> lines{table.TableStartLine()};
  for (const auto& row : rows) {
    table.BeginRow();
    for (const TSlice& s : row) table.AddCell(table.PlainCellCode(table.ImgTagPrefix(s.Name, s.Width, s.Height)));
    lines.push_back(table.EndRow());
  }
  lines.push_back(table.TableEndLine());
  return lines;
}

TEST(HtmlTable, WorkedExampleDefaultOptions) {
  EXPECT_EQ(WorkedExample({}),
            (std::vector<std::string>{
                "<table cellspacing = 0 cellpadding = 0 border = 0>",
                "<tr><td><img src='index_1_1.jpg' width=100 height=50></td><td><img "
                "src='index_2_1.jpg' width=200 height=50></td></tr>",
                "<tr><td><img src='index_1_2.jpg' width=100 height=150></td><td><img "
                "src='index_2_2.jpg' width=200 height=150></td></tr>",
                "</table>"}));
}

TEST(HtmlTable, WorkedExampleUpperCaseDoubleQuote) {
  EXPECT_EQ(WorkedExample({true, true}),
            (std::vector<std::string>{
                "<TABLE CELLSPACING = 0 CELLPADDING = 0 BORDER = 0>",
                "<TR><TD><IMG SRC=\"index_1_1.jpg\" WIDTH=100 HEIGHT=50></TD><TD><IMG "
                "SRC=\"index_2_1.jpg\" WIDTH=200 HEIGHT=50></TD></TR>",
                "<TR><TD><IMG SRC=\"index_1_2.jpg\" WIDTH=100 HEIGHT=150></TD><TD><IMG "
                "SRC=\"index_2_2.jpg\" WIDTH=200 HEIGHT=150></TD></TR>",
                "</TABLE>"}));
}

TEST(HtmlTable, WorkedExampleMixedOptions) {
  const auto upperSingle = WorkedExample({true, false});
  EXPECT_EQ(upperSingle[0], "<TABLE CELLSPACING = 0 CELLPADDING = 0 BORDER = 0>");
  EXPECT_EQ(upperSingle[1],
            "<TR><TD><IMG SRC='index_1_1.jpg' WIDTH=100 HEIGHT=50></TD><TD><IMG "
            "SRC='index_2_1.jpg' WIDTH=200 HEIGHT=50></TD></TR>");
  EXPECT_EQ(upperSingle[3], "</TABLE>");
  const auto lowerDouble = WorkedExample({false, true});
  EXPECT_EQ(lowerDouble[0], "<table cellspacing = 0 cellpadding = 0 border = 0>");
  EXPECT_EQ(lowerDouble[2],
            "<tr><td><img src=\"index_1_2.jpg\" width=100 height=150></td><td><img "
            "src=\"index_2_2.jpg\" width=200 height=150></td></tr>");
  EXPECT_EQ(lowerDouble[3], "</table>");
}

TEST(HtmlTable, SliceNameKeepsItsLetterCase) {
  THtmlTable table({});
  EXPECT_EQ(table.ImgTagPrefix("Shop_1_1.JPG", 3, 4), "<img src='Shop_1_1.JPG' width=3 height=4");
}

TEST(HtmlTable, TenColumnsMakeOneRowLine) {
  THtmlTable table({});
  table.BeginRow();
  EXPECT_FALSE(table.RowHasCells());
  for (int c = 0; c < 10; ++c) table.AddCell("x");
  EXPECT_TRUE(table.RowHasCells());
  std::string expected = "<tr>";
  for (int c = 0; c < 10; ++c) expected += "<td>x</td>";
  EXPECT_EQ(table.EndRow(), expected + "</tr>");
  table.BeginRow();
  EXPECT_EQ(table.EndRow(), "<tr></tr>");
}

TEST(HtmlTable, LowerAsciiTouchesOnlyAToZ) {
  EXPECT_EQ(LowerAscii("AZaz@[`{\xC4\xD6"), "azaz@[`{\xC4\xD6");
}

const char* const Prefix = "<img src='index_1_1.jpg' width=100 height=50";

TEST(UpdateResultingCode, LinkTargetAndAlt) {
  EXPECT_EQ(UpdateResultingCode(Prefix, "page2.html", "main", "Logo"),
            "<A HREF=\"page2.html\" TARGET=\"main\"><img src='index_1_1.jpg' width=100 height=50 "
            "ALT=\"Logo\" BORDER=0></A>");
}

TEST(UpdateResultingCode, AltOnlyHasNoLinkOrBorder) {
  EXPECT_EQ(UpdateResultingCode(Prefix, "", "", "Logo"),
            "<img src='index_1_1.jpg' width=100 height=50 ALT=\"Logo\">");
}

TEST(UpdateResultingCode, NothingTypedEqualsThePlainCell) {
  EXPECT_EQ(UpdateResultingCode(Prefix, "", "", ""), THtmlTable({}).PlainCellCode(Prefix));
}

TEST(UpdateResultingCode, TargetWithoutLinkIsNotWritten) {
  EXPECT_EQ(UpdateResultingCode(Prefix, "", "main", ""), std::string(Prefix) + ">");
}

TEST(UpdateResultingCode, LinkWithoutAlt) {
  EXPECT_EQ(UpdateResultingCode("<img", "x", "", ""), "<A HREF=\"x\"><img BORDER=0></A>");
}

// Quotes in a user text would end the attribute and open new ones.
TEST(UpdateResultingCode, UserTextsGoInEscaped) {
  EXPECT_EQ(UpdateResultingCode("<IMG", "a\"b", "t<", "say \"hi\" & <bye>"),
            "<A HREF=\"a&quot;b\" TARGET=\"t&lt;\"><IMG ALT=\"say &quot;hi&quot; &amp; &lt;bye&gt;\" "
            "BORDER=0></A>");
  EXPECT_EQ(UpdateResultingCode("<IMG", "", "", "x\" onerror=\"alert(1)"),
            "<IMG ALT=\"x&quot; onerror=&quot;alert(1)\">");
  // Single quotes end values written with --double-quote off, in a link as
  // in an ALT text.
  EXPECT_EQ(UpdateResultingCode("<IMG", "it's.html", "", "Bob's"),
            "<A HREF=\"it&#39;s.html\"><IMG ALT=\"Bob&#39;s\" BORDER=0></A>");
}

// The file is pure ASCII: what lies outside becomes numeric references.
TEST(AsciiHtml, Utf8BecomesNumericReferences) {
  EXPECT_EQ(AsciiHtml("plain <ascii>"), "plain <ascii>");
  EXPECT_EQ(AsciiHtml("caf\xC3\xA9 \xC3\xBF"), "caf&#233; &#255;");
  EXPECT_EQ(AsciiHtml("\xE2\x82\xAC \xE2\x80\x9Cq\xE2\x80\x9D \xC5\xB8"),
            "&#8364; &#8220;q&#8221; &#376;");
  // Nothing is lost to a single-byte code page any more.
  EXPECT_EQ(AsciiHtml("\xE4\xB8\xAD|\xF0\x9F\x98\x80|\xCE\xA9"), "&#20013;|&#128512;|&#937;");
}

TEST(AsciiHtml, InvalidUtf8IsReadAsWindows1252) {
  // Latin-1 text, a truncated sequence, an overlong form and a surrogate.
  EXPECT_EQ(AsciiHtml("\xE9t\xE9"), "&#233;t&#233;");
  EXPECT_EQ(AsciiHtml("a\xC3"), "a&#195;");
  EXPECT_EQ(AsciiHtml("\xC0\xAF"), "&#192;&#175;");
  EXPECT_EQ(AsciiHtml("\xED\xA0\x80"), "&#237;&#160;&#8364;");
  // Control characters of the upper range, the first and the last, and
  // bytes the code page lacks; the character after them is kept.
  EXPECT_EQ(AsciiHtml("\xC2\x80|\x81"), "&#65533;|&#65533;");
  EXPECT_EQ(AsciiHtml("\xC2\x9F|\xC2\xA0"), "&#65533;|&#160;");
}

}  // namespace
