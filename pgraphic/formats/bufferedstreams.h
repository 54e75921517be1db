#pragma once
// Byte-level reading and writing that the PCX, portable bitmap and Targa
// codecs share: whole reads, header fields, and buffered input and output.
// The input turns a dry refill into the format's own "Unexpected end of
// file", so a truncated file can never make a decoder loop or read past its
// data.

#include <cstdint>
#include <string>

#include "pgraphic/core/errors.h"
#include "pgraphic/core/messages.h"
#include "pgraphic/core/stream.h"

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
