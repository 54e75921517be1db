// Loads any image through the registry and saves it again through every
// writer; whatever a writer produced must load again with the same size.

#include "fuzz/fuzz_support.h"

namespace {

// Saving costs work per pixel in twelve writers; larger images are only
// loaded, so one input stays well inside the per-input time limit.
constexpr std::uint64_t kMaxSavedPixels = 8 * 1024;

void SaveAndReload(TPixelGraphic& image, TFileFormatWriter& writer) {
  TMemoryStream out;
  if (fuzz::Refused([&] { image.SaveToStreamExt(out, writer.Extension); })) return;
  out.SetPosition(0);
  TPixelGraphic again;
  if (fuzz::Refused([&] { again.LoadFromStreamExt(out, writer.Extension, 0); }))
    fuzz::Finding("a file written by our writer does not load");
  if (again.Width() != image.Width() || again.Height() != image.Height())
    fuzz::Finding("a written file loads with another size");
  fuzz::CheckDecodedImage(again);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  TPixelGraphic image;
  image.ReadWarningAction = pgwaIgnore;
  image.SaveColorResWarningAction = pgwaIgnore;
  if (fuzz::Refused([&] {
        fuzz::TInputStream stream(data, size);
        image.LoadFromStreamExt(stream, "tga", 0);
      }))
    return 0;
  fuzz::CheckDecodedImage(image);
  if (std::uint64_t(image.Width()) * std::uint64_t(image.Height()) > kMaxSavedPixels) return 0;
  for (auto& writer : FileFormatWriters()) SaveAndReload(image, *writer);
  return 0;
}
