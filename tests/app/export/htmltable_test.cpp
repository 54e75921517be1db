#include "app/export/htmltable.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct TSlice {
  const char* Name;
  int Width, Height;
  TRGB Average;
};

// The worked 2 x 2 export to index.html, built through the table builder.
std::vector<std::string> WorkedExample(const THtmlOptions& options) {
  const std::vector<std::vector<TSlice>> rows = {
      {{"index_1_1.jpg", 100, 50, RGBColor(255, 128, 0)}, {"index_2_1.jpg", 200, 50, RGBColor(1, 2, 3)}},
      {{"index_1_2.jpg", 100, 150, RGBColor(0xAB, 0xCD, 0xEF)}, {"index_2_2.jpg", 200, 150, 0}}};
  THtmlTable table(options, {100, 200});
  std::vector<std::string> lines{table.TableStartLine()};
  for (const auto& row : rows) {
    table.BeginRow();
    int place = 0;
    for (const TSlice& s : row) {
      const THtmlSlice slice{s.Name, "", s.Width, s.Height, place++, s.Average};
      table.AddCell(slice, table.Tag(slice).PlainCode());
    }
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
  EXPECT_EQ(WorkedExample({.UpperCase = true, .DoubleQuote = true}),
            (std::vector<std::string>{
                "<TABLE CELLSPACING = 0 CELLPADDING = 0 BORDER = 0>",
                "<TR><TD><IMG SRC=\"index_1_1.jpg\" WIDTH=100 HEIGHT=50></TD><TD><IMG "
                "SRC=\"index_2_1.jpg\" WIDTH=200 HEIGHT=50></TD></TR>",
                "<TR><TD><IMG SRC=\"index_1_2.jpg\" WIDTH=100 HEIGHT=150></TD><TD><IMG "
                "SRC=\"index_2_2.jpg\" WIDTH=200 HEIGHT=150></TD></TR>",
                "</TABLE>"}));
}

TEST(HtmlTable, WorkedExampleMixedOptions) {
  const auto upperSingle = WorkedExample({.UpperCase = true});
  EXPECT_EQ(upperSingle[0], "<TABLE CELLSPACING = 0 CELLPADDING = 0 BORDER = 0>");
  EXPECT_EQ(upperSingle[1],
            "<TR><TD><IMG SRC='index_1_1.jpg' WIDTH=100 HEIGHT=50></TD><TD><IMG "
            "SRC='index_2_1.jpg' WIDTH=200 HEIGHT=50></TD></TR>");
  EXPECT_EQ(upperSingle[3], "</TABLE>");
  const auto lowerDouble = WorkedExample({.DoubleQuote = true});
  EXPECT_EQ(lowerDouble[0], "<table cellspacing = 0 cellpadding = 0 border = 0>");
  EXPECT_EQ(lowerDouble[2],
            "<tr><td><img src=\"index_1_2.jpg\" width=100 height=150></td><td><img "
            "src=\"index_2_2.jpg\" width=200 height=150></td></tr>");
  EXPECT_EQ(lowerDouble[3], "</table>");
}

TEST(HtmlTable, SliceNameKeepsItsLetterCase) {
  THtmlTable table({});
  EXPECT_EQ(table.Tag({"Shop_1_1.JPG", "", 3, 4}).Prefix(), "<img src='Shop_1_1.JPG' width=3 height=4");
}

TEST(HtmlTable, TenColumnsMakeOneRowLine) {
  THtmlTable table({});
  table.BeginRow();
  EXPECT_FALSE(table.RowHasCells());
  for (int c = 0; c < 10; ++c) table.AddCell({}, "x");
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

// Images as blocks with an (empty) ALT text, CSS instead of the table's
// spacing attributes; every value quoted with the chosen quote.
TEST(HtmlTable, Html5WorkedExample) {
  EXPECT_EQ(WorkedExample({.DoubleQuote = true, .Style = TPageStyle::Html5}),
            (std::vector<std::string>{
                "<table role=\"presentation\" style=\"border-collapse:collapse\">",
                "<tr><td style=\"padding:0\"><img src=\"index_1_1.jpg\" width=\"100\" height=\"50\" alt=\"\" "
                "style=\"display:block\"></td><td style=\"padding:0\"><img src=\"index_2_1.jpg\" width=\"200\" "
                "height=\"50\" alt=\"\" style=\"display:block\"></td></tr>",
                "<tr><td style=\"padding:0\"><img src=\"index_1_2.jpg\" width=\"100\" height=\"150\" alt=\"\" "
                "style=\"display:block\"></td><td style=\"padding:0\"><img src=\"index_2_2.jpg\" width=\"200\" "
                "height=\"150\" alt=\"\" style=\"display:block\"></td></tr>",
                "</table>"}));
}

// Mail readers get the table attributes they honour, each cell its width
// and its slice's average colour, and border="0" on every image; with
// EmailFixedWidth, the table of the design's width at every screen width.
TEST(HtmlTable, EmailWorkedExample) {
  const auto lines = WorkedExample({.DoubleQuote = true, .Style = TPageStyle::Email, .EmailFixedWidth = true});
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0],
            "<table role=\"presentation\" width=\"300\" border=\"0\" cellpadding=\"0\" cellspacing=\"0\" "
            "style=\"border-collapse:collapse\">");
  EXPECT_EQ(lines[1],
            "<tr><td width=\"100\" bgcolor=\"#ff8000\" style=\"padding:0\"><img src=\"index_1_1.jpg\" "
            "width=\"100\" height=\"50\" alt=\"\" border=\"0\" style=\"display:block\"></td><td width=\"200\" "
            "bgcolor=\"#010203\" style=\"padding:0\"><img src=\"index_2_1.jpg\" width=\"200\" height=\"50\" "
            "alt=\"\" border=\"0\" style=\"display:block\"></td></tr>");
}

