#pragma once
// WebP files over libwebp. Still images, lossy or lossless, are read into
// 24-bit images as their data comes, transparency flattened onto the
// image's background colour as PNG files are; animated files are refused.
// The writer encodes lossy or lossless files by the library settings.

#include "pgraphic/formats/registry.h"

class TWebPFileFormatReader : public TFileFormatReader {
 public:
  TWebPFileFormatReader();
  const char* ClassName() const override { return "TWebPFileFormatReader"; }
  bool CheckSignature(const std::uint8_t* header, int headerSize) override;
  void ReadImage(TStream& stream, TPixelGraphic& image, int index) override;
  void ReadInfo(TStream& stream, int index, TFileInfo& info) override;
};

class TWebPFileFormatWriter : public TFileFormatWriter {
 public:
  TWebPFileFormatWriter();
  const char* ClassName() const override { return "TWebPFileFormatWriter"; }
  void Write(TStream& stream, TPixelGraphic& image) override;
};
