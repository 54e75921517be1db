#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "pgraphic/core/errors.h"
#include "pgraphic/core/pixelgraphic.h"
#include "pgraphic/filters/filters.h"

namespace {

std::vector<std::uint8_t> Memory(TPixelGraphic& g) {
  return std::vector<std::uint8_t>(g.Bits(), g.Bits() + g.ImageSize());
}

std::vector<TRGB> Colours(TPixelGraphic& g) {
  std::vector<TRGB> out;
  for (int y = 0; y < g.Height(); ++y)
    for (int x = 0; x < g.Width(); ++x) out.push_back(g.GetPixelColor(x, y));
  return out;
}

// A w x h true-colour image whose pixel (x, y) is (40x + 3, 30y + 5, 7x + 11y).
void MakeGradient(TPixelGraphic& g, int w, int h) {
  g.SetSizeAndFormat(w, h, pgpf24Bit);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) g.SetPixel(x, y, RGBColor(40 * x + 3, 30 * y + 5, 7 * x + 11 * y));
}

// 8-bit image with a 256-entry palette of distinct colours and varied indices.
void MakePaletteImage(TPixelGraphic& g, int w, int h) {
  g.SetSizeAndFormat(w, h, pgpf8Bit);
  g.SetPaletteCount(256);
  for (int i = 0; i < 256; ++i) g.SetPaletteEntry(i, RGBColor(i, 255 - i, (i * 7) & 0xFF));
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) g.SetPixel(x, y, (x * 31 + y * 17) & 0xFF);
}

// Red table raised by 25, as the RGB dialog builds it for Red = 10.
void RaiseRed(TRGBFilter& f) {
  for (int i = 0; i < 256; ++i) f.Tables[0][i] = static_cast<std::uint8_t>(std::min(i + 25, 255));
}

TRGB RaisedRed(TRGB c) { return RGBColor(std::min(GetRValue(c) + 25, 255u), GetGValue(c), GetBValue(c)); }

// Not a colour mapping: the result depends on the position. Records the
// order of visits and the begin/end calls.
class TPositionFilter : public TPGFilter {
 public:
  TRGB FilterPixel(int x, int y) override {
    Visits.emplace_back(x, y);
    return RGBColor(x * 50, y * 50, 99);
  }
  void BeginFilter(TPixelGraphic& source) override {
    ++Begins;
    TPGFilter::BeginFilter(source);
  }
  void EndFilter() override {
    ++Ends;
    TPGFilter::EndFilter();
  }
  std::vector<std::pair<int, int>> Visits;
  int Begins = 0, Ends = 0;
};

struct Events {
  int changes = 0, starts = 0, ends = 0;
  std::vector<std::pair<int, int>> steps;
  void Attach(TPixelGraphic& g, int abortAtStep = -1) {
    g.OnImageChange = [this](void*) { ++changes; };
    g.OnProgressStart = [this](void*) { ++starts; };
    g.OnProgressEnd = [this](void*) { ++ends; };
    g.OnProgress = [this, abortAtStep](void*, int step, int max, bool& abort) {
      steps.emplace_back(step, max);
      abort = step == abortAtStep;
    };
  }
};

}  // namespace

TEST(ApplyFilterPixels, TrueColourTargetGetsEveryPixelFiltered) {
  TPixelGraphic source, target;
  MakeGradient(source, 7, 3);
  TRGBFilter filter;
  RaiseRed(filter);
  target.ApplyFilter(filter, source);
  ASSERT_EQ(target.Width(), 7);
  ASSERT_EQ(target.Height(), 3);
  std::vector<TRGB> expect = Colours(source);
  for (TRGB& c : expect) c = RaisedRed(c);
  EXPECT_EQ(Colours(target), expect);
  EXPECT_EQ(filter.Source(), nullptr);  // the pass was ended
}

