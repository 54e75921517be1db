#include "pgraphic/formats/png/png_parts.h"

#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "pgraphic/core/errors.h"
#include "pgraphic/core/simd.h"
#include "pgraphic/core/threadpool.h"

namespace {

// A part is about this much filtered data: its seams move the file's size
// by some kilobytes at most on 100 MB of rows (a score of bytes a part, up
// or down), and few parts in flight take little memory.
constexpr std::size_t kPartBytes = std::size_t(1) << 20;
constexpr std::size_t kWindow = 32768;
constexpr std::size_t kPartsForThreads = 8;
// Largest chunk written; a part larger than this spans several.
constexpr std::size_t kMaxChunk = std::size_t(1) << 30;

[[noreturn]] void Fail(const std::string& what) {
  throw EPGPNGFileFormatReaderWriter("PNG: " + what);
}

// ---- filtering

using TByte = std::uint8_t;
using TRowSource = std::function<const std::uint8_t*(std::uint32_t)>;

// What libpng weighs a filtered byte by: its distance from zero, read signed
// (0 to 128), worked out in bytes so that vectors hold many.
inline TByte Weight(TByte v) {
  const TByte negated = TByte(-v);
  return v < negated ? v : negated;
}

// In 16 bits, which hold every distance (up to 510), so that vectors hold
// sixteen at a time.
inline std::int16_t Distance(std::int16_t v) { return v < 0 ? std::int16_t(-v) : v; }

inline TByte Paeth(TByte a, TByte b, TByte c) {
  const std::int16_t bc = std::int16_t(b - c), ac = std::int16_t(a - c);
  const std::int16_t pa = Distance(bc), pb = Distance(ac), pc = Distance(std::int16_t(bc + ac));
  const TByte nearer = pb <= pc ? b : c;
  return pa <= pb && pa <= pc ? a : nearer;
}

// The filter type (none, sub, up, average, Paeth) whose bytes weigh least,
// the lowest on a tie. The first step bytes have no left neighbour. All five
// are weighed in one pass, stretch by stretch, summed in 16 bits within a
// stretch (256 bytes weigh at most 2^15) so that vectors hold many sums.
PG_WIDE int ChooseFilter(const TByte* __restrict cur, const TByte* __restrict prev, std::size_t n,
                         std::size_t step) {
  constexpr std::size_t kStretch = 256;
  unsigned long long sums[5] = {};
  const std::size_t head = std::min(step, n);
  for (std::size_t i = 0; i < head; ++i) {
    sums[0] += Weight(cur[i]);
    sums[1] += Weight(cur[i]);
    sums[2] += Weight(TByte(cur[i] - prev[i]));
    sums[3] += Weight(TByte(cur[i] - (prev[i] >> 1)));
    sums[4] += Weight(TByte(cur[i] - prev[i]));
  }
  for (std::size_t from = head; from < n; from += kStretch) {
    const std::size_t to = std::min(n, from + kStretch);
    std::uint16_t none = 0, sub = 0, up = 0, average = 0, paeth = 0;
    for (std::size_t i = from; i < to; ++i) {
      const TByte c = cur[i], a = cur[i - step], b = prev[i], d = prev[i - step];
      none = std::uint16_t(none + Weight(c));
      sub = std::uint16_t(sub + Weight(TByte(c - a)));
      up = std::uint16_t(up + Weight(TByte(c - b)));
      average = std::uint16_t(average + Weight(TByte(c - ((a + b) >> 1))));
      paeth = std::uint16_t(paeth + Weight(TByte(c - Paeth(a, b, d))));
    }
    sums[0] += none, sums[1] += sub, sums[2] += up, sums[3] += average, sums[4] += paeth;
  }
  return int(std::min_element(sums, sums + 5) - sums);
}

PG_WIDE void FilterRow(int type, const TByte* __restrict cur, const TByte* __restrict prev,
                       TByte* __restrict out, std::size_t n, std::size_t step) {
  const std::size_t head = std::min(step, n);
  switch (type) {
    case 1:
      for (std::size_t i = 0; i < head; ++i) out[i] = cur[i];
      for (std::size_t i = head; i < n; ++i) out[i] = TByte(cur[i] - cur[i - step]);
      return;
    case 2:
      for (std::size_t i = 0; i < n; ++i) out[i] = TByte(cur[i] - prev[i]);
      return;
    case 3:
      for (std::size_t i = 0; i < head; ++i) out[i] = TByte(cur[i] - (prev[i] >> 1));
      for (std::size_t i = head; i < n; ++i) out[i] = TByte(cur[i] - ((cur[i - step] + prev[i]) >> 1));
      return;
    case 4:
      for (std::size_t i = 0; i < head; ++i) out[i] = TByte(cur[i] - prev[i]);
      for (std::size_t i = head; i < n; ++i) out[i] = TByte(cur[i] - Paeth(cur[i - step], prev[i], prev[i - step]));
      return;
    default:
      std::memcpy(out, cur, n);
  }
}

// Filters rows first to end - 1 into out, filter byte and bytes for each;
// the row before first is read again for the filters that look up.
void FilterRows(const TPngPartsPlan& plan, const TRowSource& row, std::uint32_t first, std::uint32_t end,
                std::uint8_t* out) {
  const std::size_t n = plan.RowBytes, step = std::size_t(plan.FilterStep);
  std::vector<std::uint8_t> cur(n), prev(n, 0);
  const auto take = [&](std::uint32_t y, std::vector<std::uint8_t>& to) {
    const std::uint8_t* in = row(y);
    if (!plan.SwapRedBlue) return (void)std::memcpy(to.data(), in, n);
    for (std::size_t i = 0; i + 2 < n; i += 3) {
      to[i] = in[i + 2];
      to[i + 1] = in[i + 1];
      to[i + 2] = in[i];
    }
  };
  if (first > 0 && plan.Filter) take(first - 1, prev);
  for (std::uint32_t y = first; y < end; ++y, out += n + 1) {
    take(y, cur);
    const int type = plan.Filter ? ChooseFilter(cur.data(), prev.data(), n, step) : 0;
    out[0] = std::uint8_t(type);
    FilterRow(type, cur.data(), prev.data(), out + 1, n, step);
    cur.swap(prev);
  }
}

// ---- one part

struct TPart {
  std::uint32_t First = 0, End = 0;  // its rows
  // Its rows as they came, from RowsFirst on (the rows its filtering looks
  // back at included); freed once filtered.
  std::vector<std::uint8_t> Rows;
  std::uint32_t RowsFirst = 0;
  std::vector<std::uint8_t> Before;  // the last 32 KB of the data before this part
  std::vector<std::uint8_t> Raw;     // filter byte and filtered row, row after row; freed once packed
  std::size_t RawSize = 0;
  std::vector<std::uint8_t> Packed;
  uLong Adler = 1;
  std::exception_ptr Error;
  bool Done = false;
};

// Deflates part, primed with the data before it; the last part ends the stream.
void Deflate(TPart& part, bool last, const TPngPartsPlan& plan) {
  z_stream z{};
  if (deflateInit2(&z, plan.Level, Z_DEFLATED, -15, 8, plan.Strategy) != Z_OK) throw std::bad_alloc();
  struct TEnd {
    z_stream& Z;
    ~TEnd() { deflateEnd(&Z); }
  } end{z};
  if (!part.Before.empty() && deflateSetDictionary(&z, part.Before.data(), uInt(part.Before.size())) != Z_OK)
    Fail("Internal Error");
  part.Adler = adler32(1, part.Raw.data(), uInt(part.Raw.size()));
  z.next_in = part.Raw.data();
  z.avail_in = uInt(part.Raw.size());
  // The output grows as it comes: a flat part packs into a few kilobytes.
  const int flush = last ? Z_FINISH : Z_SYNC_FLUSH;
  std::size_t used = 0;
  part.Packed.resize(std::min<std::size_t>(std::size_t(1) << 16, deflateBound(&z, uLong(part.Raw.size())) + 16));
  for (;;) {
    z.next_out = part.Packed.data() + used;
    z.avail_out = uInt(part.Packed.size() - used);
    const int result = deflate(&z, flush);
    used = part.Packed.size() - z.avail_out;
    if (result == Z_STREAM_ERROR) Fail("Internal Error");
    if (last ? result == Z_STREAM_END : z.avail_in == 0 && z.avail_out > 0) break;
    part.Packed.resize(part.Packed.size() * 2);
  }
  part.Packed.resize(used);
  part.RawSize = part.Raw.size();
  std::vector<std::uint8_t>().swap(part.Raw);
}

// Rows of the data before a part that are filtered again for its priming:
// enough for 32 KB of filtered data, never more than a part.
std::size_t PrimingRows(const TPngPartsPlan& plan, std::size_t rowsPerPart) {
  const std::size_t line = plan.RowBytes + 1;
  return std::min<std::size_t>(rowsPerPart, (kWindow + line - 1) / line);
}

// The part's own filtered rows, and the 32 KB of filtered data before them
// (from the rows of the part before, filtered again here) as its priming,
// all from the part's copy of its rows.
void Prepare(TPart& part, const TPngPartsPlan& plan, std::size_t rowsPerPart) {
  const std::size_t line = plan.RowBytes + 1;
  const TRowSource row = [&part, n = plan.RowBytes](std::uint32_t y) {
    return part.Rows.data() + std::size_t(y - part.RowsFirst) * n;
  };
  if (part.First > 0) {
    const auto back = std::uint32_t(PrimingRows(plan, rowsPerPart));
    std::vector<std::uint8_t> tail(std::size_t(back) * line);
    FilterRows(plan, row, part.First - back, part.First, tail.data());
    part.Before.assign(tail.end() - std::ptrdiff_t(std::min(kWindow, tail.size())), tail.end());
  }
  part.Raw.resize(std::size_t(part.End - part.First) * line);
  FilterRows(plan, row, part.First, part.End, part.Raw.data());
  std::vector<std::uint8_t>().swap(part.Rows);
}

// ---- chunks

void PutBE32(std::uint8_t* p, std::uint32_t v) {
  p[0] = std::uint8_t(v >> 24);
  p[1] = std::uint8_t(v >> 16);
  p[2] = std::uint8_t(v >> 8);
  p[3] = std::uint8_t(v);
}

// A stream that takes fewer bytes than given fails as it does under libpng.
void Put(TStream& stream, const std::uint8_t* data, std::size_t size) {
  if (size > 0 && stream.Write(data, std::int64_t(size)) != std::int64_t(size)) Fail("Write Error");
}

void WriteChunk(TStream& stream, const char* type, const std::uint8_t* data, std::size_t size) {
  std::uint8_t head[8];
  PutBE32(head, std::uint32_t(size));
  std::memcpy(head + 4, type, 4);
  uLong crc = crc32(0, head + 4, 4);
  if (size > 0) crc = crc32(crc, data, uInt(size));
  std::uint8_t tail[4];
  PutBE32(tail, std::uint32_t(crc));
  Put(stream, head, 8);
  Put(stream, data, size);
  Put(stream, tail, 4);
}

// The zlib stream's two header bytes, as zlib writes them for the level.
void ZlibHeader(const TPngPartsPlan& plan, std::uint8_t* header) {
  const int levelFlags = plan.Strategy >= Z_HUFFMAN_ONLY || plan.Level < 2 ? 0
                         : plan.Level < 6                                  ? 1
                         : plan.Level == 6                                 ? 2
                                                                           : 3;
  unsigned value = (Z_DEFLATED + (7 << 4)) << 8 | unsigned(levelFlags) << 6;
  value += 31 - value % 31;
  header[0] = std::uint8_t(value >> 8);
  header[1] = std::uint8_t(value);
}

// ---- the parts in flight

// Compresses the parts handed to it on the pool, PGWorkers workers at most,
// and writes them in order. A small image (a slice, say, while other slices
// keep the cores busy) is not worth threads of its own: the caller
// compresses its parts, and so it does from the first part no thread of
// the pool takes on.
class TPartPipeline {
 public:
  TPartPipeline(TStream& stream, const TPngPartsPlan& plan, const TRowSource& row,
                const std::function<void(std::uint32_t)>& progress, std::size_t rowsPerPart, std::size_t parts)
      : Stream(stream), Plan(plan), Row(row), Progress(progress), RowsPerPart(rowsPerPart), Parts(parts),
        Workers(parts >= kPartsForThreads ? std::min<std::size_t>(std::size_t(PGWorkers()), parts) : 0),
        MaxInFlight(Workers + 1), Compressing(int(std::max<std::size_t>(Workers, 1))) {}
  TPartPipeline(const TPartPipeline&) = delete;
  TPartPipeline& operator=(const TPartPipeline&) = delete;

