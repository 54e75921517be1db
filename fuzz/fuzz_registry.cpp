// The registry on arbitrary bytes: FindReader, the load pipeline (reader,
// gamma, palette classification), file information, the image's own
// persistence and the clipboard's packed bitmap.

#include <algorithm>

#include "fuzz/fuzz_support.h"
#include "pgraphic/formats/bmp.h"
#include "pgraphic/formats/imagefiles.h"

namespace {

// Without a signature, a file named .tga goes to the TGA reader; the other
// readers are reached by their signatures.
const char* const kExtension = "tga";

void FindLeavesPosition(const std::uint8_t* data, std::size_t size) {
  fuzz::TInputStream stream(data, size);
  stream.SetPosition(std::int64_t(size / 2));
  FindReader(stream, kExtension);
  if (stream.Position() != std::int64_t(size / 2)) fuzz::Finding("FindReader moved the stream");
}

void LoadThroughPipeline(const std::uint8_t* data, std::size_t size) {
  TPixelGraphic image;
  if (!fuzz::Refused([&] {
        fuzz::TInputStream stream(data, size);
        image.LoadFromStreamExt(stream, kExtension, 0);
      }))
    fuzz::CheckDecodedImage(image);
}

void FileInformation(const std::uint8_t* data, std::size_t size) {
  fuzz::TInputStream stream(data, size);
  TFileInfo info;
  std::string description;
  GetFileInfo(stream, kExtension, 0, info, description);
  if (stream.Position() != 0) fuzz::Finding("GetFileInfo moved the stream");
}

void OwnPersistence(const std::uint8_t* data, std::size_t size) {
  TPixelGraphic image;
  fuzz::TInputStream stream(data, size);
  if (!fuzz::Refused([&] { ReadImageData(image, stream); })) fuzz::CheckDecodedImage(image);
}

void Clipboard(const std::uint8_t* data, std::size_t size) {
  TPGClipboardBlock block(size);
  std::copy(data, data + size, block.Data());
  TPixelGraphic image;
  if (!fuzz::Refused([&] { LoadFromClipboardFormat(image, PGClipboardPackedBitmap, &block); }))
    fuzz::CheckDecodedImage(image);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FindLeavesPosition(data, size);
  LoadThroughPipeline(data, size);
  FileInformation(data, size);
  OwnPersistence(data, size);
  Clipboard(data, size);
  return 0;
}
