// The TIFF reader with TiffCountImages on: the IFD chain is walked to count
// images and to reach the last one, which is then decoded as well.

#include <algorithm>

#include "fuzz/fuzz_support.h"
#include "pgraphic/core/settings.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static TFileFormatReader& reader = fuzz::ReaderFor("tif");
  PGSettings().TiffCountImages = true;
  fuzz::RunReader(reader, data, size);
  TFileInfo info;
  const bool refused = fuzz::Refused([&] {
    fuzz::TInputStream stream(data, size);
    reader.ReadInfo(stream, 0, info);
  });
  if (refused || info.ImageCount < 2) return 0;
  if (std::uint32_t(info.ImageCount) > PGSettings().TiffMaxImages) fuzz::Finding("count past TiffMaxImages");
  TPixelGraphic image;
  image.ReadWarningAction = pgwaIgnore;
  if (!fuzz::Refused([&] {
        fuzz::TInputStream stream(data, size);
        reader.ReadImage(stream, image, info.ImageCount - 1);
      }))
    fuzz::CheckDecodedImage(image);
  return 0;
}
