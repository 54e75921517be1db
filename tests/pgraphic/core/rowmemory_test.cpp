// The reader of an image whose rows go back once written is held back while
// it runs too far ahead of writers at work, and never while a writer waits
// for it or none is at work: a wrong guess either way costs all memory or
// ends in a reader and writers waiting for each other.

#include "pgraphic/core/rowmemory.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <future>
#include <optional>
#include <thread>
#include <vector>

#include "pgraphic/core/finalrows.h"

namespace {

using namespace std::chrono_literals;

// Ready within a generous bound; a wait that should go on is checked for a
// short while only (it can pass wrongly, never fail wrongly).
bool Returns(std::future<void>& f) { return f.wait_for(30s) == std::future_status::ready; }
bool StillWaits(std::future<void>& f) { return f.wait_for(100ms) == std::future_status::timeout; }

class RowMemoryReader : public ::testing::Test {
 protected:
  void SetUp() override {
    Image.SetSizeAndFormat(20000, 1000, pgpf24Bit);  // 60 000 bytes a row
    Memory.emplace(Image);
    Limit = Memory->RowsInFlightLimit();
    ASSERT_GT(Limit, 100);
    ASSERT_LT(Limit + 300, Image.Height());
  }
  // Whatever a failed check left waiting is let go before the threads end.
  void TearDown() override {
    Rows.Reach(Image.Height());
    Memory->Final(Image.Height());
    for (std::size_t holder = 0; holder < Holders; ++holder) Memory->Done(holder);
    for (std::thread& thread : Threads) thread.join();
  }
  std::size_t Hold(std::int64_t top, std::int64_t count) {
    ++Holders;
    return Memory->Hold(top, count);
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
  std::size_t Holders = 0;
  std::vector<std::thread> Threads;
};

TEST_F(RowMemoryReader, WaitsOnlyWhileWritersAtWorkLagBehind) {
  const std::size_t writer = Hold(0, Image.Height());
  const std::size_t other = Hold(Image.Height() - 10, 10);
  Memory->Final(Limit + 50);
  auto idle = Reader();  // no writer at work yet: nobody would let rows go
  ASSERT_TRUE(Returns(idle));

  Memory->Begin(writer);
  auto behind = Reader();
  EXPECT_TRUE(StillWaits(behind));
  Memory->Leave(writer, 60);  // under the limit, short of room for a quarter of it
  EXPECT_TRUE(StillWaits(behind));
  Memory->Leave(writer, 50 + Limit / 4 + 1);
  ASSERT_TRUE(Returns(behind));
  EXPECT_GT(Memory->FreedBytes(), 0);

  // A writer stopping at its gate for a row not yet final lets the reader
  // on at once, however far behind the others are.
  Memory->Queue(other);
  const std::int64_t final = Limit + 200;
  Memory->Final(final);
  Rows.Reach(final);
  Gate.emplace(Rows, 0, Image.Height(), Image.BytesPerRow(), &*Memory, writer);
  auto waiting = Reader();
  EXPECT_TRUE(StillWaits(waiting));
  auto atGate = Start([&] { Gate->WaitForRow(int(final)); });
  ASSERT_TRUE(Returns(waiting));
  auto again = Reader();  // and goes on passing while the writer waits
  ASSERT_TRUE(Returns(again));
  Rows.Reach(Image.Height());
  Memory->Final(Image.Height());
  ASSERT_TRUE(Returns(atGate));

  // Back at work the writer holds the reader again, until it is done.
  Memory->Done(other);
  auto last = Reader();
  EXPECT_TRUE(StillWaits(last));
  Memory->Done(writer);
  ASSERT_TRUE(Returns(last));
}

// A writer queued for work counts as at work: between two jobs the
// reader does not slip through band by band.
TEST_F(RowMemoryReader, QueuedWritersHoldTheReaderToo) {
  const std::size_t first = Hold(0, 100);
  const std::size_t second = Hold(0, Image.Height());
  Memory->Queue(first);
  Memory->Queue(second);
  Memory->Final(Limit + 50);
  auto reader = Reader();
  EXPECT_TRUE(StillWaits(reader));
  Memory->Begin(first);
  Memory->Done(first);
  EXPECT_TRUE(StillWaits(reader));
  Memory->Done(second);
  ASSERT_TRUE(Returns(reader));
}

}  // namespace
