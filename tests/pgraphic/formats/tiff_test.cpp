// The TIFF reader on files built byte by byte.

#include <gtest/gtest.h>

#include <zlib.h>

#include <fstream>
#include <iterator>

#include "pgraphic/core/settings.h"
#include "pgraphic/core/uihooks.h"
#include "support/box_recorder.h"
#include "support/raised.h"
#include "pgraphic/formats/tiff/tiff.h"
#include "pgraphic/formats/tiff/tiff_detail.h"
#include "pgraphic/formats/tiff_builder.h"

using namespace tiff;
using tifftest::Bytes;
using tifftest::TiffBuilder;

namespace {

void Read(const Bytes& file, TPixelGraphic& image, int index = 0) {
  TMemoryStream s(file);
  TTIFFileFormatReader().ReadImage(s, image, index);
}

std::string ReadError(const Bytes& file, TPGWarningAction action = pgwaRaise) {
  return support::ReadError<TTIFFileFormatReader, EPGTIFFileFormatReader>(file, 0, action);
}

TFileInfo Info(const Bytes& file, int index = 0) {
  TMemoryStream s(file);
  TFileInfo info;
  TTIFFileFormatReader().ReadInfo(s, index, info);
  return info;
}

// The meaningful bytes of every row, top row first.
Bytes Rows(TPixelGraphic& image) {
  Bytes out;
  const std::size_t n = std::size_t((std::int64_t(image.BitCount()) * image.Width() + 7) / 8);
  for (int y = 0; y < image.Height(); ++y) out.insert(out.end(), image.ScanLine(y), image.ScanLine(y) + n);
  return out;
}

Bytes Grey3x2() { return {10, 20, 30, 40, 50, 60}; }

TiffBuilder GreyFile(bool big, std::uint16_t stripType) {
  TiffBuilder b(big);
  b.Image(3, 2, phBlackIsZero, {8}, 1).Strips({{10, 20, 30}, {40, 50, 60}}, stripType);
  return b;
}

// 9-bit LZW codes, most significant bit first.
Bytes Lzw9(const std::vector<int>& codes) {
  Bytes out;
  std::uint32_t buffer = 0;
  int bits = 0;
  for (int code : codes) {
    buffer = buffer << 9 | std::uint32_t(code);
    for (bits += 9; bits >= 8; bits -= 8) out.push_back(std::uint8_t(buffer >> (bits - 8)));
  }
  if (bits > 0) out.push_back(std::uint8_t(buffer << (8 - bits)));
  return out;
}

Bytes Deflated(const Bytes& data) {
  uLongf size = compressBound(uLong(data.size()));
  Bytes out(size);
  compress(out.data(), &size, data.data(), uLong(data.size()));
  out.resize(size);
  return out;
}

// A 3 x 2 grey file of one strip in the given compression.
std::string GreyStripOutcome(std::uint32_t compression, const Bytes& strip, Bytes* rows = nullptr,
                             std::uint32_t predictor = 1) {
  TiffBuilder b;
  b.Image(3, 2, phBlackIsZero, {8}, 2, compression).Strips({strip}).Tag(tagPredictor, ftShort, {predictor});
  TPixelGraphic image;
  image.ReadWarningAction = pgwaRaise;
  try {
    Read(b.Build(), image);
  } catch (const EPGTIFFileFormatReader& e) {
    return e.what();
  }
  if (rows) *rows = Rows(image);
  return "read";
}

}  // namespace

TEST(TiffReader, ClassFieldsAndSignature) {
  TTIFFileFormatReader tif;
  TTIFFFileFormatReader tiff;
  EXPECT_EQ(tif.Extension, "tif");
  EXPECT_EQ(tiff.Extension, "tiff");
  EXPECT_EQ(tiff.Description, "Tagged Image File Format");
  EXPECT_TRUE(tiff.HasSignature && tiff.Listed);
  const std::uint8_t ii[] = {'I', 'I', 0x2A, 0}, mm[] = {'M', 'M', 0, 0x2A}, mixed[] = {'I', 'I', 0, 0x2A};
  EXPECT_TRUE(tif.CheckSignature(ii, 4));
  EXPECT_TRUE(tif.CheckSignature(mm, 17));
  EXPECT_FALSE(tif.CheckSignature(mixed, 4));
  EXPECT_FALSE(tif.CheckSignature(ii, 3));
}

