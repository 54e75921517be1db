#include "platform/messages.h"

#include <QCoreApplication>

bool TPGMessagePort::Post(int message, std::intptr_t wParam, std::intptr_t lParam,
                          std::unique_ptr<TPixelGraphic> image, std::uint64_t tag) {
  // Holding the lock while posting keeps the receiver from detaching (and so
  // from being destroyed) in between; once posted, Qt owns the event.
  std::lock_guard<std::mutex> lock(FLock);
  if (!FReceiver) return false;
  QCoreApplication::postEvent(FReceiver,
                              new TPGMessageEvent(message, wParam, lParam, std::move(image), tag));
  return true;
}

TPGMessageTarget::TPGMessageTarget(QObject* receiver) : FPort(std::make_shared<TPGMessagePort>()) {
  FPort->FReceiver = receiver;
}

TPGMessageTarget::~TPGMessageTarget() {
  std::lock_guard<std::mutex> lock(FPort->FLock);
  FPort->FReceiver = nullptr;
}
