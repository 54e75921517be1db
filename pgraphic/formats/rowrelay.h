#pragma once
// The rows a reader reports as final, handed on to whoever listens to the
// image while it loads (registry.cpp puts one around every load).

#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <utility>
#include <vector>

#include "pgraphic/core/pixelgraphic.h"
#include "pgraphic/core/threadpool.h"
#include "pgraphic/formats/loadstep.h"

// Hands the rows a reader reports as final on to whoever listens to the
// image, with the colour step of loading (loadstep.h) done on them first, so
// that the listener sees the pixels the load ends with. The palette is
// mapped before the first band. Without a listener the step runs at the end.
// The mapping and the listener run on a thread of the pool, bands in the
// order told, so that the reader goes on decoding meanwhile (where the pool
// has no thread to give, on the reader's, band by band); a listener's
// failure is raised to the reader at its next band or at the end.
class TRowRelay {
 public:
  explicit TRowRelay(TPixelGraphic& image);
  ~TRowRelay();
  TRowRelay(const TRowRelay&) = delete;
  TRowRelay& operator=(const TRowRelay&) = delete;

  // After the reader: every band told is handed on, and the rows no band
  // held get their step now.
  void Finish();

 private:
  void Start();
  void Relay(void* sender, int top, int count);
  void Pass(void* sender, int top, int count);
  void Hand(void* sender, int top, int count);
  void Run();
  void Stop(bool drain);
  void RaiseListenerFailure();

  TPixelGraphic& Image;
  TPGRowsEvent Listener;
  bool Started = false;
  int Band = 1;
  std::pair<int, int> Gathered{0, 0};  // top and count of rows told, not yet passed on
  void* GatheredSender = nullptr;
  TLoadColorStep Step;
  std::vector<bool> Mapped;  // the helper's while it runs

  bool Helped = false;  // the helper runs on a thread of the pool
  std::mutex Lock;
  std::condition_variable Queued;
  std::condition_variable Taken;
  std::deque<std::pair<int, int>> Bands;
  void* Sender = nullptr;
  bool Closing = false;
  bool Draining = false;
  std::exception_ptr Failure;
  TPGTaskGroup Helper{1};
};
