#include <gtest/gtest.h>

#include <cstring>
#include <thread>
#include <vector>

#include "pgraphic/core/pixelgraphic.h"
#include "pgraphic/core/settings.h"

namespace {

std::uint32_t LE32(const std::uint8_t* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (std::uint32_t(p[3]) << 24);
}

std::vector<std::uint8_t> Memory(TPixelGraphic& g) {
  return std::vector<std::uint8_t>(g.Bits(), g.Bits() + g.ImageSize());
}

struct EventCounter {
  int changes = 0, starts = 0, ends = 0, rows = 0;
  void Attach(TPixelGraphic& g, int abortAfterRows = -1) {
    g.OnImageChange = [this](void*) { ++changes; };
    g.OnProgressStart = [this](void*) { ++starts; };
    g.OnProgressEnd = [this](void*) { ++ends; };
    g.OnProgress = [this, abortAfterRows](void*, int, int, bool& abort) {
      ++rows;
      if (rows == abortAfterRows) abort = true;
    };
  }
};

}  // namespace

TEST(PixelLayout, RowsArePaddedBottomUpAndBgr) {
  TPixelGraphic g;
  g.SetSizeAndFormat(3, 2, pgpf24Bit);
  EXPECT_EQ(g.BytesPerRow(), 12u);
  EXPECT_EQ(g.ImageSize(), 24u);
  g.SetPixel(0, 0, RGBColor(0x11, 0x22, 0x33));
  g.SetPixel(2, 1, RGBColor(0xAA, 0xBB, 0xCC));
  std::vector<std::uint8_t> expect(24, 0);
  // Top row (y = 0) is stored last.
  expect[12] = 0x33, expect[13] = 0x22, expect[14] = 0x11;
  expect[6] = 0xCC, expect[7] = 0xBB, expect[8] = 0xAA;
  EXPECT_EQ(Memory(g), expect);
  EXPECT_EQ(g.GetPixel(0, 0), 0x332211u);
  EXPECT_EQ(g.ScanLine(0), g.Bits() + 12);
}

TEST(PixelLayout, PaletteDepthsPackPixelsMostSignificantFirst) {
  TPixelGraphic one;
  one.SetSizeAndFormat(33, 1, pgpf1Bit);
  EXPECT_EQ(one.BytesPerRow(), 8u);
  one.SetPixel(0, 0, 1);
  one.SetPixel(9, 0, 1);
  one.SetPixel(32, 0, 1);
  EXPECT_EQ(Memory(one), (std::vector<std::uint8_t>{0x80, 0x40, 0, 0, 0x80, 0, 0, 0}));
  one.SetPixel(0, 0, 2);  // only the value 1 sets a bit
  EXPECT_EQ(one.GetPixel(0, 0), 0u);

  TPixelGraphic four;
  four.SetSizeAndFormat(3, 1, pgpf4Bit);
  four.SetPixel(0, 0, 0x1A);  // low nibble only
  four.SetPixel(1, 0, 0x5);
  four.SetPixel(2, 0, 0xF);
  EXPECT_EQ(Memory(four), (std::vector<std::uint8_t>{0xA5, 0xF0, 0, 0}));
  EXPECT_EQ(four.GetPixel(0, 0), 0xAu);
  EXPECT_EQ(four.GetPixel(1, 0), 0x5u);

  TPixelGraphic eight;
  eight.SetSizeAndFormat(5, 2, pgpf8Bit);
  EXPECT_EQ(eight.BytesPerRow(), 8u);
  eight.SetPixel(4, 1, 0x1FF);
  EXPECT_EQ(eight.Bits()[4], 0xFF);
}

