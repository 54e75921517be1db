// The threaded sink keeps the pixels of cut copies waiting for a worker
// within its budget; the page mapper runs one thread at a time.

#include "app/export/slicesinks.h"

#include <gtest/gtest.h>
#include <sys/mman.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "pgraphic/formats/registry.h"
#include "support/failing_disk.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// A writer for ".held" files that holds every write until it is let go.
class THeldWriter : public TFileFormatWriter {
 public:
  THeldWriter() {
    Extension = "held";
    Description = "held";
    CanWriteResolutions = 0xFF;
    Listed = false;
  }
  const char* ClassName() const override { return "THeldWriter"; }
  void Write(TStream& stream, TPixelGraphic&) override {
    std::unique_lock<std::mutex> lock(Mutex);
    ++Writing;
    Changed.notify_all();
    Changed.wait(lock, [this] { return Open; });
    stream.WriteBuffer("x", 1);
  }
  bool WaitForWriters(int count) {
    std::unique_lock<std::mutex> lock(Mutex);
    return Changed.wait_for(lock, 30s, [&] { return Writing >= count; });
  }
  void LetGo() {
    std::lock_guard<std::mutex> lock(Mutex);
    Open = true;
    Changed.notify_all();
  }

 private:
  std::mutex Mutex;
  std::condition_variable Changed;
  int Writing = 0;
  bool Open = false;
};

// Cells of a palette source are cut into copies; with a budget of one copy,
// a second waits until a worker has written the first, however many
// workers are idle.
TEST(ThreadedSink, CopiesWaitingForAWorkerStayWithinTheBudget) {
  const fs::path dir = faildisk::ScratchDir("app");
  auto owned = std::make_unique<THeldWriter>();
  THeldWriter& writer = *owned;
  FileFormatWriters().push_back(std::move(owned));
  TPixelGraphic source, slice;
  source.SetSizeAndFormat(64, 32, pgpf8Bit);
  source.SetPaletteIdent(pGray256);
  const TGridCell left{1, 1, 0, 0, 32, 32}, right{2, 1, 32, 0, 32, 32};
  const std::int64_t copy = BytesPerRowFor(24, 32) * 32;
  TExportPlan plan;
  plan.Page.Cells = {{left}, {right}};
  plan.Slices = {{0, (dir / "a.held").string(), {}, "held"}, {1, (dir / "b.held").string(), {}, "held"}};
  plan.Road = {.Threads = 4, .KeepLastSlice = false};
  plan.CopyBudget = copy;
  {
    std::unique_ptr<TSliceSink> sink = MakeThreadedSink(plan, slice);
    sink->Put(0, source);
    ASSERT_TRUE(writer.WaitForWriters(1));
    std::atomic<bool> second{false};
    std::thread putter([&] {
      sink->Put(1, source);
      second = true;
    });
    std::this_thread::sleep_for(200ms);
    EXPECT_FALSE(second) << "a second copy was cut past the budget";
    writer.LetGo();
    putter.join();
    EXPECT_TRUE(second);
    EXPECT_EQ(sink->Finish().size(), 2u);
  }
  std::erase_if(FileFormatWriters(), [&](const auto& w) { return w.get() == &writer; });
}

}  // namespace
