#pragma once
// Drawing surfaces of images. The concrete surface lives in the platform layer
// and is plugged in here, so the library itself never includes a UI header.
// Everything in this file is for the user-interface thread only.

#include <memory>

#include "pgraphic/core/pixelgraphic.h"

class TPGCanvasFactory {
 public:
  virtual ~TPGCanvasFactory() = default;
  // A surface that draws straight into `image`'s pixel memory.
  virtual std::unique_ptr<TPGCanvas> CreateCanvas(TPixelGraphic& image) = 0;
};

// Installs the factory (not owned); null leaves images without a surface.
void SetPGCanvasFactory(TPGCanvasFactory* factory);
TPGCanvasFactory* GetPGCanvasFactory();

// The process-wide list of surfaces that currently hold an open painter. A
// surface enters it when it opens its painter and leaves it when it ends it.
void PGCanvasHoldsPainter(TPGCanvas* canvas, bool holds);
int PGCanvasPainterCount();

// Ends the painters of all listed surfaces; drawing again later opens them
// anew.
void FreeCanvasHandles();