TEST(PixelLayout, InformationHeaderAndColourTable) {
  TPixelGraphic g;
  g.SetSizeAndFormat(5, 3, pgpf4Bit);
  const auto& info = g.BitmapInfo();
  ASSERT_EQ(info.size(), 40u + 16 * 4);
  EXPECT_EQ(LE32(&info[0]), 40u);
  EXPECT_EQ(LE32(&info[4]), 5u);
  EXPECT_EQ(LE32(&info[8]), 3u);
  EXPECT_EQ(info[12] | info[13] << 8, 1);
  EXPECT_EQ(info[14] | info[15] << 8, 4);
  EXPECT_EQ(LE32(&info[16]), 0u);
  EXPECT_EQ(LE32(&info[20]), g.ImageSize());
  EXPECT_EQ(LE32(&info[32]), 16u);
  g.SetPaletteCount(2);
  EXPECT_EQ(LE32(&info[32]), 2u);
  g.SetPaletteEntry(1, RGBColor(1, 2, 3));
  EXPECT_EQ(info[40 + 4], 3);
  EXPECT_EQ(info[40 + 5], 2);
  EXPECT_EQ(info[40 + 6], 1);
  // A rebuilt table fills slots past the palette with entry 0.
  g.SetPaletteEntry(0, RGBColor(9, 8, 7));
  g.SetSizeAndFormat(6, 3, pgpf4Bit);
  const auto& rebuilt = g.BitmapInfo();
  EXPECT_EQ(LE32(&rebuilt[32]), 16u);
  for (int slot = 2; slot < 16; ++slot) {
    EXPECT_EQ(rebuilt[40 + 4 * slot], 7);
    EXPECT_EQ(rebuilt[40 + 4 * slot + 2], 9);
  }
}

TEST(PixelAccess, OutOfRangeIsIgnoredOrRaised) {
  TPixelGraphic g;
  g.SetSizeAndFormat(2, 2, pgpf24Bit);
  g.BackgroundValue = 0x123456;
  EXPECT_EQ(g.GetPixel(-1, 0), 0x123456u);
  EXPECT_EQ(g.GetPixel(0, 2), 0x123456u);
  g.SetPixel(2, 0, 0xFFFFFF);  // ignored
  EXPECT_EQ(Memory(g), std::vector<std::uint8_t>(16, 0));
  g.RaiseOnOutOfRange = true;
  try {
    g.GetPixel(-1, 0);
    FAIL();
  } catch (const EPGXYIndexOutOfRange& e) {
    EXPECT_STREQ(e.what(), "X, Y index out of range");
  }
  EXPECT_THROW(g.SetPixel(0, -1, 0), EPGXYIndexOutOfRange);
}

// Both ends of both axes: the last pixel is read, one past it is not, also
// where the row's padding bits lie just past the last pixel.
TEST(PixelAccess, BothBoundsOfBothAxes) {
  TPixelGraphic g;
  g.SetSizeAndFormat(3, 2, pgpf1Bit);
  g.SetPaletteIdent(pBlackWhite);
  g.BackgroundValue = 1;
  g.SetPixel(2, 1, 1);
  g.SetPixel(0, 0, 1);
  EXPECT_EQ(g.GetPixel(2, 1), 1u);
  EXPECT_EQ(g.GetPixel(0, 0), 1u);
  EXPECT_EQ(g.GetPixel(1, 1), 0u);
  g.BackgroundValue = 0;
  g.SetPixel(3, 1, 1);  // would land in the padding bits
  g.SetPixel(0, 2, 1);
  g.BackgroundValue = 1;
  EXPECT_EQ(Memory(g), (std::vector<std::uint8_t>{0x20, 0, 0, 0, 0x80, 0, 0, 0}));
  for (const auto& [x, y] : {std::pair{3, 0}, {3, 1}, {0, 2}, {2, 2}, {-1, 1}, {2, -1}})
    EXPECT_EQ(g.GetPixel(x, y), 1u) << x << "," << y;  // the background, not the padding
  TPixelGraphic rgb;
  rgb.SetSizeAndFormat(2, 3, pgpf24Bit);
  rgb.SetPixel(1, 2, 0x010203);
  rgb.BackgroundValue = 0x777777;
  EXPECT_EQ(rgb.GetPixel(1, 2), 0x010203u);
  EXPECT_EQ(rgb.GetPixel(2, 2), 0x777777u);
  EXPECT_EQ(rgb.GetPixel(1, 3), 0x777777u);
  rgb.RaiseOnOutOfRange = true;
  EXPECT_THROW(rgb.GetPixel(2, 0), EPGXYIndexOutOfRange);
  EXPECT_THROW(rgb.GetPixel(0, 3), EPGXYIndexOutOfRange);
  EXPECT_NO_THROW(rgb.GetPixel(1, 2));
}

