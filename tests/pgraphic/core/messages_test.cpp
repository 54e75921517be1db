#include <gtest/gtest.h>

#include <vector>

#include "pgraphic/core/errors.h"
#include "pgraphic/core/messages.h"

TEST(Messages, TableIsInOrderAndHasEmptyEnds) {
  EXPECT_NO_THROW(CheckLangStrEntries());
  EXPECT_EQ(GetLangStr(0), "");
  EXPECT_EQ(GetLangStr(84), "");
  EXPECT_EQ(GetLangStr(1), "X, Y index out of range");
  EXPECT_EQ(GetLangStr(83), "\u00B0");
  EXPECT_STREQ(PGLangStrEntries[25].Texts[5], "Image files");
}

TEST(Messages, TextsThatMustStayExactlyAsWritten) {
  EXPECT_EQ(GetLangStr(18),
            "The graphic cannot be saved with to a %S1 file with the current color resolution (%S2)");
  EXPECT_EQ(GetLangStr(19), "Unknown file extension \"%S1\"");
  EXPECT_EQ(FormatLangStr1(16, "FileFormatWriters"), "FileFormatWriters is empty");
  EXPECT_EQ(FormatLangStr3(17, "JPEG", "256 colors", "16.7 million colors"),
            "The graphic cannot be saved to a JPEG file with the current color resolution (256 "
            "colors).\r\rThe graphic will be saved with a different color resolution (16.7 million "
            "colors).");
}

TEST(Messages, OnlyTheFirstPlaceholderIsReplaced) {
  EXPECT_EQ(ReplaceFirst("%S1 and %S1", "%S1", "x"), "x and %S1");
  EXPECT_EQ(FormatLangStr2(2, "a", "b"), "No palette");
  // A value that itself contains a placeholder is not expanded again.
  EXPECT_EQ(FormatLangStr2(7, "%S2", "z"), "z invalid");
}

TEST(Messages, LanguageFallbackAndOutOfRange) {
  PGLanguage = 3;
  EXPECT_EQ(GetLangStr(2), "No palette");
  PGLanguage = 6;
  EXPECT_EQ(GetLangStr(2), "");
  PGLanguage = 0;
  EXPECT_EQ(GetLangStr(-1), "");
  EXPECT_EQ(GetLangStr(85), "");
}

TEST(Messages, SwappedEntriesFailTheSelfCheck) {
  std::vector<TLangStrEntry> table(PGLangStrEntries, PGLangStrEntries + PGLangStrEntryCount);
  std::swap(table[5], table[6]);
  try {
    CheckLangStrEntries(table.data(), table.size());
    FAIL() << "expected EPixelGraphic";
  } catch (const EPixelGraphic& e) {
    EXPECT_STREQ(e.what(), "PGLangStrEntries order wrong 5 and 6 are not identical");
  }
}

TEST(Messages, ExceptionsCarryPrefixedTexts) {
  try {
    RaisePrefixed<EPGBMPFileFormatReader>("BMP: ", msgInvalidSizeOf, "image");
  } catch (const EPixelGraphic& e) {
    EXPECT_STREQ(e.what(), "BMP: Invalid size of image");
  }
  EXPECT_THROW(RaisePG<EPGNoPalette>(msgNoPalette), EPixelGraphic);
}
