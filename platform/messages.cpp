#include "platform/messages.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>

namespace {

QEvent::Type MessageEventType() {
  static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
  return type;
}

class TPGMessageEvent : public QEvent {
 public:
  explicit TPGMessageEvent(TPGMessage message)
      : QEvent(MessageEventType()), Message(std::move(message)) {}
  TPGMessage Message;
};

class TPGMessageReceiver : public QObject {
 public:
  explicit TPGMessageReceiver(TPGMessageTarget::THandler handler) : Handler(std::move(handler)) {}

  bool event(QEvent* e) override {
    if (e->type() != MessageEventType()) return QObject::event(e);
    Handler(static_cast<TPGMessageEvent*>(e)->Message);
    return true;
  }

  const TPGMessageTarget::THandler Handler;
};

}  // namespace

bool TPGMessagePort::Post(TPGMessage message) {
  // Holding the lock while posting keeps the receiver from detaching (and so
  // from being destroyed) in between; once posted, Qt owns the event.
  std::lock_guard<std::mutex> lock(FLock);
  if (!FReceiver) return false;
  QCoreApplication::postEvent(FReceiver, new TPGMessageEvent(std::move(message)));
  return true;
}

TPGMessageTarget::TPGMessageTarget(THandler handler) : FPort(std::make_shared<TPGMessagePort>()) {
  TPGMessagePort* port = FPort.get();
  FReceiver = std::make_unique<TPGMessageReceiver>([port, handler](TPGMessage& message) {
    // The sender posted while holding the port's lock: taking it once here
    // orders everything the sender wrote before posting (the image's pixels
    // included) before what the handler reads, also for a race checker that
    // cannot see the event queue's own locking.
    { std::lock_guard<std::mutex> lock(port->FLock); }
    if (handler) handler(message);
  });
  FPort->FReceiver = FReceiver.get();
}

TPGMessageTarget::~TPGMessageTarget() {
  {
    std::lock_guard<std::mutex> lock(FPort->FLock);
    FPort->FReceiver = nullptr;
  }
  // Deleting the receiver deletes the messages still queued for it, and
  // with them their images.
  FReceiver.reset();
}