TEST(ApplyFilterPixels, TrueColourImageFilteredInPlace) {
  TPixelGraphic image, reference;
  MakeGradient(image, 5, 4);
  MakeGradient(reference, 5, 4);
  TRGBFilter filter;
  RaiseRed(filter);
  image.ApplyFilter(filter, image);
  TPixelGraphic expect;
  expect.ApplyFilter(filter, reference);
  EXPECT_EQ(Memory(image), Memory(expect));
}

TEST(ApplyFilterPixels, SerpentineOrderAndProgressPerRow) {
  TPixelGraphic source, target;
  MakeGradient(source, 3, 3);
  TPositionFilter filter;
  Events events;
  events.Attach(target);
  target.ApplyFilter(filter, source);
  const std::vector<std::pair<int, int>> order = {{0, 0}, {1, 0}, {2, 0}, {2, 1}, {1, 1},
                                                  {0, 1}, {0, 2}, {1, 2}, {2, 2}};
  EXPECT_EQ(filter.Visits, order);
  EXPECT_EQ(filter.Begins, 1);
  EXPECT_EQ(filter.Ends, 1);
  EXPECT_EQ(events.steps, (std::vector<std::pair<int, int>>{{0, 2}, {1, 2}, {2, 2}}));
  EXPECT_EQ(events.starts, 1);
  EXPECT_EQ(events.ends, 1);
  EXPECT_EQ(events.changes, 2);  // the resize, then the filtering
  EXPECT_EQ(target.GetPixel(2, 1), RGBColor(100, 50, 99));
}

TEST(ApplyFilterPixels, AbortStopsAfterTheRowAndStillEnds) {
  TPixelGraphic source, target;
  MakeGradient(source, 4, 5);
  TPositionFilter filter;
  Events events;
  events.Attach(target, 1);
  target.ApplyFilter(filter, source);
  EXPECT_EQ(filter.Visits.size(), 8u);
  EXPECT_EQ(events.ends, 1);
  EXPECT_EQ(filter.Ends, 1);
  EXPECT_EQ(target.GetPixel(0, 2), 0u);  // later rows keep the cleared pixels
}

TEST(ApplyFilterPixels, PaletteTargetWithoutDitherTakesNearestEntries) {
  TPixelGraphic source, target;
  source.SetSizeAndFormat(3, 1, pgpf24Bit);
  source.SetPixel(0, 0, RGBColor(10, 10, 10));
  source.SetPixel(1, 0, RGBColor(200, 190, 180));
  source.SetPixel(2, 0, RGBColor(100, 0, 0));
  target.SetSizeAndFormat(1, 1, pgpf1Bit);
  target.SetPaletteIdent(pBlackWhite);
  target.Dither = false;
  TRGBFilter identity;
  target.ApplyFilter(identity, source);
  EXPECT_EQ(target.PixelFormat(), pgpf1Bit);
  EXPECT_EQ(Colours(target), (std::vector<TRGB>{0, 0xFFFFFF, 0}));
}

TEST(ApplyFilterPixels, DitheringIntoGreysThatHoldEveryColourIsExact) {
  TPixelGraphic source, target;
  source.SetSizeAndFormat(4, 3, pgpf24Bit);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 4; ++x) source.SetPixel(x, y, Grey(x * 60 + y));
  target.SetSizeAndFormat(1, 1, pgpf8Bit);
  target.SetPaletteIdent(pGray256);
  TRGBFilter identity;
  target.ApplyFilter(identity, source);
  ASSERT_EQ(target.PixelFormat(), pgpf8Bit);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 4; ++x) EXPECT_EQ(target.GetPixel(x, y), std::uint32_t(x * 60 + y));
}