TEST(TiffReader, ByteOrdersAndStripFieldTypesReadAlike) {
  for (bool big : {false, true})
    for (std::uint16_t type : {ftShort, ftLong}) {
      TPixelGraphic image;
      Read(GreyFile(big, type).Build(), image);
      EXPECT_EQ(image.PixelFormat(), pgpf8Bit);
      EXPECT_EQ(image.PaletteIdent(), pGray256);
      EXPECT_EQ(Rows(image), Grey3x2()) << big << " " << type;
    }
}

TEST(TiffReader, HeaderMayStartInsideTheStream) {
  Bytes file(5, 0xEE);
  const Bytes tiffBytes = GreyFile(true, ftLong).Build();
  file.insert(file.end(), tiffBytes.begin(), tiffBytes.end());
  TMemoryStream s(file);
  s.SetPosition(5);
  TPixelGraphic image;
  TTIFFileFormatReader().ReadImage(s, image, 0);
  EXPECT_EQ(Rows(image), Grey3x2());
}

TEST(TiffReader, BilevelFollowsPhotometric) {
  const Bytes strip = {0xA5, 0x40, 0x0F, 0xC0};  // 10 x 2 pixels
  for (std::uint32_t ph : {phWhiteIsZero, phBlackIsZero, phPalette}) {
    TiffBuilder b;
    b.Image(10, 2, ph, {1}, 2).Strips({strip});
    TPixelGraphic image;
    Read(b.Build(), image);
    EXPECT_EQ(image.PixelFormat(), pgpf1Bit);
    EXPECT_EQ(image.PaletteIdent(), pBlackWhite);
    const Bytes expected = ph == phWhiteIsZero ? Bytes{0x5A, 0x80, 0xF0, 0x00} : strip;
    EXPECT_EQ(Rows(image), expected) << ph;
  }
}

TEST(TiffReader, FourBitGreyAndColorMap) {
  TiffBuilder grey;
  grey.Image(3, 1, phWhiteIsZero, {4}, 1).Strips({{0x0F, 0x30}});
  TPixelGraphic image;
  Read(grey.Build(), image);
  EXPECT_EQ(image.PaletteIdent(), pGray16);
  EXPECT_EQ(Rows(image), (Bytes{0xF0, 0xC0}));

  std::vector<std::uint32_t> map(48, 0);
  map[1] = 0xFF00;       // red of entry 1
  map[16 + 2] = 0x80FF;  // green of entry 2
  map[32 + 15] = 0x1234;
  TiffBuilder pal;
  pal.Image(2, 1, phPalette, {4}, 1).Strips({{0x12}}).Tag(tagColorMap, ftShort, map);
  Read(pal.Build(), image);
  ASSERT_EQ(image.PaletteCount(), 16);
  EXPECT_EQ(image.GetPaletteEntry(1), RGBColor(0xFF, 0, 0));
  EXPECT_EQ(image.GetPaletteEntry(2), RGBColor(0, 0x80, 0));
  EXPECT_EQ(image.GetPaletteEntry(15), RGBColor(0, 0, 0x12));
  EXPECT_EQ(Rows(image), (Bytes{0x12}));
}

TEST(TiffReader, EightBitPaletteAndWhiteIsZero) {
  std::vector<std::uint32_t> map(768);
  for (int i = 0; i < 256; ++i) map[i] = map[256 + i] = map[512 + i] = std::uint32_t(i) << 8;
  TiffBuilder pal;
  pal.Image(2, 1, phPalette, {8}, 1).Strips({{7, 200}}).Tag(tagColorMap, ftShort, map);
  TPixelGraphic image;
  Read(pal.Build(), image);
  EXPECT_EQ(image.PaletteCount(), 256);
  EXPECT_EQ(image.GetPaletteEntry(200), Grey(200));
  EXPECT_EQ(Rows(image), (Bytes{7, 200}));

  TiffBuilder wiz;
  wiz.Image(2, 1, phWhiteIsZero, {8}, 1).Strips({{7, 200}});
  Read(wiz.Build(), image);
  EXPECT_EQ(Rows(image), (Bytes{248, 55}));
}

