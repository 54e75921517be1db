#pragma once
// Window messages posted from worker threads to the user-interface thread.
// A message can carry an image; the image belongs to the message, so one
// that is never delivered (its receiver went away first) frees it.
//
// Workers post through a TPGMessagePort taken from the receiver's
// TPGMessageTarget, which hands each message to its handler on the thread
// that made the target. The target detaches the port when it is destroyed,
// so a worker that outlives its receiver posts into nothing instead of to
// freed memory, and messages still queued are deleted with their images.
//
// Windows reach their workers through the job protocol of
// platform/jobthread.h, which is where results and progress are posted.

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

#include "pgraphic/core/pixelgraphic.h"

class QObject;

struct TPGMessage {
  // What the message tells: a job's result (in Image), a job's progress, or
  // a timer's tick.
  enum TKind : std::uint8_t { Result, Progress, Tick };
  TKind Kind = Result;
  // Of progress: the stage the work is in and the percent of that stage.
  int Stage = 0;
  int Percent = 0;
  // The carried image; the handler takes it over by moving it out.
  std::unique_ptr<TPixelGraphic> Image{};
  // Identifies the sender (for example which job made the image).
  std::uint64_t Tag = 0;
};

class TPGMessagePort {
 public:
  // Posts the message; false (and the image freed) when the receiver is gone.
  bool Post(TPGMessage message);

 private:
  friend class TPGMessageTarget;
  std::mutex FLock;
  QObject* FReceiver = nullptr;
};

// Held by the receiving window (or component) as a member.
class TPGMessageTarget {
 public:
  using THandler = std::function<void(TPGMessage& message)>;
  // The handler runs on the thread that makes the target.
  explicit TPGMessageTarget(THandler handler);
  ~TPGMessageTarget();
  TPGMessageTarget(const TPGMessageTarget&) = delete;
  TPGMessageTarget& operator=(const TPGMessageTarget&) = delete;
  std::shared_ptr<TPGMessagePort> Port() const { return FPort; }

 private:
  std::unique_ptr<QObject> FReceiver;
  std::shared_ptr<TPGMessagePort> FPort;
};