TEST(PixelAccess, ClearFillsWithBackground) {
  TPixelGraphic g;
  g.SetSizeAndFormat(3, 2, pgpf8Bit);
  g.BackgroundValue = 7;
  g.Clear();
  EXPECT_EQ(g.GetPixel(2, 1), 7u);
  EXPECT_EQ(g.Bits()[3], 0);  // padding untouched on 8 bits
  TPixelGraphic c;
  c.SetSizeAndFormat(2, 1, pgpf24Bit);
  c.BackgroundValue = RGBColor(1, 2, 3);
  c.Clear();
  EXPECT_EQ(c.GetPixel(1, 0), RGBColor(1, 2, 3));
}

TEST(SetSizeAndFormat, NegativeSizesAreRefused) {
  TPixelGraphic g;
  try {
    g.SetSizeAndFormat(-1, 5, pgpf24Bit);
    FAIL();
  } catch (const EPGInvalidSize& e) {
    EXPECT_STREQ(e.what(), "Negative width");
  }
  try {
    g.SetSizeAndFormat(1, -5, pgpf24Bit);
    FAIL();
  } catch (const EPGInvalidSize& e) {
    EXPECT_STREQ(e.what(), "Negative height");
  }
}

TEST(SetSizeAndFormat, NotifiesOnceAndRepeatClearsInPlace) {
  TPixelGraphic g;
  EventCounter ev;
  ev.Attach(g);
  g.SetSizeAndFormat(0, 0, pgpf8Bit);
  EXPECT_EQ(ev.changes, 1);
  EXPECT_TRUE(g.Empty());
  g.SetSizeAndFormat(0, 0, pgpf8Bit);  // nothing to clear
  EXPECT_EQ(ev.changes, 1);
  g.SetSizeAndFormat(4, 4, pgpf24Bit);
  EXPECT_EQ(ev.changes, 2);
  std::uint8_t* before = g.Bits();
  g.SetPixel(1, 1, 0xABCDEF);
  g.BackgroundValue = 0x010203;
  g.SetSizeAndFormat(4, 4, pgpf24Bit);
  EXPECT_EQ(g.Bits(), before);
  EXPECT_EQ(g.GetPixel(1, 1), 0x010203u);
  EXPECT_EQ(ev.changes, 3);
}

TEST(SetSizeAndFormat, TruncatesPaletteAndKeepsItOverResizes) {
  TPixelGraphic g;
  g.SetSizeAndFormat(2, 2, pgpf8Bit);
  g.SetPaletteCount(20);
  g.SetPaletteEntry(3, RGBColor(1, 1, 1));
  g.SetSizeAndFormat(2, 2, pgpf4Bit);
  EXPECT_EQ(g.PaletteCount(), 16);
  EXPECT_EQ(g.GetPaletteEntry(3), RGBColor(1, 1, 1));
  g.SetSizeAndFormat(2, 2, pgpf24Bit);
  EXPECT_EQ(g.PaletteCount(), 0);
  EXPECT_EQ(g.PaletteIdent(), pTrueColor);
}

TEST(SetSizeAndFormat, SizesThatCannotBeHeldLeaveAnEmptyImage) {
  TPixelGraphic g;
  const auto saved = PGSettings().MaxImagePixels;
  // Beyond the pixel limit: refused before any allocation.
  EXPECT_THROW(g.SetSizeAndFormat(20000, 20000, pgpf24Bit), EPGInvalidSize);
  EXPECT_TRUE(g.Empty());
  EXPECT_EQ(g.Width(), 20000);
  // Within a raised limit, but more than a 32-bit image size can hold.
  PGSettings().MaxImagePixels = 1ull << 40;
  try {
    g.SetSizeAndFormat(70000, 70000, pgpf24Bit);
    FAIL();
  } catch (const EPixelGraphic& e) {
    EXPECT_STREQ(e.what(), "CreateDIBSection failed");
  }
  EXPECT_TRUE(g.Empty());
  EXPECT_EQ(g.ImageSize(), 0u);
  PGSettings().MaxImagePixels = saved;
  g.SetSizeAndFormat(2, 2, pgpf24Bit);
  EXPECT_FALSE(g.Empty());
}

