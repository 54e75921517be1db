#include "pgraphic/formats/png/png8.h"

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
}

void TPNG8FileFormatWriter::Write(TStream& stream, TPixelGraphic& image) {
  if (image.PixelFormat() != pgpf24Bit) return WritePngImage(stream, image, true);
  // The copy reports to the image's handlers, as a converting save does.
  TPixelGraphic indexed;
  indexed.OnProgress = image.OnProgress;
  indexed.OnProgressStart = image.OnProgressStart;
  indexed.OnProgressEnd = image.OnProgressEnd;
  indexed.FileGamma = image.FileGamma;
  indexed.ColorProfile = image.ColorProfile;
  indexed.SetRGBWeighting(image.RGBWeighting());
  MakeIndexedCopy(indexed, image, PGSettings().Png8Dither);
  WritePngImage(stream, indexed, true);
}
