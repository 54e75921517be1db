#include "pgraphic/formats/bufferedstreams.h"

#include <charconv>

bool PGReadFully(TStream& stream, void* buffer, std::int64_t count) {
  auto* p = static_cast<std::uint8_t*>(buffer);
  while (count > 0) {
    const std::int64_t n = stream.Read(p, count);
    if (n <= 0) return false;
    p += n;
    count -= n;
  }
  return true;
}

void TPGBufferedOutput::Put(const std::string& text) {
  for (char c : text) Put(static_cast<std::uint8_t>(c));
}

void TPGBufferedOutput::PutDecimal(std::uint64_t value) {
  char digits[24];
  const auto r = std::to_chars(digits, digits + sizeof digits, value);
  for (const char* p = digits; p != r.ptr; ++p) Put(static_cast<std::uint8_t>(*p));
}

void TPGBufferedOutput::Flush() {
  Stream.WriteBuffer(Buf, Len);
  Len = 0;
}