TEST(PixelFormatFromBitCount, MapsTheFourDepths) {
  EXPECT_EQ(PixelFormatFromBitCount(1), pgpf1Bit);
  EXPECT_EQ(PixelFormatFromBitCount(24), pgpf24Bit);
  try {
    PixelFormatFromBitCount(16);
    FAIL();
  } catch (const EPGInvalidBitCountNum& e) {
    EXPECT_STREQ(e.what(), "Invalid value for BitCountNum");
  }
}

TEST(Palette, TrueColourIdentityAndErrors) {
  TPixelGraphic g;
  g.SetSizeAndFormat(1, 1, pgpf24Bit);
  EXPECT_EQ(g.GetPaletteEntry(7), 7u);
  try {
    g.SetPaletteEntry(0, 0);
    FAIL();
  } catch (const EPGNoPalette& e) {
    EXPECT_STREQ(e.what(), "No palette");
  }
  TPixelGraphic p;
  p.SetSizeAndFormat(1, 1, pgpf8Bit);
  p.SetPaletteCount(2);
  EXPECT_EQ(p.PaletteIdent(), pUnknown);
  try {
    p.GetPaletteEntry(2);
    FAIL();
  } catch (const EPGInvalidPaletteIndex& e) {
    EXPECT_STREQ(e.what(), "Invalid palette index");
  }
  EXPECT_THROW(p.SetPaletteEntry(-1, 0), EPGInvalidPaletteIndex);
  p.SetPaletteCount(0);
  EXPECT_EQ(p.PaletteIdent(), pNone);
}

TEST(Palette, ClassificationRecognisesStandardPalettes) {
  TPixelGraphic g;
  g.SetSizeAndFormat(1, 1, pgpf8Bit);
  auto setPalette = [&](std::vector<TRGB> entries) {
    g.SetPaletteCount(int(entries.size()));
    for (std::size_t i = 0; i < entries.size(); ++i) g.SetPaletteEntry(int(i), entries[i]);
    g.ClassifyPalette();
    return g.PaletteIdent();
  };
  EXPECT_EQ(setPalette({Grey(0), Grey(85), Grey(170), Grey(255)}), pGray4);
  EXPECT_TRUE(g.IsGrayPalette());
  EXPECT_EQ(setPalette({Grey(0), Grey(128), Grey(192), Grey(255)}), pSysGray4);
  EXPECT_EQ(setPalette({Grey(0), Grey(255)}), pBlackWhite);
  EXPECT_EQ(setPalette({Grey(255), Grey(0)}), pUnknown);
  EXPECT_EQ(setPalette({RGBColor(1, 2, 3)}), pUnknown);
  EXPECT_FALSE(g.IsGrayPalette());
  EXPECT_EQ(setPalette(StandardPalette(pSys16)), pSys16);
  EXPECT_EQ(setPalette(StandardPalette(pSpecial252)), pSpecial252);
  EXPECT_EQ(setPalette(StandardPalette(pSpecial216)), pSpecial216);
  EXPECT_EQ(setPalette(StandardPalette(pGray236)), pGray236);
  EXPECT_EQ(setPalette({}), pNone);
  EXPECT_TRUE(g.IsGrayPalette());
}

TEST(Notification, NestedUpdatesDeliverOneChange) {
  TPixelGraphic g;
  EventCounter ev;
  ev.Attach(g);
  g.BeginUpdate();
  g.BeginUpdate();
  g.SetSizeAndFormat(2, 2, pgpf24Bit);
  g.Clear();
  g.EndUpdate();
  EXPECT_EQ(ev.changes, 0);
  g.EndUpdate();
  EXPECT_EQ(ev.changes, 1);
  g.SetPixel(0, 0, 1);  // pixel writes do not notify
  EXPECT_EQ(ev.changes, 1);
}

