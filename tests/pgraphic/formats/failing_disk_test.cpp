// Image saves on a disk that gives out halfway: every writer reports it, the
// old file stays as it was, no temporary file is left, and the reason with
// the target's name reaches the caller.

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <functional>

#include "pgraphic/core/errors.h"
#include "pgraphic/formats/codec_test_support.h"
#include "pgraphic/formats/registry.h"
#include "support/failing_disk.h"
#include "support/peer.h"

namespace {

namespace fs = std::filesystem;
using faildisk::Entries;
using faildisk::TOutcome;

// A disk that fills up after Capacity bytes: later writes are cut short.
class TFillingStream : public TMemoryStream {
 public:
  explicit TFillingStream(std::int64_t capacity) : Capacity(capacity) {}
  std::int64_t Write(const void* buffer, std::int64_t count) override {
    const std::int64_t room = std::max<std::int64_t>(0, Capacity - Position());
    return TMemoryStream::Write(buffer, std::min(count, room));
  }

 private:
  std::int64_t Capacity;
};

// A disk that fails loudly after Capacity bytes, as a file stream does.
class TRefusingStream : public TMemoryStream {
 public:
  static constexpr const char* Reason = "Cannot write file \"disk\". No space left on device";
  explicit TRefusingStream(std::int64_t capacity) : Capacity(capacity) {}
  std::int64_t Write(const void* buffer, std::int64_t count) override {
    if (Position() + count > Capacity) throw EStreamError(Reason);
    return TMemoryStream::Write(buffer, count);
  }

 private:
  std::int64_t Capacity;
};

void PatternImage(TPixelGraphic& image, int width, int height) {
  peer::FromRgb(image, peer::Pattern(width, height));
  // Writers of fewer colours convert silently instead of asking.
  image.SaveColorResWarningAction = pgwaIgnore;
}

std::vector<std::uint8_t> PixelBytes(TPixelGraphic& image) {
  return std::vector<std::uint8_t>(image.Bits(), image.Bits() + image.ImageSize());
}

std::string WriteFailure(const std::function<void()>& action) {
  return codectest::MessageOf<EStreamError>(action);
}

std::vector<std::string> WriterExtensions() {
  std::vector<std::string> extensions;
  for (const auto& writer : FileFormatWriters()) extensions.push_back(writer->Extension);
  return extensions;
}

std::int64_t FullSize(TPixelGraphic& image, const std::string& extension) {
  TMemoryStream all;
  image.SaveToStreamExt(all, extension);
  return all.Size();
}

// Where a disk may give out: at once, after one byte, in the middle, one
// byte before the end.
std::vector<std::int64_t> CutPoints(std::int64_t size) {
  return {0, 1, size / 3, size / 2, size - 1};
}

// The message of what saving into stream threw ("" when it returned).
template <class Stream>
std::string SaveFailure(TPixelGraphic& image, Stream& stream, const std::string& extension) {
  try {
    image.SaveToStreamExt(stream, extension);
  } catch (const EPixelGraphic& e) {
    return std::string("EPixelGraphic: ") + e.what();
  } catch (const EStreamError& e) {
    return std::string("EStreamError: ") + e.what();
  }
  return "";
}

TEST(FullStream, EveryWriterFailsWhereverTheDiskFills) {
  TPixelGraphic image;
  PatternImage(image, 37, 23);
  const auto pixels = PixelBytes(image);
  for (const std::string& extension : WriterExtensions()) {
    const std::int64_t size = FullSize(image, extension);
    ASSERT_GT(size, 1) << extension;
    for (std::int64_t cut : CutPoints(size)) {
      TFillingStream stream(cut);
      EXPECT_NE(SaveFailure(image, stream, extension), "")
          << extension << " cut at " << cut << " of " << size;
    }
    EXPECT_EQ(PixelBytes(image), pixels) << extension;
  }
}

TEST(FullStream, StreamErrorsPassThroughEveryWriterUnchanged) {
  TPixelGraphic image;
  PatternImage(image, 37, 23);
  const std::string expected = std::string("EStreamError: ") + TRefusingStream::Reason;
  for (const std::string& extension : WriterExtensions()) {
    const std::int64_t size = FullSize(image, extension);
    for (std::int64_t cut : CutPoints(size)) {
      TRefusingStream stream(cut);
      EXPECT_EQ(SaveFailure(image, stream, extension), expected) << extension << " cut at " << cut;
    }
  }
}

TEST(FullStream, AFittingDiskTakesTheWholeFile) {
  TPixelGraphic image;
  PatternImage(image, 37, 23);
  for (const std::string& extension : WriterExtensions()) {
    TMemoryStream reference;
    image.SaveToStreamExt(reference, extension);
    TFillingStream exact(reference.Size());
    EXPECT_EQ(SaveFailure(image, exact, extension), "") << extension;
    EXPECT_EQ(exact.Bytes(), reference.Bytes()) << extension;
  }
}

// ---- files

class FailingFileSave : public ::testing::Test {
 protected:
  void SetUp() override { Dir = faildisk::ScratchDir("formats"); }
  std::string Path(const std::string& name) const { return (Dir / name).string(); }
  // Saves under a file size limit in a child process.
  TOutcome SaveLimited(TPixelGraphic& image, const std::string& name, rlim_t limit) {
    const std::string path = Path(name);
    return faildisk::WithFileSizeLimit(limit, [&] { image.SaveToFile(path); });
  }
  void ExpectFailure(const TOutcome& outcome, const std::string& what, const std::string& name,
                     int error) {
    ASSERT_TRUE(outcome.Finished);
    EXPECT_TRUE(outcome.Threw);
    EXPECT_TRUE(faildisk::IsA<EStreamWriteError>(outcome)) << outcome.Type;
    EXPECT_EQ(outcome.Message, what + " \"" + Path(name) + "\". " + std::strerror(error));
  }

