#pragma once
// Byte streams: readers and writers work on these only, never on files directly.

#include <cstdint>
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

enum class TSeekOrigin { soBeginning, soCurrent, soEnd };

// Raised by ReadBuffer/WriteBuffer and by file streams that cannot open or write.
class EStreamError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A file that cannot be created or written (a full disk, a folder without
// permission): told apart from input that cannot be read, since a caller
// may try again elsewhere.
class EStreamWriteError : public EStreamError {
 public:
  using EStreamError::EStreamError;
};

class TStream {
 public:
  virtual ~TStream() = default;
  // Reads up to count bytes; returns the number read (0 at the end).
  virtual std::int64_t Read(void* buffer, std::int64_t count) = 0;
  // Writes up to count bytes; returns the number written.
  virtual std::int64_t Write(const void* buffer, std::int64_t count) = 0;
  // Moves the position; returns the new position.
  virtual std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) = 0;
  virtual std::int64_t Size();

  std::int64_t Position() { return Seek(0, TSeekOrigin::soCurrent); }
  void SetPosition(std::int64_t pos) { Seek(pos, TSeekOrigin::soBeginning); }
  std::int64_t Remaining() { return Size() - Position(); }

  // Whole-buffer variants: raise EStreamError when fewer bytes move.
  void ReadBuffer(void* buffer, std::int64_t count);
  void WriteBuffer(const void* buffer, std::int64_t count);
};

// A file on disk. Modes: read-only, or create (truncate) for writing.
class TFileStream : public TStream {
 public:
  enum Mode { fmOpenRead, fmCreate, fmOpenReadWrite };
  TFileStream(const std::string& fileName, Mode mode);
  // Adopts a descriptor open for reading and writing; messages call the file
  // name. The descriptor is closed with the stream, also when this raises.
  TFileStream(int fd, const std::string& name);
  ~TFileStream() override;
  TFileStream(const TFileStream&) = delete;
  TFileStream& operator=(const TFileStream&) = delete;

  std::int64_t Read(void* buffer, std::int64_t count) override;
  // Raises EStreamError, with the file name and the system's reason, when
  // the disk takes fewer bytes than given.
  std::int64_t Write(const void* buffer, std::int64_t count) override;
  std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;
  std::int64_t Size() override;
  // Flushes buffered data to the file; raises EStreamError when the disk refuses it.
  void Flush();
  // Flushes, writes through to the disk and closes; raises EStreamError when
  // any step fails, so a file that is kept is known to be complete. The
  // stream is closed afterwards either way; only the destructor may follow.
  void Close();
  // Hands what is written to the disk as it goes, every few megabytes, so
  // that the sync of Close finds little left to wait for.
  void WriteBackAsItGoes() { WriteBack = true; }
  const std::string& FileName() const { return Name; }

 private:
  std::FILE* Handle();
  [[noreturn]] void RaiseWriteError(int error);
  void UseLargeBuffer();

  // Codecs read and write in pieces of a few kilobytes; a buffer of this
  // size turns them into few system calls.
  static constexpr std::size_t BufferSize = 1 << 16;
  std::unique_ptr<char[]> Buffer;
  std::FILE* File = nullptr;
  bool WriteBack = false;
  std::int64_t Unsent = 0;  // bytes written since the disk was last asked to take them
  std::string Name;
  int WriteError = 0;  // errno of the first refused write
};

// A growable block in memory, owned by the stream.
class TMemoryStream : public TStream {
 public:
  TMemoryStream() = default;
  explicit TMemoryStream(std::vector<std::uint8_t> data) : Data(std::move(data)) {}
  std::int64_t Read(void* buffer, std::int64_t count) override;
  std::int64_t Write(const void* buffer, std::int64_t count) override;
  std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;
  std::int64_t Size() override { return static_cast<std::int64_t>(Data.size()); }
  const std::vector<std::uint8_t>& Bytes() const { return Data; }
  std::vector<std::uint8_t>& Bytes() { return Data; }
  void Clear() { Data.clear(); Pos = 0; }

 private:
  std::vector<std::uint8_t> Data;
  std::int64_t Pos = 0;
};

// A stream over a foreign block of fixed size that it neither copies nor owns.
class TMyMemoryStream : public TStream {
 public:
  void SetPointer(void* block, std::int64_t size);
  void ClearPointer() { SetPointer(nullptr, 0); }
  std::int64_t Read(void* buffer, std::int64_t count) override;
  std::int64_t Write(const void* buffer, std::int64_t count) override;
  std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;
  std::int64_t Size() override { return BlockSize; }

 private:
  std::uint8_t* Block = nullptr;
  std::int64_t BlockSize = 0;
  std::int64_t Pos = 0;
};
