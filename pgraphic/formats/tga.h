#pragma once
// Truevision Targa: colour-mapped, true-colour and black-and-white images,
// uncompressed or run-length encoded, any of the four origins. Targa has no
// signature, so the registry chooses this reader by the extension only.

#include <cstdint>

#include "pgraphic/formats/registry.h"

class TTGAFileFormatReader : public TFileFormatReader {
 public:
  TTGAFileFormatReader();
  const char* ClassName() const override { return "TTGAFileFormatReader"; }
  void ReadImage(TStream& stream, TPixelGraphic& image, int index) override;
  void ReadInfo(TStream& stream, int index, TFileInfo& info) override;
};

// Writes 8-bit images colour-mapped and 24-bit images as true colour,
// uncompressed, bottom row first.
class TTGAFileFormatWriter : public TFileFormatWriter {
 public:
  TTGAFileFormatWriter();
  const char* ClassName() const override { return "TTGAFileFormatWriter"; }
  void Write(TStream& stream, TPixelGraphic& image) override;
};
