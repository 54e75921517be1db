#include "pgraphic/formats/rowrelay.h"

#include <algorithm>

#include "pgraphic/core/rowbands.h"

TRowRelay::TRowRelay(TPixelGraphic& image) : Image(image), Listener(image.OnRowsDone) {
  if (Listener) Image.OnRowsDone = [this](void* sender, int top, int count) { Relay(sender, top, count); };
}

TRowRelay::~TRowRelay() {
  Stop(false);
  Image.OnRowsDone = Listener;
}

void TRowRelay::Finish() {
  if (!Started) {
    Step.Prepare(Image);
    return Step.MapRows(Image, 0, Image.Height());
  }
  if (Gathered.second > 0) Pass(GatheredSender, Gathered.first, Gathered.second);
  Stop(true);
  RaiseListenerFailure();
  if (!Step.MapsRows()) return;
  for (int y = 0; y < Image.Height(); ++y)
    if (!Mapped[std::size_t(y)]) Step.MapRows(Image, y, 1);
}

void TRowRelay::Start() {
  Started = true;
  Band = RowsPerBand(Image.BytesPerRow());
  Step.Prepare(Image);
  if (Step.MapsRows()) Mapped.assign(std::size_t(std::max(Image.Height(), 0)), false);
  // Without a thread the bands are handed on as they come.
  Helped = Helper.RunOnThread([this] { Run(); });
}

// On the reader's thread. Rows that join the ones gathered so far (below
// them, or above them for a reader going up) wait until they make a band;
// others send the gathered ones on first.
void TRowRelay::Relay(void* sender, int top, int count) {
  if (!Started) Start();
  RaiseListenerFailure();
  top = std::max(top, 0);
  count = std::min(count, Image.Height() - top);
  if (count <= 0) return;
  auto& [first, rows] = Gathered;
  if (rows > 0 && (top == first + rows || top + count == first) && GatheredSender == sender) {
    first = std::min(first, top);
    rows += count;
  } else {
    if (rows > 0) Pass(GatheredSender, first, rows);
    Gathered = {top, count};
    GatheredSender = sender;
  }
  if (rows < Band) return;
  Pass(GatheredSender, first, rows);
  rows = 0;
}

// A listener that holds the reader back (a writer far behind) holds it
// here: at most a few bands wait to be handed on.
void TRowRelay::Pass(void* sender, int top, int count) {
  if (!Helped) return Hand(sender, top, count);
  constexpr std::size_t kQueuedBands = 2;
  std::unique_lock<std::mutex> lock(Lock);
  Taken.wait(lock, [this] { return Bands.size() < kQueuedBands; });
  Sender = sender;
  Bands.emplace_back(top, count);
  lock.unlock();
  Queued.notify_one();
}

void TRowRelay::Hand(void* sender, int top, int count) {
  if (Step.MapsRows())
    for (int y = top; y < top + count; ++y)
      if (!Mapped[std::size_t(y)]) {
        Step.MapRows(Image, y, 1);
        Mapped[std::size_t(y)] = true;
      }
  Listener(sender, top, count);
}

// The helper: hands on the bands queued until told to stop; after a
// listener's failure it only takes them off the queue, so that the reader
// is never held back for nothing.
void TRowRelay::Run() {
  std::unique_lock<std::mutex> lock(Lock);
  for (;;) {
    Queued.wait(lock, [this] { return Closing || !Bands.empty(); });
    if (Bands.empty() || (Closing && !Draining)) return;
    const auto [top, count] = Bands.front();
    Bands.pop_front();
    Taken.notify_one();
    void* sender = Sender;
    const bool failed = Failure != nullptr;
    lock.unlock();
    std::exception_ptr error;
    try {
      if (!failed) Hand(sender, top, count);
    } catch (...) {
      error = std::current_exception();
    }
    lock.lock();
    if (error && !Failure) Failure = error;
  }
}

// Ends the helper, after what is queued when drain is set.
void TRowRelay::Stop(bool drain) {
  if (!Helped) return;
  {
    std::lock_guard<std::mutex> guard(Lock);
    Closing = true;
    Draining = drain;
  }
  Queued.notify_one();
  Helper.WaitForFailure();  // the helper keeps its failures for the reader
  Helped = false;
}

void TRowRelay::RaiseListenerFailure() {
  std::exception_ptr failure;
  {
    std::lock_guard<std::mutex> guard(Lock);
    failure = std::exchange(Failure, nullptr);
  }
  if (failure) std::rethrow_exception(failure);
}
