#pragma once
// TIFF files: strips or tiles, uncompressed, PackBits, LZW or Deflate (the
// writer: strips, uncompressed or PackBits), either byte order; bilevel,
// grey, palette, RGB and CMYK, of 8 or 16 bits a sample, the samples
// interleaved or in planes of their own, alpha laid on the background.

#include <cstdint>
#include <map>
#include <mutex>

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

// Where one TIFF file being written stands: its start in the stream, the
// link field that the next directory goes into, and its byte order.
struct TTiffFileState {
  std::int64_t Base = -1;
  std::int64_t PendingNextIFD = -1;
  bool BigEndian = false;
};

class TTIFFileFormatWriter : public TFileFormatWriter {
 public:
  TTIFFileFormatWriter();
  const char* ClassName() const override { return "TTIFFileFormatWriter"; }
  void Write(TStream& stream, TPixelGraphic& image) override;
  // A file begun on a stream is continued and ended on the same stream;
  // files on different streams may be written at the same time.
  void BeginFile(TStream& stream) override;
  void AppendImage(TStream& stream, TPixelGraphic& image) override;
  void EndFile(TStream& stream) override;

 private:
  std::mutex FilesLock;
  std::map<const TStream*, TTiffFileState> Files;  // begun and not yet ended
};

class TTIFFFileFormatWriter : public TTIFFileFormatWriter {
 public:
  TTIFFFileFormatWriter() {
    Extension = "tiff";
    Listed = false;
  }
  const char* ClassName() const override { return "TTIFFFileFormatWriter"; }
};
