// The ALT text's size and weight in a blocked image's box: the largest
// size whose lines fit the box, bold where regular strokes would be
// thinner than a pixel.

#include "app/export/alttext.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct TSizeCase {
  int Width, Height;
  const char* Alt;
  int Size;
};

TEST(AltText, SizeIsTheLargestWhoseLinesFitTheBox) {
  const TSizeCase cases[] = {
      {160, 120, "Spring news", 16},  // one line of the largest size
      {160, 24, "Shop all", 16},      // one line, just
      {80, 12, "Shop all", 9},        // lower than a line of 16 pixels: never the largest size
      {80, 19, "Shop all", 14},       // the icon before it leaves too little width for 15
      {60, 200, "A longer text over several lines of its cell", 16},  // wrapped, room to spare
      {60, 40, "A longer text over several lines of its cell", 8},    // wrapped into the least size
      {100, 6, "Tiny", 4},             // not one line of the least size: what the height allows
  };
  for (const TSizeCase& c : cases)
    EXPECT_EQ(AltTextSize(c.Width, c.Height, c.Alt), c.Size) << c.Width << " x " << c.Height << " " << c.Alt;
}

TEST(AltText, SmallTextIsBoldAndStandsOutFromItsCell) {
  const std::string small = AltTextStyle(80, 12, RGBColor(118, 118, 118), "Shop all");
  EXPECT_NE(small.find("font-weight:bold"), std::string::npos) << small;
  EXPECT_NE(small.find("color:#000000;background-color:#767676"), std::string::npos) << small;
  const std::string large = AltTextStyle(160, 120, RGBColor(16, 24, 64), "Spring news");
  EXPECT_EQ(large.find("font-weight"), std::string::npos) << large;
  EXPECT_NE(large.find("color:#ffffff"), std::string::npos) << large;
}

}  // namespace
