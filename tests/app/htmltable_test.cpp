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

TEST(UpdateResultingCode, UserTextsGoInAsTyped) {
  EXPECT_EQ(UpdateResultingCode("<IMG", "a\"b", "t<", "say \"hi\" & <bye>"),
            "<A HREF=\"a\"b\" TARGET=\"t<\"><IMG ALT=\"say \"hi\" & <bye>\" BORDER=0></A>");
}

}  // namespace