TEST(TiffReader, TrueColorVariants) {
  TPixelGraphic image;
  TiffBuilder rgb;
  rgb.Image(2, 1, phRGB, {8, 8, 8}, 1).Strips({{1, 2, 3, 4, 5, 6}});
  Read(rgb.Build(), image);
  EXPECT_EQ(Rows(image), (Bytes{3, 2, 1, 6, 5, 4}));

  TiffBuilder rgba;
  rgba.Image(2, 1, phRGB, {8, 8, 8, 8}, 1).Strips({{1, 2, 3, 99, 4, 5, 6, 99}});
  Read(rgba.Build(), image);
  EXPECT_EQ(Rows(image), (Bytes{3, 2, 1, 6, 5, 4}));

  TiffBuilder cmyk;
  cmyk.Image(2, 1, phSeparated, {8, 8, 8, 8}, 1).Strips({{10, 20, 200, 5, 0, 0, 0, 255}});
  Read(cmyk.Build(), image);
  EXPECT_EQ(image.PixelFormat(), pgpf24Bit);
  EXPECT_EQ(Rows(image), (Bytes{50, 230, 240, 0, 0, 0}));
}

TEST(TiffReader, PackBitsRowsContinueWithinAStrip) {
  // Row 0: literal 1,2 then -128 (no-op) then 3 repeated twice; row 1: 9 x 4.
  const Bytes strip = {0x01, 1, 2, 0x80, 0xFF, 3, 0xFD, 9};
  TiffBuilder b(true);
  b.Image(4, 2, phBlackIsZero, {8}, 2, compPackBits).Strips({strip});
  TPixelGraphic image;
  Read(b.Build(), image);
  EXPECT_EQ(Rows(image), (Bytes{1, 2, 3, 3, 9, 9, 9, 9}));
}

TEST(TiffReader, CompressionAndLayoutRefusals) {
  const auto withCompression = [](std::uint32_t c) {
    TiffBuilder b;
    b.Image(3, 2, phBlackIsZero, {8}, 2, c).Strips({Grey3x2()});
    return ReadError(b.Build());
  };
  EXPECT_EQ(withCompression(2), "TIFF: Unsupported compression CCITT 1D");
  EXPECT_EQ(withCompression(3), "TIFF: Unsupported compression Group 3 Fax");
  EXPECT_EQ(withCompression(4), "TIFF: Unsupported compression Group 4 Fax");
  EXPECT_EQ(withCompression(6), "TIFF: Unsupported compression JPEG");
  EXPECT_EQ(withCompression(7), "TIFF: Unsupported compression 7");
  EXPECT_EQ(ReadError(GreyFile(false, ftLong).Drop(tagCompression).Build()), "TIFF: Unsupported compression 0");

  EXPECT_EQ(ReadError({'I', 'I', 43, 0, 8, 0, 0, 0}), "TIFF: Not a TIF file");
  EXPECT_EQ(ReadError({'X', 'X', 42, 0, 8, 0, 0, 0}), "TIFF: Not a TIF file");
  EXPECT_EQ(ReadError({'I', 'I', 42}), "TIFF: Not a TIF file");
  EXPECT_EQ(ReadError(GreyFile(false, ftLong).Tag(tagPlanarConfiguration, ftShort, {3}).Build()),
            "TIFF: PlanarConfiguration invalid");
  // Without BitsPerSample every sample has 1 bit: no depth for three of them.
  EXPECT_EQ(ReadError(GreyFile(false, ftLong).Tag(tagSamplesPerPixel, ftShort, {3}).Drop(tagBitsPerSample).Build()),
            "TIFF: Invalid SamplesPerPixel");
  EXPECT_EQ(ReadError(GreyFile(false, ftLong).Tag(tagBitsPerSample, ftShort, {8, 8}).Build()),
            "TIFF: Invalid count of SamplesPerPixel");
  EXPECT_EQ(ReadError(GreyFile(false, ftLong).Tag(tagPhotometric, ftShort, {2}).Build()),
            "TIFF: Invalid SamplesPerPixel");
  EXPECT_EQ(ReadError(GreyFile(false, ftLong).Tag(tagBitsPerSample, ftShort, {2}).Build()),
            "TIFF: Invalid SamplesPerPixel");
  EXPECT_EQ(ReadError(GreyFile(false, ftLong).Raw(tagRowsPerStrip, ftRational, 1, 8).Build()),
            "TIFF: Unsupported field Type: 5");
  EXPECT_EQ(ReadError(GreyFile(false, ftLong).Drop(tagRowsPerStrip).Build()), "TIFF: Invalid RowsPerStrip");
  EXPECT_EQ(ReadError(GreyFile(false, ftLong).Tag(tagRowsPerStrip, ftShort, {2}).Build()),
            "TIFF: NumStripOffsets<>(ImageLength+RowsPerStrip-1) div RowsPerStrip");
}