TEST(ApplyFilterPalette, InPlaceChangesOnlyThePalette) {
  TPixelGraphic image, original;
  MakePaletteImage(image, 9, 5);
  MakePaletteImage(original, 9, 5);
  TRGBFilter filter;
  RaiseRed(filter);
  Events events;
  events.Attach(image);
  image.ApplyFilter(filter, image);
  EXPECT_EQ(Memory(image), Memory(original));
  ASSERT_EQ(image.PaletteCount(), 256);
  for (int i = 0; i < 256; ++i) EXPECT_EQ(image.GetPaletteEntry(i), RaisedRed(original.GetPaletteEntry(i)));
  EXPECT_TRUE(events.steps.empty());  // no pixel pass
  EXPECT_EQ(events.changes, 1);
}

TEST(ApplyFilterPalette, DeeperTargetTakesTheSourceAndMapsItsPalette) {
  TPixelGraphic source, target;
  source.SetSizeAndFormat(5, 2, pgpf4Bit);
  source.SetPaletteIdent(pGray16);
  for (int x = 0; x < 5; ++x) source.SetPixel(x, 1, 3 * x);
  target.SetSizeAndFormat(2, 2, pgpf8Bit);
  TCMYFilter filter;
  filter.Tables[1].fill(255);  // all magenta: green 0
  target.ApplyFilter(filter, source);
  EXPECT_EQ(target.PixelFormat(), pgpf4Bit);  // the copy takes the source's depth
  EXPECT_EQ(Memory(target), Memory(source));
  for (int i = 0; i < 16; ++i) EXPECT_EQ(target.GetPaletteEntry(i), RGBColor(i * 17, 0, i * 17));
  EXPECT_EQ(source.GetPaletteEntry(15), 0xFFFFFFu);  // the source is left alone
}

TEST(ApplyFilterPalette, ShallowerTargetIsFilledPixelByPixel) {
  TPixelGraphic source, target;
  MakePaletteImage(source, 4, 2);
  target.SetSizeAndFormat(1, 1, pgpf4Bit);
  target.SetPaletteIdent(pSys16);
  target.Dither = false;
  TRGBFilter identity;
  target.ApplyFilter(identity, source);
  EXPECT_EQ(target.PixelFormat(), pgpf4Bit);
  EXPECT_EQ(target.PaletteIdent(), pSys16);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 4; ++x)
      EXPECT_EQ(target.GetPixel(x, y), target.ColorToIndex(source.GetPixelColor(x, y)));
}

TEST(ApplyFilterErrors, NonMappingFilterOnItsOwnSourceRaises) {
  TPixelGraphic image, original;
  MakeGradient(image, 3, 2);
  MakeGradient(original, 3, 2);
  TPositionFilter filter;
  try {
    image.ApplyFilter(filter, image);
    FAIL() << "no exception";
  } catch (const EPGFilter& e) {
    EXPECT_STREQ(e.what(), "Cannot apply this filter to a source that is identical to the target");
  }
  EXPECT_EQ(filter.Begins, 0);
  EXPECT_EQ(Memory(image), Memory(original));
}

TEST(ApplyFilterErrors, EmptySourceEmptiesTheTargetWithoutAPass) {
  TPixelGraphic source, target;
  MakeGradient(target, 3, 3);
  TPositionFilter filter;
  target.ApplyFilter(filter, source);
  EXPECT_TRUE(target.Empty());
  EXPECT_EQ(target.Width(), 0);
  EXPECT_EQ(filter.Begins, 0);
}

TEST(ApplyFilterErrors, PassIsEndedWhenWritingFails) {
  TPixelGraphic source, target;
  MakeGradient(source, 2, 2);
  target.SetSizeAndFormat(1, 1, pgpf8Bit);
  target.SetPaletteIdent(pNone);  // nothing to match colours against
  target.Dither = false;
  TPositionFilter filter;
  EXPECT_THROW(target.ApplyFilter(filter, source), EPGNoPalette);
  EXPECT_EQ(filter.Begins, 1);
  EXPECT_EQ(filter.Ends, 1);
  EXPECT_EQ(filter.Source(), nullptr);
}
