#pragma once
// JPEG files (JFIF and Adobe, baseline and progressive) over the IJG codec
// interface. The three readers and three writers differ only in Extension and
// Listed; they share one implementation.

#include "pgraphic/formats/registry.h"

class TJPGFileFormatReader : public TFileFormatReader {
 public:
  TJPGFileFormatReader();
  const char* ClassName() const override { return "TJPGFileFormatReader"; }
  bool CheckSignature(const std::uint8_t* header, int headerSize) override;
  void ReadImage(TStream& stream, TPixelGraphic& image, int index) override;
  void ReadInfo(TStream& stream, int index, TFileInfo& info) override;
};

class TJPEGFileFormatReader : public TJPGFileFormatReader {
 public:
  TJPEGFileFormatReader() { Extension = "jpeg"; }
  const char* ClassName() const override { return "TJPEGFileFormatReader"; }
};

class TJIFFileFormatReader : public TJPGFileFormatReader {
 public:
  TJIFFileFormatReader() { Extension = "jif"; }
  const char* ClassName() const override { return "TJIFFileFormatReader"; }
};

class TJPGFileFormatWriter : public TFileFormatWriter {
 public:
  TJPGFileFormatWriter();
  const char* ClassName() const override { return "TJPGFileFormatWriter"; }
  void Write(TStream& stream, TPixelGraphic& image) override;
};

class TJPEGFileFormatWriter : public TJPGFileFormatWriter {
 public:
  TJPEGFileFormatWriter() {
    Extension = "jpeg";
    Listed = false;
  }
  const char* ClassName() const override { return "TJPEGFileFormatWriter"; }
};

class TJIFFileFormatWriter : public TJPGFileFormatWriter {
 public:
  TJIFFileFormatWriter() {
    Extension = "jif";
    Listed = false;
  }
  const char* ClassName() const override { return "TJIFFileFormatWriter"; }
};