TEST(TiffReader, SingleStripMismatchFollowsWarningPolicy) {
  TiffBuilder b;
  b.Image(3, 2, phBlackIsZero, {8}, 1).Strips({Grey3x2()});
  const Bytes file = b.Build();
  const std::string text = "TIFF: NumStripOffsets<>(ImageLength+RowsPerStrip-1) div RowsPerStrip";
  EXPECT_EQ(ReadError(file, pgwaRaise), text);
  EXPECT_EQ(ReadError(file, pgwaOKCancelBox), text);  // headless: Cancel
  EXPECT_EQ(ReadError(file, pgwaIgnore), "no error");
  {
    TBoxRecorder ok(TPGMsgResult::mrOK);
    TPixelGraphic image;
    image.ReadWarningAction = pgwaOKCancelBox;
    Read(file, image);
    EXPECT_EQ(Rows(image), Grey3x2());
    EXPECT_EQ(ok.Texts, std::vector<std::string>{text});
    EXPECT_EQ(ok.Captions, std::vector<std::string>{"TIFF-Warning"});
    EXPECT_EQ(ok.Buttons, std::vector<TPGMsgButtons>{TPGMsgButtons::mbOKCancel});
  }
  TBoxRecorder cancel(TPGMsgResult::mrCancel);
  EXPECT_EQ(ReadError(file, pgwaOKBox), "no error");
  EXPECT_EQ(cancel.Buttons, std::vector<TPGMsgButtons>{TPGMsgButtons::mbOK});
  EXPECT_EQ(ReadError(file, pgwaOKCancelBox), text);
}

TEST(TiffReader, DamagedOffsetsAndCountsAreRefused) {
  const auto grey = [] { return GreyFile(false, ftLong); };
  EXPECT_EQ(ReadError(grey().Raw(tagStripOffsets, ftLong, 1, 5000).Drop(tagStripByteCounts).Tag(tagRowsPerStrip, ftLong, {2}).Build()),
            "TIFF: StripOffsets invalid");
  EXPECT_EQ(ReadError(grey().Tag(tagStripByteCounts, ftLong, {3, 4000}).Build()), "TIFF: Unexpected end of file");
  EXPECT_EQ(ReadError(grey().Tag(tagStripByteCounts, ftLong, {3}).Build()), "TIFF: StripByteCounts invalid");
  // A count too small for the rows that follow in the file is no damage;
  // rows that would run past the file's end are.
  EXPECT_EQ(ReadError(grey().Tag(tagStripByteCounts, ftLong, {3, 2}).Build()), "no error");
  const std::uint32_t nearEnd = std::uint32_t(grey().Build().size() - 2);
  EXPECT_EQ(ReadError(grey().Tag(tagStripOffsets, ftLong, {8, nearEnd}).Tag(tagStripByteCounts, ftLong, {3, 2}).Build()),
            "TIFF: Unexpected end of file");
  EXPECT_EQ(ReadError(grey().Raw(tagBitsPerSample, ftShort, 3, 0x7FFFFFF0).Tag(tagSamplesPerPixel, ftShort, {3}).Build()),
            "TIFF: Unexpected end of file");
  TiffBuilder noStrips;  // rows but not a single strip to read them from
  noStrips.Image(3, 2, phBlackIsZero, {8}, 1);
  EXPECT_EQ(ReadError(noStrips.Build(), pgwaIgnore), "TIFF: NumStripOffsets<>(ImageLength+RowsPerStrip-1) div RowsPerStrip");
  // A count far beyond the file is refused before anything is allocated for it.
  EXPECT_EQ(ReadError(grey().Raw(tagStripOffsets, ftLong, 0xFFFFFFFFu, 8).Build()), "TIFF: Unexpected end of file");
  Bytes badIFD = grey().Build();
  badIFD[4] = 0xF0;
  EXPECT_EQ(ReadError(badIFD), "TIFF: Unexpected end of file");

  // Without byte counts a strip runs to the end of the file: place it 4
  // bytes before the end, where the second row cannot be complete.
  TiffBuilder atEnd;
  atEnd.Image(3, 2, phBlackIsZero, {8}, 2).Raw(tagStripOffsets, ftLong, 1, 0);
  const std::uint32_t size = std::uint32_t(atEnd.Build().size());
  EXPECT_EQ(ReadError(atEnd.Raw(tagStripOffsets, ftLong, 1, size - 4).Build()), "TIFF: Unexpected end of file");

  TiffBuilder map;
  map.Image(2, 1, phPalette, {4}, 1).Strips({{0x12}}).Tag(tagColorMap, ftShort, std::vector<std::uint32_t>(45, 0));
  EXPECT_EQ(ReadError(map.Build()), "TIFF: ColorMap invalid");
  EXPECT_EQ(ReadError(map.Drop(tagColorMap).Build()), "TIFF: ColorMap invalid");
}

