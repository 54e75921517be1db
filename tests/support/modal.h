#pragma once
// Drives a modal window from inside its own event loop: once the window is
// up, the test's steps run on it, and the window is closed with reject after
// them unless the steps closed it (also when a check inside them failed and
// returned early). A watchdog ends the program if the window never closes.

#include <QTimer>
#include <chrono>
#include <functional>

#include "support/watchdog.h"

// execute opens the window and returns when it closes; window finds it.
template <class TWindow>
bool DriveModal(const char* what, const std::function<TWindow*()>& window,
                const std::function<void(TWindow&)>& steps, const std::function<bool()>& execute) {
  TWatchdog watchdog(what, std::chrono::seconds(120));
  QTimer::singleShot(0, [&] {
    TWindow* shown = window();
    if (!shown) return;  // execute then waits for the watchdog
    struct TClose {
      TWindow& Window;
      ~TClose() {
        if (Window.isVisible()) Window.reject();
      }
    } close{*shown};
    steps(*shown);
  });
  return execute();
}
