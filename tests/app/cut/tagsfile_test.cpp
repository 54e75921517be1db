// The per-slice tags file of unattended export.

#include "app/cut/tagsfile.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "app/common/convert.h"

namespace {

std::string ErrorOf(const std::string& text) {
  try {
    ParseTags(text, "t.txt");
  } catch (const std::exception& e) {
    return e.what();
  }
  return "(parsed)";
}

TEST(TagsFile, FieldsLineEndsAndRepeats) {
  // A lone CR is no line end: it belongs to the text it stands in.
  const TTagMap tags = ParseTags("1\t1\ta.html\tmain\tLogo\r\n\n2\t1\n3\t-4\t\t\tSky\rBlue\r\n1\t1\tb.html", "t.txt");
  ASSERT_EQ(tags.size(), 3u);
  const TCellTags& first = tags.at({1, 1});
  EXPECT_EQ(first.Link, "b.html");  // a later line for the same cell wins
  EXPECT_EQ(first.Target, "");
  EXPECT_EQ(tags.at({2, 1}).Link, "");
  EXPECT_EQ(tags.at({3, -4}).Alt, "Sky\rBlue");
  EXPECT_FALSE(tags.at({3, -4}).Used);
  EXPECT_TRUE(ParseTags("", "t.txt").empty());
}

TEST(TagsFile, ByteOrderMarkIsSkipped) {
  const TTagMap tags = ParseTags("\xEF\xBB\xBF" "2\t3\tx.html\n", "t.txt");
  ASSERT_EQ(tags.size(), 1u);
  EXPECT_EQ(tags.at({2, 3}).Link, "x.html");
}

TEST(TagsFile, RefusesBadLinesWithTheirNumber) {
  const std::string fields = ": expected column, row, link, target, alt separated by tabs";
  EXPECT_EQ(ErrorOf("1\t1\n7"), "t.txt, line 2" + fields);
  EXPECT_EQ(ErrorOf("\n\n1\t1\ta\tb\tc\td"), "t.txt, line 3" + fields);
  EXPECT_EQ(ErrorOf("1\t" + std::string(1000000, '\t')), "t.txt, line 1" + fields);
  EXPECT_EQ(ErrorOf("x\t1"), "t.txt, line 1: 'x' is not a valid integer value");
  EXPECT_EQ(ErrorOf("\n1\t99999999999"), "t.txt, line 2: '99999999999' is not a valid integer value");
}

TEST(TagsFile, SplitOnKeepsEmptyParts) {
  EXPECT_EQ(SplitOn("", ','), std::vector<std::string>({""}));
  EXPECT_EQ(SplitOn(",a,,b,", ','), std::vector<std::string>({"", "a", "", "b", ""}));
}

}  // namespace