TEST(Assign, CopiesPixelsPaletteAndSettings) {
  TPixelGraphic src;
  src.SetSizeAndFormat(3, 2, pgpf8Bit);
  src.SetPaletteCount(3);
  src.SetPaletteEntry(2, RGBColor(5, 6, 7));
  src.SetPixel(1, 1, 2);
  src.Dither = false;
  src.StretchMode = smFast;
  src.BackgroundValue = 2;
  TPixelGraphic dst;
  int changes = 0;
  dst.OnImageChange = [&](void*) { ++changes; };
  dst.Assign(&src);
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(dst.PixelFormat(), pgpf8Bit);
  EXPECT_EQ(Memory(dst), Memory(src));
  EXPECT_EQ(dst.PaletteEntries(), src.PaletteEntries());
  EXPECT_EQ(dst.GetPixelColor(1, 1), RGBColor(5, 6, 7));
  EXPECT_FALSE(dst.Dither);
  EXPECT_EQ(dst.StretchMode, smFast);
  EXPECT_EQ(dst.BackgroundValue, 2u);
  dst.Assign(nullptr);
  EXPECT_TRUE(dst.Empty());
  EXPECT_EQ(dst.PixelFormat(), pgpf24Bit);
}

TEST(CopyRect, CopiesOnlyTheOverlapAndLeavesTheRest) {
  TPixelGraphic src, dst;
  src.SetSizeAndFormat(4, 4, pgpf24Bit);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) src.SetPixel(x, y, RGBColor(x, y, 99));
  dst.SetSizeAndFormat(4, 4, pgpf24Bit);
  dst.BackgroundValue = 0xFFFFFF;
  dst.Clear();
  dst.CopyRect(0, 0, src, 2, 2, 4, 4);  // only 2 x 2 of the source exist
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) {
      const TRGB expect = x < 2 && y < 2 ? RGBColor(x + 2, y + 2, 99) : 0xFFFFFF;
      EXPECT_EQ(dst.GetPixel(x, y), expect) << x << "," << y;
    }
  dst.CopyRect(-1, 3, src, 0, 0, 3, 3);  // clipped on the left and bottom
  EXPECT_EQ(dst.GetPixel(0, 3), RGBColor(1, 0, 99));
  EXPECT_EQ(dst.GetPixel(1, 3), RGBColor(2, 0, 99));
  EXPECT_EQ(dst.GetPixel(2, 3), 0xFFFFFFu);
}

// An interior rectangle lands inside a larger image: one row or column too
// many or too few shows in the whole buffer, on the plain and on the
// converting path.
TEST(CopyRect, InteriorRectangleChangesExactlyItsPixels) {
  for (const TPGPixelFormat srcFormat : {pgpf24Bit, pgpf8Bit}) {
    SCOPED_TRACE(srcFormat);
    TPixelGraphic src, dst, expected;
    src.SetSizeAndFormat(6, 6, srcFormat);
    if (srcFormat == pgpf8Bit) src.SetPaletteIdent(pGray256);
    for (int y = 0; y < 6; ++y)
      for (int x = 0; x < 6; ++x) src.SetPixelColor(x, y, Grey(std::uint32_t(10 * y + x + 1)));
    for (TPixelGraphic* g : {&dst, &expected}) {
      g->SetSizeAndFormat(7, 7, pgpf24Bit);
      g->BackgroundValue = 0xFFFFFF;
      g->Clear();
    }
    dst.CopyRect(2, 3, src, 1, 2, 3, 2);
    for (int y = 0; y < 2; ++y)
      for (int x = 0; x < 3; ++x) expected.SetPixel(2 + x, 3 + y, Grey(std::uint32_t(10 * (2 + y) + 1 + x + 1)));
    EXPECT_EQ(Memory(dst), Memory(expected));
  }
}

TEST(CopyRect, SixteenColoursIntoTrueColourAreExact) {
  TPixelGraphic src, dst;
  src.SetSizeAndFormat(16, 3, pgpf4Bit);
  src.SetPaletteIdent(pSys16);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 16; ++x) src.SetPixel(x, y, std::uint32_t((x + y) % 16));
  dst.SetSizeAndFormat(16, 3, pgpf24Bit);
  dst.CopyRect(0, 0, src, 0, 0, 16, 3);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 16; ++x) EXPECT_EQ(dst.GetPixel(x, y), Sys16Colors[(x + y) % 16]);
}