TEST(TiffReader, PackBitsRunsStayInsideRowAndStrip) {
  TiffBuilder overRow;
  overRow.Image(4, 2, phBlackIsZero, {8}, 2, compPackBits).Strips({{0xFD, 1, 0xFC, 2}});
  EXPECT_EQ(ReadError(overRow.Build()), "TIFF (PackBits): Invalid count of bytes in row 1");
  TiffBuilder overStrip;
  overStrip.Image(4, 2, phBlackIsZero, {8}, 1, compPackBits).Strips({{0x03, 1, 2}, {0xFD, 1}});
  EXPECT_EQ(ReadError(overStrip.Build()), "TIFF: Unexpected end of file");
  TiffBuilder onlyNoOps;  // a strip of -128 bytes ends at the strip end
  onlyNoOps.Image(4, 1, phBlackIsZero, {8}, 1, compPackBits).Strips({Bytes(300, 0x80)});
  EXPECT_EQ(ReadError(onlyNoOps.Build()), "TIFF: Unexpected end of file");
}

TEST(TiffReader, LzwAndDeflateStripsWithThePredictor) {
  const Bytes lzw = Lzw9({256, 10, 20, 30, 40, 50, 60, 257});
  const Bytes differences = {10, 10, 10, 40, 10, 10};  // each row's first value, then steps
  const struct {
    std::uint32_t Compression;
    Bytes Strip;
    std::uint32_t Predictor;
    std::string Outcome;
  } cases[] = {
      {compLZW, lzw, 1, "read"},
      {compLZW, Lzw9({256, 10, 20, 30, 40, 50, 60}), 1, "read"},  // no end code: the rows are complete
      {compDeflate, Deflated(Grey3x2()), 1, "read"},
      {compOldDeflate, Deflated(Grey3x2()), 1, "read"},
      {compDeflate, Deflated(differences), 2, "read"},
      {compNone, Grey3x2(), 2, "read"},  // a predictor means nothing without compression
      {compLZW, Lzw9({256, 10, 300}), 1, "TIFF (LZW): Invalid code 300 in row 0"},
      {compLZW, Lzw9({258}), 1, "TIFF (LZW): Invalid code 258 in row 0"},
      {compLZW, Lzw9({256, 10, 20, 257}), 1, "TIFF: Unexpected end of file"},
      {compLZW, Bytes(lzw.begin(), lzw.begin() + 4), 1, "TIFF: Unexpected end of file"},
      {compDeflate, Bytes(4, 0xEE), 1, "TIFF (Deflate): incorrect header check in row 0"},
      {compDeflate, Deflated({10, 20, 30}), 1, "TIFF: Unexpected end of file"},
      {compDeflate, Deflated(Grey3x2()), 3, "TIFF: Predictor invalid"},
  };
  for (const auto& c : cases) {
    Bytes rows;
    EXPECT_EQ(GreyStripOutcome(c.Compression, c.Strip, &rows, c.Predictor), c.Outcome) << c.Compression;
    if (c.Outcome == "read") EXPECT_EQ(rows, Grey3x2()) << c.Compression << " " << c.Predictor;
  }
  // A code one past the table is the string before it and that string's first byte.
  TiffBuilder repeat;
  repeat.Image(3, 1, phBlackIsZero, {8}, 1, compLZW).Strips({Lzw9({256, 7, 258, 257})});
  TPixelGraphic image;
  Read(repeat.Build(), image);
  EXPECT_EQ(Rows(image), (Bytes{7, 7, 7}));
  TiffBuilder fourBit;
  fourBit.Image(2, 1, phBlackIsZero, {4}, 1, compLZW).Strips({Lzw9({256, 0x12, 257})}).Tag(tagPredictor, ftShort, {2});
  EXPECT_EQ(ReadError(fourBit.Build()), "TIFF: Predictor invalid");
}

