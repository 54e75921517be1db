#pragma once
// Paintbrush (PCX) reader, and the small byte-level helpers that the PCX,
// portable bitmap and Targa codecs share: a buffered input that turns a dry
// refill into the format's own "Unexpected end of file", a buffered output,
// a progress bracket and the image-size guard.

#include <cstdint>
#include <exception>
#include <string>

#include "pgraphic/core/errors.h"
#include "pgraphic/core/messages.h"
#include "pgraphic/core/pixelgraphic.h"
#include "pgraphic/core/settings.h"
#include "pgraphic/core/stream.h"
#include "pgraphic/formats/registry.h"

// Little-endian 16-bit field of a file header.
inline std::uint16_t PGGetLE16(const std::uint8_t* p) { return std::uint16_t(p[0] | (p[1] << 8)); }

// Reads as many of count bytes as the stream still has; true when all came.
bool PGReadFully(TStream& stream, void* buffer, std::int64_t count);

// Reads a stream through a 1024-byte buffer. A refill that finds no bytes
// raises E with prefix + "Unexpected end of file", so a truncated file can
// never make a decoder loop or read past its data.
template <class E>
class TPGBufferedInput {
 public:
  static constexpr int BufferSize = 1024;
  TPGBufferedInput(TStream& stream, std::string prefix)
      : Stream(stream), Prefix(std::move(prefix)) {}

  std::uint8_t Next() {
    if (Pos == Len) Refill();
    return Buf[Pos++];
  }
  // Like Next, but reports the end of the data instead of raising.
  bool TryNext(std::uint8_t& b) {
    if (Pos == Len && !TryRefill()) return false;
    b = Buf[Pos++];
    return true;
  }
  void ReadInto(std::uint8_t* dest, std::int64_t count) {
    while (count > 0) {
      if (Pos == Len) Refill();
      const std::int64_t n = count < Len - Pos ? count : Len - Pos;
      for (std::int64_t i = 0; i < n; ++i) dest[i] = Buf[Pos + i];
      Pos += n;
      dest += n;
      count -= n;
    }
  }
  // Bytes read from the stream but not yet consumed.
  std::int64_t Buffered() const { return Len - Pos; }
  // Hands the unread part of the buffer back, so the stream stands right
  // after the last byte the decoder consumed.
  void Release() {
    if (Len > Pos) Stream.Seek(Pos - Len, TSeekOrigin::soCurrent);
    Pos = Len = 0;
  }

 private:
  bool TryRefill() {
    const std::int64_t n = Stream.Read(Buf, BufferSize);
    Len = n > 0 ? n : 0;
    Pos = 0;
    return Len > 0;
  }
  void Refill() {
    if (!TryRefill()) RaisePrefixed<E>(Prefix, msgUnexpectedEOF);
  }

  TStream& Stream;
  std::string Prefix;
  std::uint8_t Buf[BufferSize];
  std::int64_t Pos = 0;
  std::int64_t Len = 0;
};

// Writes a stream through a 1024-byte buffer; Flush sends the rest.
class TPGBufferedOutput {
 public:
  static constexpr int BufferSize = 1024;
  explicit TPGBufferedOutput(TStream& stream) : Stream(stream) {}
  void Put(std::uint8_t b) {
    if (Len == BufferSize) Flush();
    Buf[Len++] = b;
  }
  void Put(const std::string& text);
  void PutDecimal(std::uint64_t value);
  void Flush();

 private:
  TStream& Stream;
  std::uint8_t Buf[BufferSize];
  int Len = 0;
};

// Sends OnProgressStart now and OnProgressEnd on every way out.
class TPGProgressBracket {
 public:
  explicit TPGProgressBracket(TPixelGraphic& g) : G(g) { G.DoProgressStart(); }
  ~TPGProgressBracket() noexcept(false) {
    if (std::uncaught_exceptions() > Pending) {
      try {
        G.DoProgressEnd();
      } catch (...) {
      }
    } else {
      G.DoProgressEnd();
    }
  }
  TPGProgressBracket(const TPGProgressBracket&) = delete;
  TPGProgressBracket& operator=(const TPGProgressBracket&) = delete;

 private:
  TPixelGraphic& G;
  int Pending = std::uncaught_exceptions();
};

// True when a width x height image of bitCount bits would exceed the
// library's pixel limit or the 32-bit size of the pixel memory.
bool PGImageTooLarge(std::int64_t width, std::int64_t height, int bitCount);

// Refuses an oversized image before any pixel memory is allocated.
template <class E>
void PGCheckImageSize(const std::string& prefix, std::int64_t width, std::int64_t height,
                      int bitCount) {
  if (PGImageTooLarge(width, height, bitCount)) RaisePrefixed<E>(prefix, msgInvalidSizeOf, "image");
}

// Refuses, before any pixel memory exists, an image that the data left
// cannot describe: minBytes is the least that any valid encoding of the
// promised pixels needs. So decoding cost and memory follow the file's size,
// and a few header bytes never cost hundreds of megabytes.
template <class E>
void PGCheckDataFor(const std::string& prefix, std::int64_t available, std::uint64_t minBytes) {
  if (available < 0 || minBytes > static_cast<std::uint64_t>(available))
    RaisePrefixed<E>(prefix, msgUnexpectedEOF);
}

// True when every pixel of a 1-, 4- or 8-bit image names an entry of its
// palette (always for 24-bit images and palettes that fill the depth).
bool PGIndicesInPalette(TPixelGraphic& image);

// "2", "16", "256" ... for the bit counts the info panel shows.
std::string PGPowerOfTwoText(int bits);

class TPCXFileFormatReader : public TFileFormatReader {
 public:
  TPCXFileFormatReader();
  const char* ClassName() const override { return "TPCXFileFormatReader"; }
  bool CheckSignature(const std::uint8_t* header, int headerSize) override;
  void ReadImage(TStream& stream, TPixelGraphic& image, int index) override;
  void ReadInfo(TStream& stream, int index, TFileInfo& info) override;
};
