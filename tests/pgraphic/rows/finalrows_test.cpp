// The gate of a window on rows still loading: a writer waits a band at a
// time, but never for a row outside its window: its last rows may be the
// last the load tells before it waits for this very writer.

#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <future>

#include "pgraphic/core/errors.h"
#include "pgraphic/rows/finalrows.h"

namespace {

using namespace std::chrono_literals;

TEST(FinalRowsGate, WaitsForABandWithinItsWindowOnly) {
  constexpr std::int64_t kBytesPerRow = 3000;
  const int band = RowsPerBand(kBytesPerRow);
  ASSERT_GT(band, 2);
  EXPECT_EQ(RowsPerBand(std::int64_t(1) << 21), 1);  // a row past a megabyte is a band

  // A writer at the first row of rows 10 to 10 + 3 band - 1 gets it once
  // its band is in.
  TPGFinalRows rows;
  TPGFinalRowsGate gate(rows, 10, 3 * band, kBytesPerRow);
  auto first = std::async(std::launch::async, [&] { gate.WaitForRow(0); });
  rows.Reach(10 + band);
  ASSERT_EQ(first.wait_for(30s), std::future_status::ready);

  // The window's last rows wake it though the band would reach past them.
  TPGFinalRows shortRows;
  TPGFinalRowsGate shortGate(shortRows, 10, 5, kBytesPerRow);
  auto last = std::async(std::launch::async, [&] { shortGate.WaitForRow(0); });
  shortRows.Reach(15);
  ASSERT_EQ(last.wait_for(30s), std::future_status::ready);

  // Rows given up raise rather than wait forever.
  TPGFinalRows lostRows;
  TPGFinalRowsGate lostGate(lostRows, 0, 3 * band, kBytesPerRow);
  auto lost = std::async(std::launch::async, [&] { lostGate.WaitForRow(band); });
  lostRows.Reach(band + 1);
  lostRows.GiveUp();
  ASSERT_EQ(lost.wait_for(30s), std::future_status::ready);
  EXPECT_NO_THROW(lost.get());  // its own row came before the end
  EXPECT_THROW(lostGate.WaitForRow(band + 1), EPixelGraphic);
}

}  // namespace
