#pragma once
// Windows and OS/2 device-independent bitmaps: the BMP, DIB and RLE readers
// and the BMP and DIB writers. The "bitmap part" (information header, colour
// table, bits) is also the clipboard's packed bitmap.

#include <cstdint>

#include "pgraphic/formats/registry.h"

class TBMPFileFormatReader : public TFileFormatReader {
 public:
  TBMPFileFormatReader();
  const char* ClassName() const override { return "TBMPFileFormatReader"; }
  bool CheckSignature(const std::uint8_t* header, int headerSize) override;
  void ReadImage(TStream& stream, TPixelGraphic& image, int index) override;
  void ReadInfo(TStream& stream, int index, TFileInfo& info) override;
};

class TDIBFileFormatReader : public TBMPFileFormatReader {
 public:
  TDIBFileFormatReader() { Extension = "dib"; }
  const char* ClassName() const override { return "TDIBFileFormatReader"; }
};

class TRLEFileFormatReader : public TBMPFileFormatReader {
 public:
  TRLEFileFormatReader() { Extension = "rle"; }
  const char* ClassName() const override { return "TRLEFileFormatReader"; }
};

class TBMPFileFormatWriter : public TFileFormatWriter {
 public:
  TBMPFileFormatWriter();
  const char* ClassName() const override { return "TBMPFileFormatWriter"; }
  void Write(TStream& stream, TPixelGraphic& image) override;
};

class TDIBFileFormatWriter : public TBMPFileFormatWriter {
 public:
  TDIBFileFormatWriter() {
    Extension = "dib";
    Listed = false;
  }
  const char* ClassName() const override { return "TDIBFileFormatWriter"; }
};

// Reads a bitmap part (core or information header, colour table or masks,
// pixel data) from the stream's position into image. Raises
// EPGBMPFileFormatReader ("BMP: ...") on anything it cannot trust.
// pixelStart is where a file header says the pixels start (a stream
// position), -1 without one.
void ReadBmpBitmapPart(TStream& stream, TPixelGraphic& image, std::int64_t pixelStart = -1);
// Writes the 40-byte information header, the colour table and the pixel
// memory of image, uncompressed and bottom-up.
void WriteBmpBitmapPart(TStream& stream, TPixelGraphic& image);
// Bytes WriteBmpBitmapPart writes for image.
std::uint64_t BmpBitmapPartSize(const TPixelGraphic& image);