// Columns as shares of a table no wider than the picture, in a box whose
// width gives every image of a row the same height.
TEST(HtmlTable, FluidWorkedExample) {
  const auto lines = WorkedExample({.DoubleQuote = true, .Style = TPageStyle::Fluid});
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0],
            "<div style=\"max-width:300px\"><canvas width=\"300\" height=\"0\" style=\"display:block;max-width:100%\">"
            "</canvas><div style=\"container-type:inline-size\"><table role=\"presentation\" "
            "style=\"border-collapse:collapse;table-layout:fixed;width:100%\">");
  EXPECT_EQ(lines[1],
            "<tr><td style=\"padding:0;width:33.3333%\"><img src=\"index_1_1.jpg\" width=\"100\" height=\"50\" "
            "alt=\"\" style=\"display:block;width:100%;height:auto;height:calc(100cqw*50/300)\"></td><td "
            "style=\"padding:0;width:66.6667%\"><img src=\"index_2_1.jpg\" width=\"200\" height=\"50\" alt=\"\" "
            "style=\"display:block;width:100%;height:auto;height:calc(100cqw*50/300)\"></td></tr>");
  EXPECT_EQ(lines[3], "</table></div></div>");
}

// Rounded one by one, three thirds would make 99.9999 %: the shares come
// from rounded column edges and always make 100.
TEST(HtmlTable, FluidSharesAddUpToAHundred) {
  const auto shares = [](std::vector<int> widths) {
    THtmlTable table({.Style = TPageStyle::Fluid}, widths);
    std::string all;
    table.BeginRow();
    for (int place = 0; place < int(widths.size()); ++place) table.AddCell({"x", "", 1, 1, place}, "");
    const std::string row = table.EndRow();
    for (std::size_t at = row.find("width:"); at != std::string::npos; at = row.find("width:", at + 1))
      all += row.substr(at + 6, row.find('%', at) - at - 6) + " ";
    return all;
  };
  EXPECT_EQ(shares({1, 1, 1}), "33.3333 33.3334 33.3333 ");
  EXPECT_EQ(shares({97, 214, 189, 140}), "15.1563 33.4375 29.5312 21.875 ");
  EXPECT_EQ(shares({640}), "100 ");
  EXPECT_EQ(shares({1, 2147483646}), "0 100 ");
}

