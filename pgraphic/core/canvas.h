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

// The process-wide list of surfaces that currently hold a device context. A
// surface enters it when it builds its context and leaves it on release.
void PGCanvasHoldsHandle(TPGCanvas* canvas, bool holds);
int PGCanvasHandleCount();

// Releases the device contexts of all listed surfaces; drawing again later
// builds them anew.
void FreeCanvasHandles();
