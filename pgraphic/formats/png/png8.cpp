#include "pgraphic/formats/png/png8.h"

#include "pgraphic/core/alpha.h"
#include "pgraphic/core/indexed.h"
#include "pgraphic/core/settings.h"
#include "pgraphic/formats/png/png.h"

TPNG8FileFormatWriter::TPNG8FileFormatWriter() {
  SafeOnThreads = true;
  // The palette needs every pixel before the first row is written.
  TakesRowsTopDown = false;
  // Not a file extension of its own: the files it writes are .png files.
  Listed = false;
  Extension = "png8";
  Description = "PNG 256 colours";
  CanWriteResolutions = 255;
  EmbedsProfile = true;
  WritesAlpha = true;
}

void TPNG8FileFormatWriter::Write(TStream& stream, TPixelGraphic& image) {
  const bool alpha = !PGAlphaIsOpaque(image);
  if (image.PixelFormat() != pgpf24Bit && !alpha) return WritePngImage(stream, image, true);
  if (image.PixelFormat() != pgpf24Bit) {
    // The entries' alpha comes from colour and alpha pairs: counted at 24 bits.
    TPixelGraphic rgba;
    PGCopyAt24Bits(rgba, image);
    return Write(stream, rgba);
  }
  // The copy reports to the image's handlers, as a converting save does.
  TPixelGraphic indexed;
  indexed.OnProgress = image.OnProgress;
  indexed.OnProgressStart = image.OnProgressStart;
  indexed.OnProgressEnd = image.OnProgressEnd;
  indexed.FileGamma = image.FileGamma;
  indexed.ColorProfile = image.ColorProfile;
  indexed.SetRGBWeighting(image.RGBWeighting());
  std::vector<std::uint8_t> entryAlpha;
  MakeIndexedCopy(indexed, image, PGSettings().Png8Dither, alpha ? &entryAlpha : nullptr);
  WritePngImage(stream, indexed, true, entryAlpha);
}