// The base URL and the slice name meet at one slash, whatever the base
// ends with; what a URL cannot hold is encoded, what it can is kept.
TEST(SliceUrl, BaseJoinedWithTheEncodedName) {
  EXPECT_EQ(SliceUrl("", "a b_1_1.jpg"), "a%20b_1_1.jpg");
  EXPECT_EQ(SliceUrl("https://cdn.example.com/img", "a_1_1.jpg"), "https://cdn.example.com/img/a_1_1.jpg");
  EXPECT_EQ(SliceUrl("https://cdn.example.com/img/", "a_1_1.jpg"), "https://cdn.example.com/img/a_1_1.jpg");
  EXPECT_EQ(SliceUrl("https://cdn.example.com", "a_1_1.jpg"), "https://cdn.example.com/a_1_1.jpg");
  EXPECT_EQ(SliceUrl("/", "a_1_1.jpg"), "/a_1_1.jpg");
  EXPECT_EQ(SliceUrl("  //cdn.example.com/m\t", "x:y.jpg"), "//cdn.example.com/m/x%3Ay.jpg");
  EXPECT_EQ(SliceUrl("https://b\xC3\xBC" "cher.example/a b/%7Email/\"<x>\"", "\xC3\xA9.png"),
            "https://b%C3%BCcher.example/a%20b/%7Email/%22%3Cx%3E%22/%C3%A9.png");
  EXPECT_EQ(CleanBaseUrl(" \t "), "");
  // A percent sign that starts no escape stands for itself.
  EXPECT_EQ(SliceUrl("/50%off/%mp;/%4", "a.png"), "/50%25off/%25mp;/%254/a.png");
  EXPECT_EQ(SliceUrl("/%7e/%", "a.png"), "/%7e/%25/a.png");
}

TEST(SliceUrl, QueryOrFragmentIsRefused) {
  EXPECT_EQ(BaseUrlProblem("https://x.example/a;b/c,d/"), "");
  EXPECT_NE(BaseUrlProblem("https://x.example/img.php?file="), "");
  EXPECT_NE(BaseUrlProblem("https://x.example/#top"), "");
}

// With a base, '&' and quotes of the address are character references in
// the attribute; a retina slice names both files, the comma of a name
// encoded where a srcset would split at it.
TEST(HtmlTable, BaseUrlAndRetinaInTheImageTag) {
  const THtmlSlice slice{"a,b_1_1.png", "a,b_1_1@2x.png", 50, 20};
  EXPECT_EQ(THtmlTable({.BaseUrl = "https://x.example/p&q's/"}).Tag(slice).Prefix(),
            "<img src='https://x.example/p&amp;q&#39;s/a,b_1_1.png' srcset='https://x.example/p&amp;q&#39;s/"
            "a%2Cb_1_1.png 1x, https://x.example/p&amp;q&#39;s/a%2Cb_1_1@2x.png 2x' width=50 height=20");
}

// The per-slice dialog's code in the new styles: the link in the tag case
// and quote of the options, the ALT text always there, no BORDER.
TEST(SliceTag, LinkAndAltInTheNewStyles) {
  const THtmlSlice slice{"i_1_1.jpg", "", 10, 20};
  const TSliceTag html5 = THtmlTable({.DoubleQuote = true, .Style = TPageStyle::Html5}).Tag(slice);
  EXPECT_EQ(html5.Code("page2.html", "main", "Logo"),
            "<a href=\"page2.html\" target=\"main\"><img src=\"i_1_1.jpg\" width=\"10\" height=\"20\" "
            "alt=\"Logo\" style=\"display:block\"></a>");
  const TSliceTag email =
      THtmlTable({.UpperCase = true, .Style = TPageStyle::Email, .EmailFixedWidth = true}).Tag(slice);
  EXPECT_EQ(email.Code("a'b", "", "say \"hi\" & <bye>"),
            "<A HREF='a&#39;b'><IMG SRC='i_1_1.jpg' WIDTH='10' HEIGHT='20' ALT='say &quot;hi&quot; &amp; "
            "&lt;bye&gt;' BORDER='0' STYLE='display:block'></A>");
  // Classic keeps its own code exactly.
  const TSliceTag classic = THtmlTable({}).Tag(slice);
  EXPECT_EQ(classic.Code("x", "", "Logo"), UpdateResultingCode(classic.Prefix(), "x", "", "Logo"));
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
  EXPECT_EQ(UpdateResultingCode(Prefix, "", "", ""), THtmlTable({}).Tag({"index_1_1.jpg", "", 100, 50}).PlainCode());
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