// Tiles, planes of their own, 16-bit samples and alpha, each against the
// pixels it stands for.
TEST(TiffReader, TilesPlanesSixteenBitsAndAlpha) {
  TPGLibrarySettings laying = PGSettings();  // alpha laid on the background while loading
  laying.KeepAlpha = false;
  const TPGThreadSettings scope(laying);
  TiffBuilder tiled;  // 3 x 2 in tiles of 2 x 1: the right tiles are half outside
  tiled.Image(3, 2, phBlackIsZero, {8}, 1).Tiles({{10, 20}, {30, 99}, {40, 50}, {60, 99}}, 2, 1);
  TiffBuilder planar;  // 2 x 1 RGB, a strip each plane
  planar.Image(2, 1, phRGB, {8, 8, 8}, 1).Strips({{1, 2}, {3, 4}, {5, 6}}).Tag(tagPlanarConfiguration, ftShort, {2});
  TiffBuilder wide(true);  // 16-bit grey, big-endian: rounded to 8 bits
  wide.Image(3, 1, phBlackIsZero, {16}, 1).Strips({{0x00, 0x80, 0x00, 0x81, 0xFF, 0xFF}});
  TiffBuilder greyAlpha;  // unassociated alpha on the black background
  greyAlpha.Image(2, 1, phBlackIsZero, {8, 8}, 1).Strips({{200, 255, 200, 64}}).Tag(tagExtraSamples, ftShort, {2});
  TiffBuilder rgbAssociated;
  rgbAssociated.Image(1, 1, phRGB, {8, 8, 8, 8}, 1).Strips({{50, 60, 70, 128}}).Tag(tagExtraSamples, ftShort, {1});
  TiffBuilder unspecified;  // an extra sample of no meaning is left out
  unspecified.Image(1, 1, phRGB, {8, 8, 8, 8}, 1).Strips({{50, 60, 70, 0}}).Tag(tagExtraSamples, ftShort, {0});
  const struct {
    TiffBuilder* File;
    TPGPixelFormat Depth;
    Bytes Rows;
  } cases[] = {
      {&tiled, pgpf8Bit, Grey3x2()},
      {&planar, pgpf24Bit, {5, 3, 1, 6, 4, 2}},
      {&wide, pgpf8Bit, {0, 1, 255}},
      {&greyAlpha, pgpf8Bit, {200, 50}},
      {&rgbAssociated, pgpf24Bit, {70, 60, 50}},
      {&unspecified, pgpf24Bit, {70, 60, 50}},
  };
  for (const auto& c : cases) {
    TPixelGraphic image;
    image.SetBackGroundColor(RGBColor(0, 0, 0));
    Read(c.File->Build(), image);
    EXPECT_EQ(image.PixelFormat(), c.Depth);
    EXPECT_EQ(Rows(image), c.Rows) << &c - cases;
  }
  TPixelGraphic white;  // the background the image had when its load began
  white.SetBackGroundColor(RGBColor(255, 255, 255));
  Read(greyAlpha.Build(), white);
  EXPECT_EQ(Rows(white), (Bytes{200, 241}));

  tifftest::TSettingsGuard guard;
  EXPECT_EQ(ReadError(TiffBuilder(tiled).Drop(tagTileLength).Build()), "TIFF: TileLength invalid");
  EXPECT_EQ(ReadError(TiffBuilder(tiled).Tag(tagTileWidth, ftShort, {3}).Build()), "TIFF: TileOffsets invalid");
  PGSettings().MaxDecoderMemory = 4;  // a row of tiles, 3 bytes, and a row of a tile, 2
  EXPECT_EQ(ReadError(tiled.Build()).substr(0, 20), "TIFF: Decoding needs");
  // Strips too: a row of each plane and the interleaved row, 6 bytes each.
  EXPECT_EQ(ReadError(planar.Build()).substr(0, 20), "TIFF: Decoding needs");
}