  // Rows first to end - 1 go to be filtered and compressed as the next
  // part. Their bytes are copied here first, on the caller's thread, each
  // row read once and in order: a source that lets rows go once they are
  // passed (an image still loading) is never asked for one again. At most a
  // few parts are held at once: the parts done at the front are written
  // while waiting for room.
  void Submit(std::uint32_t first, std::uint32_t end) {
    auto fresh = std::make_unique<TPart>();
    fresh->First = first;
    fresh->End = end;
    Copy(*fresh);
    std::unique_lock<std::mutex> lock(Lock);
    for (;;) {
      WriteDone(lock, false);
      if (InFlight.size() < MaxInFlight) break;
      Changed.wait(lock);
    }
    InFlight.push_back(std::move(fresh));
    TPart& part = *InFlight.back();
    const std::size_t number = Submitted++;
    lock.unlock();
    if (Workers > 0 && Compressing.RunOnThread([this, &part, number] { Compress(part, number); })) return;
    Workers = 0;
    Compress(part, number);
  }
  // Every part is written; the stream ends.
  void Finish() {
    std::unique_lock<std::mutex> lock(Lock);
    WriteDone(lock, true);
  }

 private:
  // The rows the part's filtering looks back at come from those kept of
  // the part before.
  void Copy(TPart& part) {
    const std::size_t n = Plan.RowBytes;
    const auto look = std::uint32_t(PrimingRows(Plan, RowsPerPart) + 1);
    part.RowsFirst = part.First - std::min(part.First, look);
    part.Rows.resize(std::size_t(part.End - part.RowsFirst) * n);
    std::uint8_t* to = part.Rows.data();
    for (std::uint32_t y = part.RowsFirst; y < part.First; ++y, to += n)
      std::memcpy(to, Kept.data() + std::size_t(y - KeptFirst) * n, n);
    for (std::uint32_t y = part.First; y < part.End; ++y, to += n) std::memcpy(to, Row(y), n);
    const std::uint32_t keep = std::min(part.End - part.RowsFirst, look);
    KeptFirst = part.End - keep;
    Kept.assign(part.Rows.end() - std::ptrdiff_t(std::size_t(keep) * n), part.Rows.end());
  }
  void Compress(TPart& part, std::size_t number) {
    try {
      Prepare(part, Plan, RowsPerPart);
      Deflate(part, number + 1 == Parts, Plan);
    } catch (...) {
      part.Error = std::current_exception();
    }
    {
      std::lock_guard<std::mutex> guard(Lock);
      part.Done = true;
    }
    Changed.notify_all();
  }
  // Writes the finished parts at the front, in order; with all, waits for
  // every part.
  void WriteDone(std::unique_lock<std::mutex>& lock, bool all) {
    for (;;) {
      if (InFlight.empty() || (!all && !InFlight.front()->Done)) return;
      if (!InFlight.front()->Done) {
        Changed.wait(lock);
        continue;
      }
      std::unique_ptr<TPart> part = std::move(InFlight.front());
      InFlight.pop_front();
      ++Written;
      lock.unlock();
      Changed.notify_all();
      Put(*part);
      lock.lock();
    }
  }
  void Put(TPart& part) {
    if (part.Error) std::rethrow_exception(part.Error);
    const bool first = Written == 1, last = Written == Parts;
    Adler = first ? part.Adler : adler32_combine(Adler, part.Adler, z_off_t(part.RawSize));
    std::vector<std::uint8_t>& data = part.Packed;
    if (first) {
      std::uint8_t header[2];
      ZlibHeader(Plan, header);
      data.insert(data.begin(), header, header + 2);
    }
    if (last) {
      std::uint8_t trailer[4];
      PutBE32(trailer, std::uint32_t(Adler));
      data.insert(data.end(), trailer, trailer + 4);
    }
    for (std::size_t at = 0; at < data.size(); at += kMaxChunk)
      WriteChunk(Stream, "IDAT", data.data() + at, std::min(kMaxChunk, data.size() - at));
    for (std::uint32_t y = part.First; y < part.End; ++y) Progress(y);
  }

