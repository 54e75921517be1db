#include "pgraphic/core/stream.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>

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
  if (!File && mode == fmCreate)
    throw EStreamWriteError("Cannot create file \"" + fileName + "\". " + std::strerror(errno));
  if (!File) throw EStreamError("Cannot open file \"" + fileName + "\". " + std::strerror(errno));
  UseLargeBuffer();
}

void TFileStream::UseLargeBuffer() {
  Buffer.reset(new (std::nothrow) char[BufferSize]);
  if (Buffer) std::setvbuf(File, Buffer.get(), _IOFBF, BufferSize);
}

TFileStream::TFileStream(int fd, const std::string& name) : Name(name) {
  File = ::fdopen(fd, "r+b");
  if (!File) {
    const int error = errno;
    ::close(fd);
    throw EStreamWriteError("Cannot create file \"" + name + "\". " + std::strerror(error));
  }
  UseLargeBuffer();
}

TFileStream::~TFileStream() {
  if (File) std::fclose(File);
}

std::FILE* TFileStream::Handle() {
  if (!File) throw EStreamError("File \"" + Name + "\" is closed");
  return File;
}

void TFileStream::RaiseWriteError(int error) {
  if (WriteError == 0) WriteError = error ? error : EIO;
  throw EStreamWriteError("Cannot write file \"" + Name + "\". " + std::strerror(WriteError));
}

std::int64_t TFileStream::Read(void* buffer, std::int64_t count) {
  if (count <= 0) return 0;
  return static_cast<std::int64_t>(
      std::fread(buffer, 1, static_cast<std::size_t>(count), Handle()));
}

// A short count from a file means the disk refused the rest (full, over a
// size limit, gone): callers that ignored the count would keep a cut file.
std::int64_t TFileStream::Write(const void* buffer, std::int64_t count) {
  if (count <= 0) return 0;
  std::FILE* file = Handle();
  errno = 0;
  const auto n = std::fwrite(buffer, 1, static_cast<std::size_t>(count), file);
  if (static_cast<std::int64_t>(n) != count) RaiseWriteError(errno);
  Unsent += count;
  if (WriteBack && Unsent >= (std::int64_t(8) << 20)) {
    Unsent = 0;
    Flush();
    // Only a start: what fails shows at the sync of Close.
    (void)::sync_file_range(fileno(file), 0, 0, SYNC_FILE_RANGE_WRITE);
  }
  return count;
}

// Moving the position first flushes the buffer: a refused flush is a write
// error, not a bad position.
std::int64_t TFileStream::Seek(std::int64_t offset, TSeekOrigin origin) {
  std::FILE* file = Handle();
  const int whence = origin == TSeekOrigin::soBeginning ? SEEK_SET
                     : origin == TSeekOrigin::soCurrent ? SEEK_CUR
                                                        : SEEK_END;
  if (!(origin == TSeekOrigin::soCurrent && offset == 0)) {
    errno = 0;
    if (fseeko(file, static_cast<off_t>(offset), whence) != 0) {
      if (std::ferror(file)) RaiseWriteError(errno);
      throw EStreamError("Stream seek error");
    }
  }
  return static_cast<std::int64_t>(ftello(file));
}

std::int64_t TFileStream::Size() {
  const std::int64_t pos = Position();
  const std::int64_t end = Seek(0, TSeekOrigin::soEnd);
  Seek(pos, TSeekOrigin::soBeginning);
  return end;
}

void TFileStream::Flush() {
  std::FILE* file = Handle();
  errno = 0;
  if (std::fflush(file) != 0 || std::ferror(file)) RaiseWriteError(errno);
  if (WriteError != 0) RaiseWriteError(WriteError);
}

// Some file systems report a lost write only at fsync or close time.
void TFileStream::Close() {
  std::FILE* file = Handle();
  int error = 0;
  errno = 0;
  if (std::fflush(file) != 0 || std::ferror(file) || ::fsync(fileno(file)) != 0)
    error = errno ? errno : EIO;
  errno = 0;
  if (std::fclose(file) != 0 && error == 0) error = errno ? errno : EIO;
  File = nullptr;
  if (error == 0) error = WriteError;
  if (error != 0) RaiseWriteError(error);
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
