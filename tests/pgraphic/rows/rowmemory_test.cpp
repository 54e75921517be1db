// The reader of an image whose rows go back once written is held back while
// it runs too far ahead of writers at work or queued, and never while a
// writer waits for it or none is busy: a wrong guess either way costs all
// memory or ends in reader and writers waiting for each other.

#include "pgraphic/rows/rowmemory.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <future>
#include <optional>
#include <thread>
#include <vector>

#include "pgraphic/rows/finalrows.h"

namespace {

using namespace std::chrono_literals;

// Ready within a generous bound; a wait that should go on is watched
// briefly (it can pass wrongly, never fail wrongly).
bool Returns(std::future<void>& f) { return f.wait_for(30s) == std::future_status::ready; }
bool StillWaits(std::future<void>& f) { return f.wait_for(100ms) == std::future_status::timeout; }

class RowMemoryReader : public ::testing::Test {
 protected:
  void SetUp() override {
    Image.SetRowsInBands(true);
    Image.SetSizeAndFormat(20000, 1000, pgpf24Bit);  // 60 000 bytes a row
    Memory.emplace(Image);
    Limit = Memory->RowsInFlightLimit();
    ASSERT_LT(Limit + 300, Image.Height());
  }
  // Whatever a failed check left waiting is let go before the threads end.
  void TearDown() override {
    Rows.Reach(Image.Height());
    Memory->Final(Image.Height());
    for (std::size_t holder = 0; holder < 2; ++holder) Memory->Done(holder);
    for (std::thread& thread : Threads) thread.join();
  }
  std::future<void> Start(std::function<void()> work) {
    std::packaged_task<void()> task(std::move(work));
    std::future<void> done = task.get_future();
    Threads.emplace_back(std::move(task));
    return done;
  }
  std::future<void> Reader() {
    return Start([this] { Memory->WaitForRoom(); });
  }
  TPixelGraphic Image;
  std::optional<TPGRowMemory> Memory;
  TPGFinalRows Rows;
  std::optional<TPGFinalRowsGate> Gate;  // a writer's, outliving the threads
  std::int64_t Limit = 0;
  std::vector<std::thread> Threads;
};

TEST_F(RowMemoryReader, WaitsOnlyWhileBusyWritersLagBehind) {
  const std::size_t writer = Memory->Hold(0, Image.Height());
  const std::size_t next = Memory->Hold(Image.Height() - 10, 10);
  Memory->Final(Limit + 50);
  auto idle = Reader();  // no writer busy: nobody would let rows go
  ASSERT_TRUE(Returns(idle));

  Memory->Queue(next);  // a writer between two jobs is still busy
  auto behind = Reader();
  EXPECT_TRUE(StillWaits(behind));
  Memory->Begin(writer);
  Memory->Leave(writer, 60);  // under the limit, short of room for a quarter of it
  EXPECT_TRUE(StillWaits(behind));
  Memory->Leave(writer, 50 + Limit / 4 + 1);
  ASSERT_TRUE(Returns(behind));
  EXPECT_GT(Memory->BandsLetGo(), 0);

  // A writer stopping at its gate for a row not yet final lets the reader
  // on, however far behind the others are, for as long as it waits.
  const std::int64_t final = Limit + 200;
  Memory->Final(final);
  Rows.Reach(final);
  Gate.emplace(Rows, 0, Image.Height(), Image.BytesPerRow(), &*Memory, writer);
  auto waiting = Reader();
  EXPECT_TRUE(StillWaits(waiting));
  auto atGate = Start([&] { Gate->WaitForRow(int(final)); });
  ASSERT_TRUE(Returns(waiting));
  auto again = Reader();
  ASSERT_TRUE(Returns(again));
  Rows.Reach(Image.Height());
  Memory->Final(Image.Height());
  ASSERT_TRUE(Returns(atGate));

  // Back at work the writer holds the reader again, until it is done.
  Memory->Done(next);
  auto last = Reader();
  EXPECT_TRUE(StillWaits(last));
  Memory->Done(writer);
  ASSERT_TRUE(Returns(last));
}

}  // namespace

// Rows kept in reused bands, read through windows that leave them a band
// behind the row they ask for: while the reader fills band after band,
// every row a writer still holds keeps the pixels written into it, and a
// band that goes lends its buffer to the next one (the ring stays a few
// bands, whatever the height). A buffer lent one band early would be
// cleared and refilled under a writer that still reads it.
TEST(RowRing, WritersReadTheirRowsWhileTheReaderReusesBands) {
  constexpr int kWidth = 20000, kHeight = 600;  // 60 000 bytes a row: 17 rows a band
  const auto mark = [](int y) { return std::uint8_t(y % 251 + 1); };
  const struct {
    const char* Name;
    int Top, Rows;  // the window of the first writer; a second holds the whole image
    int Lag;        // rows the first writer trails the reader by
  } kCases[] = {{"close behind", 0, kHeight, 0},
                {"a band behind", 0, kHeight, 17},
                {"window between band edges", 40, 300, 5},
                {"far behind", 5, 500, 120}};
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.Name);
    TPixelGraphic image;
    image.SetRowsInBands(true);
    image.SetSizeAndFormat(kWidth, kHeight, pgpf24Bit);
    TPGRowRing& ring = *image.RowRing();
    ASSERT_EQ(ring.BandRows(), 17);
    TPGRowMemory memory(image);
    TPGFinalRows final;
    const std::size_t writer = memory.Hold(c.Top, c.Rows);
    const std::size_t whole = memory.Hold(0, kHeight);
    TPGFinalRowsGate gate(final, c.Top, c.Rows, image.BytesPerRow(), &memory, writer);
    TPixelGraphic window;
    window.ShowRowsOf(image, 0, c.Top, kWidth, c.Rows, &gate);
    memory.Begin(writer);
    memory.Begin(whole);
    int read = 0;  // the window's rows read so far
    for (int y = 0; y < kHeight; ++y) {
      std::uint8_t* row = image.ScanLine(y);
      row[0] = row[3 * kWidth - 1] = mark(y);
      memory.Final(y + 1);
      final.Reach(y + 1);
      // The whole-image holder keeps up band by band; the writer trails.
      if ((y + 1) % 17 == 0) memory.Leave(whole, y + 1);
      for (; read < c.Rows && c.Top + read + c.Lag <= y; ++read) {
        const std::uint8_t* at = window.ScanLine(read);
        ASSERT_EQ(at[0], mark(c.Top + read)) << "row " << c.Top + read << " at reader row " << y;
        ASSERT_EQ(at[3 * kWidth - 1], mark(c.Top + read));
        // A writer may look back a row or two.
        if (read > 1) ASSERT_EQ(window.ScanLine(read - 2)[0], mark(c.Top + read - 2));
      }
    }
    for (; read < c.Rows; ++read) ASSERT_EQ(window.ScanLine(read)[0], mark(c.Top + read));
    memory.Done(writer);
    memory.Done(whole);
    EXPECT_LE(ring.Buffers(), std::size_t(5 + c.Lag / 17)) << "bands made for " << ring.Bands();
    EXPECT_GT(memory.BandsLetGo(), 0);
  }
}
