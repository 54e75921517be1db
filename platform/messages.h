#pragma once
// Window messages posted from worker threads to a window on the
// user-interface thread, as custom QEvents. A message can carry an image; the
// image belongs to the event, so a message that is never delivered (its
// receiver went away first) frees it.
//
// Workers post through a TPGMessagePort taken from the receiver's
// TPGMessageTarget. The target detaches the port when it is destroyed, so a
// worker that outlives its window posts into nothing instead of to freed
// memory, and Qt deletes the events still queued for a destroyed receiver.

#include <QEvent>
#include <QObject>

#include <cstdint>
#include <memory>
#include <mutex>

#include "pgraphic/core/pixelgraphic.h"

constexpr int WM_USER = 0x0400;

// The QEvent type that stands for window message `message` (WM_USER + n).
constexpr QEvent::Type PGMessageEventType(int message) {
  return QEvent::Type(QEvent::User + message);
}

class TPGMessageEvent : public QEvent {
 public:
  TPGMessageEvent(int message, std::intptr_t wParam, std::intptr_t lParam,
                  std::unique_ptr<TPixelGraphic> image = {}, std::uint64_t tag = 0)
      : QEvent(PGMessageEventType(message)),
        Message(message),
        WParam(wParam),
        LParam(lParam),
        Image(std::move(image)),
        Tag(tag) {}
  const int Message;
  const std::intptr_t WParam;
  const std::intptr_t LParam;
  // The carried image; the receiver takes it over by moving it out.
  std::unique_ptr<TPixelGraphic> Image;
  // Identifies the sender (for example which worker made the image).
  const std::uint64_t Tag;
};

class TPGMessagePort {
 public:
  // Posts the message; false (and the image freed) when the receiver is gone.
  bool Post(int message, std::intptr_t wParam, std::intptr_t lParam,
            std::unique_ptr<TPixelGraphic> image = {}, std::uint64_t tag = 0);

 private:
  friend class TPGMessageTarget;
  std::mutex FLock;
  QObject* FReceiver = nullptr;
};

// Held by the receiving window as a member.
class TPGMessageTarget {
 public:
  explicit TPGMessageTarget(QObject* receiver);
  ~TPGMessageTarget();
  TPGMessageTarget(const TPGMessageTarget&) = delete;
  TPGMessageTarget& operator=(const TPGMessageTarget&) = delete;
  std::shared_ptr<TPGMessagePort> Port() const { return FPort; }

 private:
  std::shared_ptr<TPGMessagePort> FPort;
};
