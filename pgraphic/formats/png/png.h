#pragma once
// PNG files over libpng: every colour type and bit depth is read into one of
// the image's depth classes, transparency is kept as the image's alpha plane
// (or, without KeepAlpha, flattened onto a background), and the file's gamma
// is handed to the load pipeline.

#include <cstdint>
#include <vector>

#include "pgraphic/formats/registry.h"

class TPNGFileFormatReader : public TFileFormatReader {
 public:
  TPNGFileFormatReader();
  const char* ClassName() const override { return "TPNGFileFormatReader"; }
  bool CheckSignature(const std::uint8_t* header, int headerSize) override;
  void ReadImage(TStream& stream, TPixelGraphic& image, int index) override;
  void ReadInfo(TStream& stream, int index, TFileInfo& info) override;
};

class TPNGFileFormatWriter : public TFileFormatWriter {
 public:
  TPNGFileFormatWriter();
  const char* ClassName() const override { return "TPNGFileFormatWriter"; }
  void Write(TStream& stream, TPixelGraphic& image) override;
};

// Writes image as a PNG file with the writer's settings. With indexed, a
// palette image is written with its palette even when that is the 256
// greys (which are otherwise written as a grey image). An alpha plane is
// written with the pixels; a palette image's is given as the alpha of
// each entry (indexAlpha, tRNS), which the plane must agree with.
void WritePngImage(TStream& stream, TPixelGraphic& image, bool indexed,
                   const std::vector<std::uint8_t>& indexAlpha = {});