TEST(CopyRect, TrueColourIntoPaletteMapsToNearestWithoutDither) {
  TPixelGraphic src, dst;
  src.SetSizeAndFormat(2, 1, pgpf24Bit);
  src.SetPixel(0, 0, RGBColor(250, 250, 250));
  src.SetPixel(1, 0, RGBColor(10, 0, 0));
  dst.SetSizeAndFormat(2, 1, pgpf1Bit);
  dst.SetPaletteIdent(pBlackWhite);
  dst.Dither = false;
  dst.CopyRect(0, 0, src, 0, 0, 2, 1);
  EXPECT_EQ(dst.GetPixel(0, 0), 1u);
  EXPECT_EQ(dst.GetPixel(1, 0), 0u);
}

TEST(CopyRect, AbortStopsAfterTheRowButStillEnds) {
  TPixelGraphic src, dst;
  src.SetSizeAndFormat(3, 4, pgpf8Bit);
  src.SetPaletteIdent(pGray256);
  src.BackgroundValue = 200;
  src.Clear();
  dst.SetSizeAndFormat(3, 4, pgpf24Bit);
  EventCounter ev;
  ev.Attach(dst, 1);
  dst.CopyRect(0, 0, src, 0, 0, 3, 4);
  EXPECT_EQ(ev.rows, 1);
  EXPECT_EQ(ev.starts, 1);
  EXPECT_EQ(ev.ends, 1);
  EXPECT_EQ(ev.changes, 1);
  EXPECT_EQ(dst.GetPixel(2, 0), Grey(200));
  EXPECT_EQ(dst.GetPixel(2, 1), 0u);  // later rows keep their old pixels
}

TEST(CopyRect, TrueColourToTrueColourFiresNoRowProgress) {
  TPixelGraphic src, dst;
  src.SetSizeAndFormat(5, 5, pgpf24Bit);
  dst.SetSizeAndFormat(5, 5, pgpf24Bit);
  EventCounter ev;
  ev.Attach(dst);
  dst.CopyRect(0, 0, src, 0, 0, 5, 5);
  EXPECT_EQ(ev.rows, 0);
  EXPECT_EQ(ev.starts, 1);
  EXPECT_EQ(ev.changes, 1);
  TPixelGraphic empty;
  dst.CopyRect(0, 0, empty, 0, 0, 5, 5);  // nothing to copy: no event at all
  EXPECT_EQ(ev.changes, 1);
}

TEST(BackGroundColor, MapsThroughThePalette) {
  TPixelGraphic g;
  g.SetSizeAndFormat(1, 1, pgpf24Bit);
  g.SetBackGroundColor(RGBColor(1, 2, 3));
  EXPECT_EQ(g.BackgroundValue, RGBColor(1, 2, 3));
  TPixelGraphic p;
  p.SetSizeAndFormat(1, 1, pgpf1Bit);
  p.SetPaletteIdent(pBlackWhite);
  p.SetBackGroundColor(RGBColor(250, 250, 250));
  EXPECT_EQ(p.BackgroundValue, 1u);
  EXPECT_EQ(p.BackGroundColor(), Grey(255));
}

// Worker threads that read one image at the same time (a view's copy and a
// dialog's preview, say) write nothing of it: a race checker sees no
// conflict, and each makes the copy a single reader would.
TEST(PixelGraphicReaders, TwoThreadsReadingOneImageMakeTheSameCopies) {
  TPixelGraphic source;
  source.SetSizeAndFormat(64, 48, pgpf24Bit);
  for (int y = 0; y < 48; ++y)
    for (int x = 0; x < 64; ++x) source.SetPixel(x, y, RGBColor(x * 4, y * 5, (x * y) & 0xFF));
  const std::vector<std::uint8_t> before = Memory(source);
  const auto reduced = [&source](TPixelGraphic& copy) {
    copy.SetSizeAndFormat(21, 17, pgpf8Bit);
    copy.SetPaletteIdent(pSpecial216);
    copy.StretchMode = smPrecise;
    copy.CopyFrom(source);
  };
  TPixelGraphic single, first, second;
  reduced(single);
  std::thread a([&] { reduced(first); });
  std::thread b([&] { reduced(second); });
  a.join();
  b.join();
  EXPECT_EQ(Memory(first), Memory(single));
  EXPECT_EQ(Memory(second), Memory(single));
  EXPECT_EQ(Memory(source), before);
}
