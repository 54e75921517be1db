#include "pgraphic/core/canvas.h"

#include <algorithm>
#include <vector>

namespace {
TPGCanvasFactory* g_factory = nullptr;

std::vector<TPGCanvas*>& HandleList() {
  static std::vector<TPGCanvas*> list;
  return list;
}
}  // namespace

void SetPGCanvasFactory(TPGCanvasFactory* factory) { g_factory = factory; }
TPGCanvasFactory* GetPGCanvasFactory() { return g_factory; }

void PGCanvasHoldsPainter(TPGCanvas* canvas, bool holds) {
  std::vector<TPGCanvas*>& list = HandleList();
  const auto it = std::find(list.begin(), list.end(), canvas);
  if (holds && it == list.end()) list.push_back(canvas);
  if (!holds && it != list.end()) list.erase(it);
}

int PGCanvasPainterCount() { return int(HandleList().size()); }

void FreeCanvasHandles() {
  // Releasing removes the surface from the list, so work on a copy.
  const std::vector<TPGCanvas*> held = HandleList();
  for (TPGCanvas* canvas : held) canvas->ReleasePainter();
}

TPGCanvas* TPixelGraphic::Canvas() {
  if (!FCanvas && g_factory) FCanvas = g_factory->CreateCanvas(*this);
  if (FCanvas) FDrawingPending = true;
  return FCanvas.get();
}

void TPixelGraphic::Draw(TPGCanvas& canvas, const TRect& rect) {
  if (FWidth <= 0 || FHeight <= 0 || Empty()) return;
  FlushPending();
  canvas.StretchDraw(*this, rect);
}
