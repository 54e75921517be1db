#include "fuzz/fuzz_support.h"

namespace fuzz {

namespace {

unsigned IndexAt(const std::uint8_t* row, int bits, int x) {
  switch (bits) {
    case 1: return (row[x >> 3] >> (7 - (x & 7))) & 1u;
    case 4: return (x & 1) ? row[x >> 1] & 0x0Fu : unsigned(row[x >> 1] >> 4);
    default: return row[x];
  }
}

void CheckIndices(TPixelGraphic& image) {
  const unsigned count = unsigned(image.PaletteCount());
  for (int y = 0; y < image.Height(); ++y) {
    const std::uint8_t* row = image.ScanLine(y);
    for (int x = 0; x < image.Width(); ++x)
      if (IndexAt(row, image.BitCount(), x) >= count) Finding("palette index past the palette");
  }
}

}  // namespace

void CheckDecodedImage(TPixelGraphic& image) {
  if (image.Empty()) return;
  if (std::uint64_t(image.BytesPerRow()) * std::uint64_t(image.Height()) != image.ImageSize() ||
      image.BytesPerRow() < BytesPerRowFor(image.BitCount(), image.Width()))
    Finding("pixel memory does not match the image size");
  if (image.PixelFormat() != pgpf24Bit) CheckIndices(image);
}

TFileFormatReader& ReaderFor(const std::string& extension) {
  for (auto& reader : FileFormatReaders())
    if (reader->Extension == extension) return *reader;
  Finding("no reader registered for the target's extension");
}

void RunReader(TFileFormatReader& reader, const std::uint8_t* data, std::size_t size) {
  Refused([&] {
    TInputStream stream(data, size);
    TFileInfo info;
    reader.ReadInfo(stream, 0, info);
  });
  TPixelGraphic image;
  image.ReadWarningAction = pgwaIgnore;
  const bool refused = Refused([&] {
    TInputStream stream(data, size);
    reader.ReadImage(stream, image, 0);
  });
  if (!refused) CheckDecodedImage(image);
}

}  // namespace fuzz
