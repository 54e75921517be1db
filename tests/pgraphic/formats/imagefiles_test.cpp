#include <gtest/gtest.h>

#include <cstring>

#include "pgraphic/formats/bmp_fixtures.h"
#include "pgraphic/formats/imagefiles.h"

using namespace bmpfix;

namespace {

// A small palette image in diagonal stripes of its first nine entries.
void Striped(TPixelGraphic& image, TPGPixelFormat format, TPaletteIdent ident) {
  image.SetSizeAndFormat(6, 4, format);
  image.SetPaletteIdent(ident);
  for (int i = 0; i < 24; ++i) image.SetPixel(i % 6, i / 6, std::uint32_t(i % 6 + i / 6));
}

std::uint32_t Le32(const Bytes& b) {
  return std::uint32_t(b[0]) | (std::uint32_t(b[1]) << 8) | (std::uint32_t(b[2]) << 16) | (std::uint32_t(b[3]) << 24);
}

Bytes WithLength(Bytes b, std::uint32_t length) {
  for (int i = 0; i < 4; ++i) b[std::size_t(i)] = std::uint8_t(length >> (8 * i));
  return b;
}

}  // namespace

TEST(ImagePersistence, LengthThenBmpAndPositionAfterTheCountedData) {
  TPixelGraphic image;
  Striped(image, pgpf8Bit, pSpecial216);
  TMemoryStream stream;
  WriteImageData(image, stream);
  const Bytes bmp = SaveBytes(image);
  ASSERT_EQ(stream.Bytes().size(), bmp.size() + 4);
  EXPECT_EQ(Le32(stream.Bytes()), bmp.size());
  EXPECT_EQ(Bytes(stream.Bytes().begin() + 4, stream.Bytes().end()), bmp);
  // Counted bytes the reader does not need are skipped, later bytes untouched.
  Bytes data = WithLength(stream.Bytes(), std::uint32_t(bmp.size() + 3));
  data.insert(data.end(), {7, 7, 7, 9});
  TMemoryStream in(data);
  TPixelGraphic back;
  ReadImageData(back, in);
  EXPECT_EQ(in.Position(), std::int64_t(data.size()) - 1);
  EXPECT_EQ(PixelBytes(back), PixelBytes(image));
  // The reader cannot run past the counted bytes.
  TMemoryStream cut(WithLength(stream.Bytes(), std::uint32_t(bmp.size() - 10)));
  EXPECT_EQ(MessageOf([&] { ReadImageData(back, cut); }), "BMP: Unexpected end of file");
  EXPECT_EQ(cut.Position(), std::int64_t(bmp.size()) - 6);
  TMemoryStream tooLong(WithLength(stream.Bytes(), std::uint32_t(bmp.size() + 1)));
  EXPECT_THROW(ReadImageData(back, tooLong), EStreamError);
}

TEST(ImageClipboard, PackedBitmapLayoutAndRoundTrip) {
  TPixelGraphic image;
  Striped(image, pgpf4Bit, pGray16);
  image.SetPaletteCount(11);
  unsigned format = 0;
  const std::unique_ptr<TPGClipboardBlock> block = SaveToClipboardFormat(image, format);
  EXPECT_EQ(format, PGClipboardPackedBitmap);
  ASSERT_EQ(block->Size(), 40u + 44u + image.ImageSize());
  const std::uint8_t* p = block->Data();
  EXPECT_EQ(p[0], 40);
  EXPECT_EQ(p[4], 6);
  EXPECT_EQ(p[8], 4);
  EXPECT_EQ(p[14], 4);
  EXPECT_EQ(p[32], 11);
  EXPECT_EQ(Bytes(p + 84, p + block->Size()), PixelBytes(image));
  for (unsigned f : {PGClipboardPackedBitmap, PGClipboardBitmap}) {
    TPixelGraphic back;
    LoadFromClipboardFormat(back, f, block.get());
    EXPECT_EQ(back.PaletteEntries(), image.PaletteEntries());
    EXPECT_EQ(PixelBytes(back), PixelBytes(image));
  }
  TPixelGraphic back;
  EXPECT_EQ(MessageOf([&] { LoadFromClipboardFormat(back, 1, block.get()); }), "Unknown clipboard format");
  EXPECT_EQ(MessageOf([&] { LoadFromClipboardFormat(back, PGClipboardPackedBitmap, nullptr); }), "Unknown clipboard format");
  TPGClipboardBlock truncated(50);
  std::memcpy(truncated.Data(), p, 50);
  EXPECT_EQ(MessageOf([&] { LoadFromClipboardFormat(back, PGClipboardPackedBitmap, &truncated); }),
            "BMP: Unexpected end of file");
}
