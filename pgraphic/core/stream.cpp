#include "pgraphic/core/stream.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

std::int64_t TStream::Size() {
  const std::int64_t pos = Position();
  const std::int64_t end = Seek(0, TSeekOrigin::soEnd);
  Seek(pos, TSeekOrigin::soBeginning);
  return end;
}

void TStream::ReadBuffer(void* buffer, std::int64_t count) {
  if (count > 0 && Read(buffer, count) != count) throw EStreamError("Stream read error");
}

void TStream::WriteBuffer(const void* buffer, std::int64_t count) {
  if (count > 0 && Write(buffer, count) != count) throw EStreamError("Stream write error");
}

// ---- TFileStream

TFileStream::TFileStream(const std::string& fileName, Mode mode) : Name(fileName) {
  const char* m = mode == fmOpenRead ? "rb" : mode == fmCreate ? "w+b" : "r+b";
  File = std::fopen(fileName.c_str(), m);
  if (!File)
    throw EStreamError(std::string(mode == fmCreate ? "Cannot create file \"" : "Cannot open file \"") +
                       fileName + "\". " + std::strerror(errno));
}

TFileStream::~TFileStream() {
  if (File) std::fclose(File);
}

std::int64_t TFileStream::Read(void* buffer, std::int64_t count) {
  if (count <= 0) return 0;
  return static_cast<std::int64_t>(std::fread(buffer, 1, static_cast<std::size_t>(count), File));
}

std::int64_t TFileStream::Write(const void* buffer, std::int64_t count) {
  if (count <= 0) return 0;
  const auto n = std::fwrite(buffer, 1, static_cast<std::size_t>(count), File);
  if (static_cast<std::int64_t>(n) != count) WriteFailed = true;
  return static_cast<std::int64_t>(n);
}

std::int64_t TFileStream::Seek(std::int64_t offset, TSeekOrigin origin) {
  const int whence = origin == TSeekOrigin::soBeginning ? SEEK_SET
                     : origin == TSeekOrigin::soCurrent ? SEEK_CUR
                                                        : SEEK_END;
  if (!(origin == TSeekOrigin::soCurrent && offset == 0)) {
    if (fseeko(File, static_cast<off_t>(offset), whence) != 0) throw EStreamError("Stream seek error");
  }
  return static_cast<std::int64_t>(ftello(File));
}

std::int64_t TFileStream::Size() {
  const off_t pos = ftello(File);
  fseeko(File, 0, SEEK_END);
  const off_t end = ftello(File);
  fseeko(File, pos, SEEK_SET);
  return static_cast<std::int64_t>(end);
}

void TFileStream::Flush() {
  if (std::fflush(File) != 0 || WriteFailed || std::ferror(File))
    throw EStreamError("Cannot write file \"" + Name + "\". " + std::strerror(errno ? errno : EIO));
}

// ---- TMemoryStream

std::int64_t TMemoryStream::Read(void* buffer, std::int64_t count) {
  const std::int64_t size = Size();
  if (count <= 0 || Pos >= size) return 0;
  const std::int64_t n = std::min(count, size - Pos);
  std::memcpy(buffer, Data.data() + Pos, static_cast<std::size_t>(n));
  Pos += n;
  return n;
}

std::int64_t TMemoryStream::Write(const void* buffer, std::int64_t count) {
  if (count <= 0) return 0;
  const std::int64_t end = Pos + count;
  if (end > Size()) Data.resize(static_cast<std::size_t>(end));
  std::memcpy(Data.data() + Pos, buffer, static_cast<std::size_t>(count));
  Pos = end;
  return count;
}

static std::int64_t SeekTarget(std::int64_t pos, std::int64_t size, std::int64_t offset,
                               TSeekOrigin origin) {
  const std::int64_t base = origin == TSeekOrigin::soBeginning ? 0
                            : origin == TSeekOrigin::soCurrent ? pos
                                                               : size;
  const std::int64_t target = base + offset;
  if (target < 0) throw EStreamError("Stream seek error");
  return target;
}

std::int64_t TMemoryStream::Seek(std::int64_t offset, TSeekOrigin origin) {
  Pos = SeekTarget(Pos, Size(), offset, origin);
  return Pos;
}

// ---- TMyMemoryStream

void TMyMemoryStream::SetPointer(void* block, std::int64_t size) {
  Block = static_cast<std::uint8_t*>(block);
  BlockSize = block ? size : 0;
  Pos = 0;
}

std::int64_t TMyMemoryStream::Read(void* buffer, std::int64_t count) {
  if (count <= 0 || Pos >= BlockSize) return 0;
  const std::int64_t n = std::min(count, BlockSize - Pos);
  std::memcpy(buffer, Block + Pos, static_cast<std::size_t>(n));
  Pos += n;
  return n;
}

std::int64_t TMyMemoryStream::Write(const void* buffer, std::int64_t count) {
  // The block has a fixed size: writes stop at its end.
  if (count <= 0 || Pos >= BlockSize) return 0;
  const std::int64_t n = std::min(count, BlockSize - Pos);
  std::memcpy(Block + Pos, buffer, static_cast<std::size_t>(n));
  Pos += n;
  return n;
}

std::int64_t TMyMemoryStream::Seek(std::int64_t offset, TSeekOrigin origin) {
  Pos = SeekTarget(Pos, BlockSize, offset, origin);
  return Pos;
}
