#pragma once
// Portable bitmap family: PBM (bilevel), PGM (grey) and PPM (RGB), each in
// its ASCII (P1-P3) and binary (P4-P6) form. One reader decodes all six
// forms; the three registered readers differ only in their signature test.
// One writer serves all three kinds, told apart by its Extension.

#include <cstdint>

#include "pgraphic/formats/registry.h"

class TPxMFileFormatReader : public TFileFormatReader {
 public:
  TPxMFileFormatReader();
  const char* ClassName() const override { return "TPxMFileFormatReader"; }
  void ReadImage(TStream& stream, TPixelGraphic& image, int index) override;
  void ReadInfo(TStream& stream, int index, TFileInfo& info) override;

 protected:
  // "P" followed by one of the two given digits.
  static bool MagicIs(const std::uint8_t* header, int headerSize, char ascii, char binary);
};

class TPBMFileFormatReader : public TPxMFileFormatReader {
 public:
  TPBMFileFormatReader();
  const char* ClassName() const override { return "TPBMFileFormatReader"; }
  bool CheckSignature(const std::uint8_t* header, int headerSize) override;
};

class TPGMFileFormatReader : public TPxMFileFormatReader {
 public:
  TPGMFileFormatReader();
  const char* ClassName() const override { return "TPGMFileFormatReader"; }
  bool CheckSignature(const std::uint8_t* header, int headerSize) override;
};

class TPPMFileFormatReader : public TPxMFileFormatReader {
 public:
  TPPMFileFormatReader();
  const char* ClassName() const override { return "TPPMFileFormatReader"; }
  bool CheckSignature(const std::uint8_t* header, int headerSize) override;
};

class TPXMFileFormatWriter : public TFileFormatWriter {
 public:
  TPXMFileFormatWriter() {
    SafeOnThreads = true;
    TakesRowsTopDown = true;
  }
  const char* ClassName() const override { return "TPXMFileFormatWriter"; }
  // ASCII or binary by the library setting PxmBinary.
  void Write(TStream& stream, TPixelGraphic& image) override;
};

class TPBMFileFormatWriter : public TPXMFileFormatWriter {
 public:
  TPBMFileFormatWriter();
  const char* ClassName() const override { return "TPBMFileFormatWriter"; }
};

class TPGMFileFormatWriter : public TPXMFileFormatWriter {
 public:
  TPGMFileFormatWriter();
  const char* ClassName() const override { return "TPGMFileFormatWriter"; }
};

class TPPMFileFormatWriter : public TPXMFileFormatWriter {
 public:
  TPPMFileFormatWriter();
  const char* ClassName() const override { return "TPPMFileFormatWriter"; }
};