TEST(TiffReader, SizeLimitAndEmptyImages) {
  tifftest::TSettingsGuard guard;
  PGSettings().MaxImagePixels = 5;
  EXPECT_EQ(ReadError(GreyFile(false, ftLong).Build()), "TIFF: Invalid size of image");
  PGSettings().MaxImagePixels = 6;
  EXPECT_EQ(ReadError(GreyFile(false, ftLong).Build()), "no error");
  TiffBuilder wide;  // no pixels at all, but wider than an image can be
  wide.Image(0x80000000u, 0, phBlackIsZero, {8}, 1);
  EXPECT_EQ(ReadError(wide.Build()), "TIFF: Invalid size of image");
  // Millions of rows of no width (a fuzzer's file: later passes took 44 s).
  std::ifstream in(std::string(TESSEL_SOURCE_DIR) + "/fuzz/corpus/roundtrip/tiff-rows-of-no-width.bin",
                   std::ios::binary);
  const Bytes narrow((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_FALSE(narrow.empty());
  EXPECT_EQ(ReadError(narrow, pgwaIgnore), "TIFF: Invalid size of image");

  // No rows at all, and no RowsPerStrip: nothing to divide by.
  TiffBuilder empty;
  empty.Image(3, 0, phBlackIsZero, {8}, 0).Strips({{0}});
  TPixelGraphic image;
  image.ReadWarningAction = pgwaIgnore;
  Read(empty.Build(), image);
  EXPECT_TRUE(image.Empty());
}

TEST(TiffReader, ProgressFramesTheRowsAndAbortStops) {
  TPixelGraphic image;
  std::vector<std::string> events;
  image.OnProgressStart = [&](void*) { events.push_back("start"); };
  image.OnProgressEnd = [&](void*) { events.push_back("end"); };
  image.OnProgress = [&](void*, int step, int max, bool& abort) {
    events.push_back(std::to_string(step) + "/" + std::to_string(max));
    abort = true;
  };
  Read(GreyFile(false, ftLong).Build(), image);
  EXPECT_EQ(events, (std::vector<std::string>{"start", "0/2", "end"}));
  EXPECT_EQ(Rows(image), (Bytes{10, 20, 30, 0, 0, 0}));

  events.clear();
  TiffBuilder broken;
  broken.Image(4, 2, phBlackIsZero, {8}, 2, compPackBits).Strips({{0xFD, 1}});
  image.OnProgress = nullptr;
  EXPECT_THROW(Read(broken.Build(), image), EPGTIFFileFormatReader);
  EXPECT_EQ(events, (std::vector<std::string>{"start", "end"}));
}

TEST(TiffReader, InfoTexts) {
  TFileInfo info = Info(GreyFile(false, ftLong).Build());
  EXPECT_EQ(info.SubformatText, "I, Uncompr., BlackIsZero");
  EXPECT_EQ(info.ExtraText, "");
  EXPECT_EQ(info.ColorCountText, "256");
  EXPECT_EQ(info.BitsPerPixel, 8);
  EXPECT_EQ(info.Width, 3);
  EXPECT_EQ(info.Height, 2);
  EXPECT_EQ(info.ImageCount, 1);

  TiffBuilder cmyk(true);
  cmyk.Image(1, 1, phSeparated, {8, 8, 8, 8}, 1, 5).Strips({{0, 0, 0, 0}});
  info = Info(cmyk.Build());
  EXPECT_EQ(info.SubformatText, "M, LZW, CMYK");
  EXPECT_EQ(info.ExtraText, "");
  EXPECT_EQ(info.ColorCountText, "16.7 M");
  EXPECT_EQ(info.BitsPerPixel, 32);

  TiffBuilder other;
  other.Image(8, 1, phWhiteIsZero, {1}, 1, 99).Strips({{0}});
  info = Info(other.Build());
  EXPECT_EQ(info.SubformatText, "I, , WhiteIsZero");
  EXPECT_EQ(info.ColorCountText, "2");

  TiffBuilder pal;
  pal.Image(2, 1, phPalette, {4}, 1, compPackBits).Strips({{0}});
  info = Info(pal.Build());
  EXPECT_EQ(info.SubformatText, "I, PackBits, RGB Palette");
  EXPECT_EQ(info.ColorCountText, "16");
  TiffBuilder rgb;
  rgb.Image(1, 1, phRGB, {8, 8, 8}, 1, 2).Strips({{0, 0, 0}});
  EXPECT_EQ(Info(rgb.Build()).SubformatText, "I, CCITT 1D, RGB");
}

TEST(TiffReader, ImageChainIsWalkedOnlyWhenAskedAndSafely) {
  tifftest::TSettingsGuard guard;
  Bytes file = GreyFile(false, ftLong).Build();
  const std::uint32_t ifd = file[4] | file[5] << 8;
  const std::size_t next = ifd + 2 + 12u * file[ifd];
  EXPECT_EQ(Info(file).ImageCount, 1);
  EXPECT_EQ(ReadError(file), "no error");
  PGSettings().TiffCountImages = true;
  EXPECT_EQ(Info(file).ImageCount, 1);
  TPixelGraphic image;
  EXPECT_THROW(Read(file, image, 1), EPGTIFFileFormatReader);

  file[next] = std::uint8_t(ifd);  // the directory names itself as the next one
  EXPECT_EQ(Info(file).ImageCount, 1);
  file[next] = 0xF0;  // next directory outside the file
  EXPECT_EQ(Info(file).ImageCount, 1);
  try {
    Read(file, image, 1);
    ADD_FAILURE();
  } catch (const EPGTIFFileFormatReader& e) {
    EXPECT_STREQ(e.what(), "TIFF: Index invalid");
  }
}

TEST(TiffReader, RandomDamageRaisesOnlyReaderErrors) {
  tifftest::TSettingsGuard guard;
  PGSettings().TiffCountImages = true;
  PGSettings().MaxImagePixels = 1 << 20;
  std::vector<Bytes> seeds;
  for (std::uint32_t compression : {compNone, compPackBits}) {
    TiffBuilder grey;
    grey.Image(5, 3, phBlackIsZero, {8}, 2, compression).Strips({{0xFE, 1, 0x01, 2, 3, 0x04, 1, 2, 3, 4, 5}, {0xFC, 9}});
    seeds.push_back(grey.Build());
  }
  std::vector<std::uint32_t> map(48, 0x8000);
  TiffBuilder pal(true);
  pal.Image(3, 2, phPalette, {4}, 2).Strips({{0x12, 0x30, 0x45, 0x60}}).Tag(tagColorMap, ftShort, map);
  seeds.push_back(pal.Build());
  TiffBuilder cmyk;
  cmyk.Image(2, 2, phSeparated, {8, 8, 8, 8}, 1).Strips({Bytes(8, 50), Bytes(8, 100)});
  seeds.push_back(cmyk.Build());
  TiffBuilder lzw;
  lzw.Image(3, 2, phBlackIsZero, {8}, 2, compLZW).Strips({Lzw9({256, 10, 20, 30, 258, 259, 50, 257})});
  seeds.push_back(lzw.Build());
  TiffBuilder tiles;
  tiles.Image(3, 3, phRGB, {16, 16, 16, 16}, 1, compDeflate).Tiles({Deflated(Bytes(96, 7)), Deflated(Bytes(96, 9))}, 2, 2)
      .Tag(tagExtraSamples, ftShort, {2}).Tag(tagPlanarConfiguration, ftShort, {1}).Tag(tagPredictor, ftShort, {2});
  tiles.Tag(tagTileLength, ftShort, {4});
  seeds.push_back(tiles.Build());

  std::uint32_t state = 12345;
  const auto next = [&] { return state = state * 1664525u + 1013904223u; };
  int refused = 0;
  for (int round = 0; round < 4000; ++round) {
    Bytes file = seeds[round % seeds.size()];
    for (int k = 1 + next() % 4; k > 0; --k) file[next() % file.size()] = std::uint8_t(next() >> 24);
    if (round % 7 == 0) file.resize(next() % file.size());
    TPixelGraphic image;
    image.ReadWarningAction = pgwaIgnore;
    try {
      Read(file, image);
      TFileInfo info;
      TMemoryStream s(file);
      TTIFFileFormatReader().ReadInfo(s, 0, info);
    } catch (const EPGTIFFileFormatReader&) {
      ++refused;
    }
  }
  EXPECT_GT(refused, 100);
}
