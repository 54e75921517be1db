#pragma once
// How a codec tells its image about the rows it works through.

#include <exception>

#include "pgraphic/core/pixelgraphic.h"

// Sends OnProgressStart now and OnProgressEnd on every way out.
class TPGProgressBracket {
 public:
  explicit TPGProgressBracket(TPixelGraphic& g) : G(g) { G.DoProgressStart(); }
  ~TPGProgressBracket() noexcept(false) {
    if (std::uncaught_exceptions() > Pending) {
      try {
        G.DoProgressEnd();
      } catch (...) {
      }
    } else {
      G.DoProgressEnd();
    }
  }
  TPGProgressBracket(const TPGProgressBracket&) = delete;
  TPGProgressBracket& operator=(const TPGProgressBracket&) = delete;

 private:
  TPixelGraphic& G;
  int Pending = std::uncaught_exceptions();
};
