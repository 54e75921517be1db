#pragma once
// TIFF files: strip-organised, uncompressed or PackBits, either byte order;
// bilevel, grey, palette, RGB and CMYK.

#include <cstdint>

#include "pgraphic/formats/registry.h"

class TTIFFileFormatReader : public TFileFormatReader {
 public:
  TTIFFileFormatReader();
  const char* ClassName() const override { return "TTIFFileFormatReader"; }
  bool CheckSignature(const std::uint8_t* header, int headerSize) override;
  void ReadImage(TStream& stream, TPixelGraphic& image, int index) override;
  void ReadInfo(TStream& stream, int index, TFileInfo& info) override;
};

class TTIFFFileFormatReader : public TTIFFileFormatReader {
 public:
  TTIFFFileFormatReader() { Extension = "tiff"; }
  const char* ClassName() const override { return "TTIFFFileFormatReader"; }
};

class TTIFFileFormatWriter : public TFileFormatWriter {
 public:
  TTIFFileFormatWriter();
  const char* ClassName() const override { return "TTIFFileFormatWriter"; }
  void Write(TStream& stream, TPixelGraphic& image) override;
  void BeginFile(TStream& stream) override;
  void AppendImage(TStream& stream, TPixelGraphic& image) override;
  void EndFile(TStream& stream) override;

 private:
  // Bookkeeping of the file being written, valid from BeginFile on.
  std::int64_t Base = -1;
  std::int64_t PendingNextIFD = -1;
  bool BigEndian = false;
};

class TTIFFFileFormatWriter : public TTIFFileFormatWriter {
 public:
  TTIFFFileFormatWriter() {
    Extension = "tiff";
    Listed = false;
  }
  const char* ClassName() const override { return "TTIFFFileFormatWriter"; }
};
