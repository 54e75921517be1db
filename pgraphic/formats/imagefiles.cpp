#include "pgraphic/formats/imagefiles.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "pgraphic/core/pixelgraphic.h"
#include "pgraphic/core/settings.h"
#include "pgraphic/core/stagedfile.h"
#include "pgraphic/core/stream.h"
#include "pgraphic/formats/bmp.h"
#include "pgraphic/formats/registry.h"

namespace {

std::string SystemError(const std::string& what, const std::string& fileName) {
  return what + " \"" + fileName + "\". " + std::strerror(errno);
}

// A read-only window on part of another stream: a reader given the counted
// bytes of the image's own persistence cannot run past them.
class TWindowStream : public TStream {
 public:
  TWindowStream(TStream& base, std::int64_t start, std::int64_t size)
      : Base(base), Start(start), Length(size) {}
  std::int64_t Read(void* buffer, std::int64_t count) override {
    count = std::min(count, Length - Pos);
    if (count <= 0) return 0;
    Base.SetPosition(Start + Pos);
    const std::int64_t n = Base.Read(buffer, count);
    Pos += std::max<std::int64_t>(n, 0);
    return n;
  }
  std::int64_t Write(const void*, std::int64_t) override { return 0; }
  std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override {
    const std::int64_t base = origin == TSeekOrigin::soBeginning ? 0
                              : origin == TSeekOrigin::soCurrent ? Pos
                                                                 : Length;
    if (base + offset < 0) throw EStreamError("Stream seek error");
    Pos = base + offset;
    return Pos;
  }
  std::int64_t Size() override { return Length; }

 private:
  TStream& Base;
  std::int64_t Start;
  std::int64_t Length;
  std::int64_t Pos = 0;
};

// A stream over a clipboard block.
class TBlockStream : public TMyMemoryStream {
 public:
  explicit TBlockStream(TPGClipboardBlock& block) {
    SetPointer(block.Data(), std::int64_t(block.Size()));
  }
};

void PutLE32(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = std::uint8_t(v >> (8 * i));
}

std::int64_t ReadLE32(TStream& stream) {
  std::uint8_t b[4];
  stream.ReadBuffer(b, 4);
  std::int64_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | b[i];
  return v;
}

}  // namespace

// ---------------------------------------------------------------- files

void LoadImageFile(TPixelGraphic& image, const std::string& fileName) {
  struct stat st {};
  if (::stat(fileName.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
    errno = EISDIR;
    throw EStreamError(SystemError("Cannot open file", fileName));
  }
  TFileStream stream(fileName, TFileStream::fmOpenRead);
  LoadImageThroughRegistry(image, stream, FileExtensionOf(fileName), 0);
}

void SaveImageFile(TPixelGraphic& image, const std::string& fileName) {
  std::vector<TStagedFile> file;
  file.emplace_back(fileName);
  SaveImageThroughRegistry(image, file.back().Stream(), FileExtensionOf(fileName));
  CommitStagedFiles(file);
}

// ---------------------------------------------------------------- own persistence

void WriteImageData(TPixelGraphic& image, TStream& stream) {
  const std::int64_t start = stream.Position();
  const std::uint8_t placeholder[4] = {};
  stream.WriteBuffer(placeholder, 4);
  DefaultWriter().Write(stream, image);
  const std::int64_t end = stream.Position();
  if (end - start - 4 > 0xFFFFFFFFll) throw EStreamError("Stream write error");
  std::uint8_t length[4];
  PutLE32(length, std::uint32_t(end - start - 4));
  stream.SetPosition(start);
  stream.WriteBuffer(length, 4);
  stream.SetPosition(end);
}

void ReadImageData(TPixelGraphic& image, TStream& stream) {
  const std::int64_t length = ReadLE32(stream);
  const std::int64_t start = stream.Position();
  if (length > stream.Size() - start) throw EStreamError("Stream read error");
  TWindowStream window(stream, start, length);
  try {
    LoadImageThroughRegistry(image, window, "bmp", 0);
  } catch (...) {
    stream.SetPosition(start + length);
    throw;
  }
  stream.SetPosition(start + length);
}

// ---------------------------------------------------------------- clipboard

void LoadFromClipboardFormat(TPixelGraphic& image, unsigned format, TPGClipboardBlock* data) {
  if ((format != PGClipboardBitmap && format != PGClipboardPackedBitmap) || !data)
    RaisePG<EPGUnknownClipboardFormat>(msgUnknownClipboardFormat);
  image.FlushPending();
  TPGUpdateGuard update(image);
  TBlockStream stream(*data);
  ReadBmpBitmapPart(stream, image);
  image.FileGamma = PGSettings().DisplayGamma;
  image.ClassifyPalette();
}

std::unique_ptr<TPGClipboardBlock> SaveToClipboardFormat(TPixelGraphic& image, unsigned& format) {
  auto block = std::make_unique<TPGClipboardBlock>(std::size_t(BmpBitmapPartSize(image)));
  TBlockStream stream(*block);
  WriteBmpBitmapPart(stream, image);
  format = PGClipboardPackedBitmap;
  return block;
}

// ---------------------------------------------------------------- the image's members

void TPixelGraphic::LoadFromFile(const std::string& fileName) { LoadImageFile(*this, fileName); }

void TPixelGraphic::LoadFromStream(TStream& stream) { LoadFromStreamExt(stream, "", 0); }

void TPixelGraphic::LoadFromStreamExt(TStream& stream, const std::string& extension, int index) {
  LoadImageThroughRegistry(*this, stream, extension, index);
}

void TPixelGraphic::SaveToFile(const std::string& fileName) { SaveImageFile(*this, fileName); }

void TPixelGraphic::SaveToStreamExt(TStream& stream, const std::string& extension) {
  SaveImageThroughRegistry(*this, stream, extension);
}

void TPixelGraphic::SaveToStream(TStream& stream) { DefaultWriter().Write(stream, *this); }
