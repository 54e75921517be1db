#pragma once
// PNG files of at most 256 colours for the web: a 24-bit image of that few
// colours is written exactly as a palette image, any other through an
// optimised palette (with error diffusion by Png8Dither). Written by the PNG
// writer, with its settings; palette images are written as they are.

#include "pgraphic/formats/registry.h"

class TPNG8FileFormatWriter : public TFileFormatWriter {
 public:
  TPNG8FileFormatWriter();
  const char* ClassName() const override { return "TPNG8FileFormatWriter"; }
  void Write(TStream& stream, TPixelGraphic& image) override;
};
