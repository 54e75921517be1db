#include "pgraphic/formats/jpeg/jpeg_markers.h"

#include <cstring>
#include <vector>

namespace {

constexpr std::uint8_t kSOS = 0xDA;
constexpr std::uint8_t kEOI = 0xD9;

// Standalone markers carry no length: start of image, restarts, TEM. A
// stuffed zero is entropy-coded data.
bool Standalone(std::uint8_t marker) {
  return marker == 0x00 || marker == 0x01 || (marker >= 0xD0 && marker <= 0xD8);
}

// Reads the stream in large pieces; skips past them by seeking.
class TByteWalk {
 public:
  explicit TByteWalk(TStream& stream) : Stream(stream), Buffer(1 << 16) {}

  bool Next(std::uint8_t& b) {
    if (Pos == Len && !Fill()) return false;
    b = Buffer[Pos++];
    return true;
  }

  // Moves past the next FF byte; false when none is left.
  bool PastNextFF() {
    for (;;) {
      if (Pos == Len && !Fill()) return false;
      const void* found = std::memchr(Buffer.data() + Pos, 0xFF, Len - Pos);
      if (found) {
        Pos = std::size_t(static_cast<const std::uint8_t*>(found) - Buffer.data()) + 1;
        return true;
      }
      Pos = Len;
    }
  }

  bool Skip(std::uint64_t count) {
    if (count <= Len - Pos) {
      Pos += std::size_t(count);
      return true;
    }
    count -= Len - Pos;
    Pos = Len = 0;
    const std::int64_t left = Stream.Remaining();
    if (left < 0 || count > std::uint64_t(left)) return false;
    Stream.Seek(std::int64_t(count), TSeekOrigin::soCurrent);
    return true;
  }

 private:
  bool Fill() {
    const std::int64_t got = Stream.Read(Buffer.data(), std::int64_t(Buffer.size()));
    Pos = 0;
    Len = got > 0 ? std::size_t(got) : 0;
    return Len > 0;
  }

  TStream& Stream;
  std::vector<std::uint8_t> Buffer;
  std::size_t Pos = 0;
  std::size_t Len = 0;
};

std::uint64_t CountFromHere(TByteWalk& walk, std::uint64_t limit) {
  std::uint64_t scans = 0;
  std::uint8_t marker = 0, high = 0, low = 0;
  while (scans <= limit && walk.PastNextFF()) {
    do {
      if (!walk.Next(marker)) return scans;
    } while (marker == 0xFF);  // fill bytes before a marker
    if (Standalone(marker)) continue;
    if (marker == kEOI) break;
    if (!walk.Next(high) || !walk.Next(low)) break;
    const unsigned length = unsigned(high) << 8 | low;
    if (length < 2) break;  // the codec refuses this itself
    if (marker == kSOS) ++scans;
    if (!walk.Skip(length - 2)) break;
  }
  return scans;
}

}  // namespace

std::uint64_t PGCountJpegScans(TStream& stream, std::uint64_t limit) {
  const std::int64_t start = stream.Position();
  TByteWalk walk(stream);
  const std::uint64_t scans = CountFromHere(walk, limit);
  stream.SetPosition(start);
  return scans;
}
