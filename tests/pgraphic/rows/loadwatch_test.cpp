// The page mapper of the load watch: it makes an image's pages resident
// ahead of the reader, on a thread of the pool.

#include "pgraphic/rows/loadwatch.h"

#include <gtest/gtest.h>
#include <sys/mman.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

// Pages of the memory the mapper has made resident.
std::size_t ResidentPages(const void* memory, std::size_t size) {
  std::vector<unsigned char> flags((size + 4095) / 4096);
  if (::mincore(const_cast<void*>(memory), size, flags.data()) != 0) return 0;
  return std::size_t(std::count_if(flags.begin(), flags.end(), [](unsigned char f) { return f & 1; }));
}

// A second start while the first thread runs would replace a joinable
// thread (and end the program): it is refused, and the first maps on.
TEST(PageMapper, SecondStartIsRefusedAndTheFirstMapsEveryPage) {
  constexpr std::size_t kSize = 16u << 20;
  void* memory = ::mmap(nullptr, kSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  ASSERT_NE(memory, MAP_FAILED);
  if (::madvise(memory, 4096, MADV_POPULATE_WRITE) != 0) {
    ::munmap(memory, kSize);
    GTEST_SKIP() << "the system cannot populate pages ahead";
  }
  const auto* bits = static_cast<const std::uint8_t*>(memory);
  {
    TPageMapper mapper;
    mapper.Start(bits, kSize);
    mapper.Start(bits, kSize);
    const auto until = std::chrono::steady_clock::now() + 30s;
    while (ResidentPages(memory, kSize) < kSize / 4096 && std::chrono::steady_clock::now() < until)
      std::this_thread::sleep_for(10ms);
    EXPECT_EQ(ResidentPages(memory, kSize), kSize / 4096);
  }
  ::munmap(memory, kSize);
}

}  // namespace
