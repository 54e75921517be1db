#include "pgraphic/rows/rowmemory.h"

#include <algorithm>
#include <utility>

#include "pgraphic/rows/finalrows.h"

TPGRowMemory::TPGRowMemory(TPixelGraphic& image)
    : Ring(image.RowRing()),
      BytesPerRow(image.BytesPerRow()),
      Height(std::max(image.Height(), 0)),
      Holds(std::size_t(Height), 0),
      Given(std::size_t(Height), false) {
  constexpr std::int64_t kInFlightBytes = std::int64_t(16) << 20;
  const std::int64_t rows = BytesPerRow > 0 ? kInFlightBytes / std::int64_t(BytesPerRow) : Height;
  Limit = std::max<std::int64_t>(rows, 4 * std::int64_t(RowsPerBand(std::int64_t(BytesPerRow))));
  // Rows in one block stay: holding the reader back would save nothing.
  if (!Ring) Limit = Height;
}

std::size_t TPGRowMemory::Hold(std::int64_t top, std::int64_t count) {
  std::lock_guard<std::mutex> guard(Lock);
  THolder holder;
  holder.Passed = std::clamp<std::int64_t>(top, 0, Height);
  holder.End = std::clamp<std::int64_t>(top + std::max<std::int64_t>(count, 0), holder.Passed, Height);
  for (std::int64_t y = holder.Passed; y < holder.End; ++y) ++Holds[std::size_t(y)];
  Holders.push_back(holder);
  return Holders.size() - 1;
}

void TPGRowMemory::Leave(std::size_t holder, std::int64_t row) {
  std::lock_guard<std::mutex> guard(Lock);
  if (holder >= Holders.size()) return;
  THolder& h = Holders[holder];
  const std::int64_t to = std::min(row, h.End);
  if (to <= h.Passed) return;
  const std::int64_t from = std::exchange(h.Passed, to);
  Drop(from, to);
}

void TPGRowMemory::Done(std::size_t holder) {
  std::lock_guard<std::mutex> guard(Lock);
  if (holder >= Holders.size()) return;
  THolder& h = Holders[holder];
  SetWork(h, TWork::Finished);
  const std::int64_t from = std::exchange(h.Passed, h.End);
  Drop(from, h.End);
}

void TPGRowMemory::Queue(std::size_t holder) {
  std::lock_guard<std::mutex> guard(Lock);
  if (holder < Holders.size() && Holders[holder].Work == TWork::Idle) SetWork(Holders[holder], TWork::Queued);
}

void TPGRowMemory::Begin(std::size_t holder) {
  std::lock_guard<std::mutex> guard(Lock);
  if (holder >= Holders.size()) return;
  THolder& h = Holders[holder];
  if (h.Work == TWork::Idle || h.Work == TWork::Queued) SetWork(h, TWork::Working);
}

void TPGRowMemory::Await(std::size_t holder, bool waiting) {
  std::lock_guard<std::mutex> guard(Lock);
  if (holder >= Holders.size()) return;
  THolder& h = Holders[holder];
  if (h.Work == (waiting ? TWork::Working : TWork::Waiting))
    SetWork(h, waiting ? TWork::Waiting : TWork::Working);
}

void TPGRowMemory::SetWork(THolder& holder, TWork work) {
  const auto busy = [](TWork w) { return w == TWork::Queued || w == TWork::Working; };
  Busy += int(busy(work)) - int(busy(holder.Work));
  Waiting += int(work == TWork::Waiting) - int(holder.Work == TWork::Waiting);
  holder.Work = work;
  if (ReaderWaits && (Busy == 0 || Waiting > 0)) Room.notify_all();
}

bool TPGRowMemory::ReaderMayGo(std::int64_t limit) const {
  return RowsInFlight() <= limit || Waiting > 0 || Busy == 0;
}

void TPGRowMemory::WaitForRoom() {
  std::unique_lock<std::mutex> lock(Lock);
  if (ReaderMayGo(Limit)) return;
  ReaderWaits = true;
  Room.wait(lock, [this] { return ReaderMayGo(Limit - Limit / 4); });
  ReaderWaits = false;
}

void TPGRowMemory::Final(std::int64_t rows) {
  std::lock_guard<std::mutex> guard(Lock);
  rows = std::min(rows, Height);
  if (rows <= FinalRows) return;
  const std::int64_t from = std::exchange(FinalRows, rows);
  GiveBack(from, rows);
}

std::int64_t TPGRowMemory::BandsLetGo() const {
  std::lock_guard<std::mutex> guard(Lock);
  return BandsGone;
}

// The one condition for a row's memory to go back: the reader will not
// write it again and no writer still needs it.
bool TPGRowMemory::MayGoBack(std::int64_t row) const {
  return row < FinalRows && Holds[std::size_t(row)] == 0 && !Given[std::size_t(row)];
}

void TPGRowMemory::Drop(std::int64_t from, std::int64_t to) {
  for (std::int64_t y = from; y < to; ++y) --Holds[std::size_t(y)];
  GiveBack(from, to);
}

// Rows from to to - 1 that may go back do, in runs.
void TPGRowMemory::GiveBack(std::int64_t from, std::int64_t to) {
  for (std::int64_t y = from; y < to;) {
    if (!MayGoBack(y)) {
      ++y;
      continue;
    }
    const std::int64_t first = y;
    for (; y < to && MayGoBack(y); ++y) Given[std::size_t(y)] = true;
    LetBandsGo(first, y);
  }
  const std::int64_t low = Low;
  while (Low < FinalRows && Given[std::size_t(Low)]) ++Low;
  if (Low != low && ReaderWaits) Room.notify_all();
}

// Rows from to to - 1 went: a band they complete lets its buffer go. A band
// shared with rows still held or still loading waits for the last of them.
void TPGRowMemory::LetBandsGo(std::int64_t from, std::int64_t to) {
  if (!Ring) return;
  const std::int64_t rows = Ring->BandRows();
  for (std::int64_t band = from / rows; band * rows < to; ++band) {
    const std::int64_t end = std::min(Height, (band + 1) * rows);
    bool gone = true;
    for (std::int64_t y = band * rows; y < end && gone; ++y) gone = Given[std::size_t(y)];
    if (!gone) continue;
    Ring->Release(int(band));
    ++BandsGone;
  }
}