  fs::path Dir;
};

// Small images stay in the stream's buffer until the close; large ones hit
// the limit while being written: both roads must end the same way.
TEST_F(FailingFileSave, FileSizeLimitKeepsTheOldSliceAndLeavesNoTemporary) {
  for (int side : {8, 96}) {
    TPixelGraphic image;
    PatternImage(image, side, side);
    for (const char* extension : {"bmp", "jpg", "png", "tif", "ppm", "tga"}) {
      const std::string name = std::string("old.") + extension;
      faildisk::Write(Dir / name, "old bytes");
      const rlim_t limit = rlim_t(FullSize(image, extension) / 2);
      ExpectFailure(SaveLimited(image, name, limit), "Cannot write file", name, EFBIG);
      EXPECT_EQ(faildisk::Read(Dir / name), "old bytes") << name;
      EXPECT_EQ(Entries(Dir), std::vector<std::string>{name}) << side;
      fs::remove(Dir / name);
    }
  }
}

TEST_F(FailingFileSave, FileSizeLimitLeavesNoNewFile) {
  TPixelGraphic image;
  PatternImage(image, 40, 30);
  ExpectFailure(SaveLimited(image, "new.png", 100), "Cannot write file", "new.png", EFBIG);
  EXPECT_TRUE(Entries(Dir).empty());
}

// The limit mechanism itself must let a file that fits through whole.
TEST_F(FailingFileSave, FileThatJustFitsTheLimitIsWritten) {
  TPixelGraphic image;
  PatternImage(image, 40, 30);
  TMemoryStream reference;
  image.SaveToStreamExt(reference, "bmp");
  const TOutcome outcome = SaveLimited(image, "fits.bmp", rlim_t(reference.Size()));
  ASSERT_TRUE(outcome.Finished);
  EXPECT_FALSE(outcome.Threw) << outcome.Message;
  EXPECT_EQ(peer::ReadFile(Path("fits.bmp")), reference.Bytes());
  EXPECT_EQ(Entries(Dir), std::vector<std::string>{"fits.bmp"});
}

// Root writes into any directory whatever its mode bits; an immutable one
// refuses even root, which is the read-only directory of this test.
TEST_F(FailingFileSave, ReadOnlyDirectoryKeepsTheOldFile) {
  faildisk::Write(Dir / "old.jpg", "old bytes");
  TPixelGraphic image;
  PatternImage(image, 20, 20);
  std::string message;
  {
    faildisk::TImmutableDir frozen(Dir);
    if (!frozen.Active()) GTEST_SKIP() << "no immutable directories on this file system";
    message = WriteFailure([&] { image.SaveToFile(Path("old.jpg")); });
  }
  EXPECT_EQ(message, "Cannot create file \"" + Path("old.jpg") + "\". " + std::strerror(EPERM));
  EXPECT_EQ(faildisk::Read(Dir / "old.jpg"), "old bytes");
  EXPECT_EQ(Entries(Dir), std::vector<std::string>{"old.jpg"});
}

TEST_F(FailingFileSave, DirectoryAsTargetStaysAndTakesNoTemporary) {
  fs::create_directory(Dir / "slice.png");
  TPixelGraphic image;
  PatternImage(image, 20, 20);
  EXPECT_EQ(WriteFailure([&] { image.SaveToFile(Path("slice.png")); }),
            "Cannot create file \"" + Path("slice.png") + "\". " + std::strerror(EISDIR));
  EXPECT_TRUE(fs::is_empty(Dir / "slice.png"));
  EXPECT_EQ(Entries(Dir), std::vector<std::string>{"slice.png"});
}

TEST_F(FailingFileSave, MissingDirectoryIsReported) {
  TPixelGraphic image;
  PatternImage(image, 4, 4);
  const std::string path = Path("gone/slice.bmp");
  EXPECT_EQ(WriteFailure([&] { image.SaveToFile(path); }),
            "Cannot create file \"" + path + "\". " + std::strerror(ENOENT));
  EXPECT_TRUE(Entries(Dir).empty());
}

// ---- the file stream itself

const std::string kFullDisk =
    "Cannot write file \"/dev/full\". " + std::string(std::strerror(ENOSPC));

TEST(FileStreamFailures, FullDeviceIsReportedByFlushCloseAndLargeWrites) {
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  const std::vector<std::uint8_t> small(10, 1), large(1 << 20, 2);
  {
    TFileStream stream("/dev/full", TFileStream::fmCreate);
    stream.WriteBuffer(small.data(), 10);  // still in the buffer
    EXPECT_EQ(WriteFailure([&] { stream.Flush(); }), kFullDisk);
  }
  {
    TFileStream stream("/dev/full", TFileStream::fmCreate);
    stream.WriteBuffer(small.data(), 10);
    EXPECT_EQ(WriteFailure([&] { stream.Close(); }), kFullDisk);
    // Closed either way; later use is an error, not a crash.
    EXPECT_EQ(WriteFailure([&] { stream.WriteBuffer(small.data(), 10); }),
              "File \"/dev/full\" is closed");
  }
  TFileStream stream("/dev/full", TFileStream::fmCreate);
  EXPECT_EQ(WriteFailure([&] { stream.Write(large.data(), std::int64_t(large.size())); }),
            kFullDisk);
  // The first refusal is remembered for the close.
  EXPECT_EQ(WriteFailure([&] { stream.Close(); }), kFullDisk);
}

TEST(FileStreamFailures, WriteOverTheSizeLimitNamesFileAndReason) {
  const fs::path dir = faildisk::ScratchDir("formats");
  const std::string path = (dir / "big.bin").string();
  const std::vector<std::uint8_t> bytes(64 * 1024, 7);
  const TOutcome outcome = faildisk::WithFileSizeLimit(1000, [&] {
    TFileStream stream(path, TFileStream::fmCreate);
    stream.WriteBuffer(bytes.data(), std::int64_t(bytes.size()));
  });
  EXPECT_TRUE(outcome.Threw);
  EXPECT_EQ(outcome.Message, "Cannot write file \"" + path + "\". " + std::strerror(EFBIG));
}

TEST(FileStreamFailures, CloseKeepsACompleteFile) {
  const fs::path dir = faildisk::ScratchDir("formats");
  const std::string path = (dir / "ok.bin").string();
  TFileStream stream(path, TFileStream::fmCreate);
  stream.WriteBuffer("abc", 3);
  stream.Close();
  EXPECT_EQ(faildisk::Read(path), "abc");
}

}  // namespace