  TStream& Stream;
  const TPngPartsPlan& Plan;
  const TRowSource& Row;
  const std::function<void(std::uint32_t)>& Progress;
  std::size_t RowsPerPart;
  std::size_t Parts;
  std::vector<std::uint8_t> Kept;  // the last rows copied, from KeptFirst on; the caller's
  std::uint32_t KeptFirst = 0;
  std::size_t Workers;  // 0 once the caller compresses
  std::size_t MaxInFlight;
  std::mutex Lock;
  std::condition_variable Changed;
  std::deque<std::unique_ptr<TPart>> InFlight;  // part number Written + i at place i
  std::size_t Submitted = 0;
  std::size_t Written = 0;
  uLong Adler = 1;  // of the parts written
  // Last, so that it goes first: the parts not begun are dropped, and those
  // compressing end before what they work on goes.
  TPGTaskGroup Compressing;
};

}  // namespace

void WritePngParts(TStream& stream, const TPngPartsPlan& plan,
                   const std::function<const std::uint8_t*(std::uint32_t)>& row,
                   const std::function<void(std::uint32_t)>& progress) {
  const std::size_t rowsPerPart = std::max<std::size_t>(1, kPartBytes / (plan.RowBytes + 1));
  const std::size_t parts = (plan.Height + rowsPerPart - 1) / rowsPerPart;
  {
    TPartPipeline pipeline(stream, plan, row, progress, rowsPerPart, parts);
    for (std::uint32_t y = 0; y < plan.Height; y = std::uint32_t(std::min<std::size_t>(plan.Height, y + rowsPerPart)))
      pipeline.Submit(y, std::uint32_t(std::min<std::size_t>(plan.Height, y + rowsPerPart)));
    pipeline.Finish();
  }
  WriteChunk(stream, "IEND", nullptr, 0);
}
