// The image view's painting cost: a 1200 x 800 viewport of a large picture
// scrolled to its middle against the same viewport of a picture of exactly
// that size (the cost must follow the viewport, not the image), and a
// precise 1/8 display copy of the large picture on the painting thread,
// with the longest stall of the user-interface thread while it scrolls
// during that copy.

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QScrollBar>

#include <algorithm>
#include <cstdint>
#include <memory>

#include "pgraphic_qt/view/pgimage.h"
#include "platform/display.h"
#include "platform/platform.h"

namespace {

// Smooth gradients with a little grain, like a photo.
std::unique_ptr<TPixelGraphic> Photo(int w, int h) {
  auto g = std::make_unique<TPixelGraphic>();
  g->SetSizeAndFormat(w, h, pgpf24Bit);
  std::uint32_t seed = 12345;
  for (int y = 0; y < h; ++y) {
    std::uint8_t* px = g->ScanLine(y);
    for (int x = 0; x < w; ++x, px += 3) {
      seed = seed * 1664525u + 1013904223u;
      const int grain = int(seed >> 28) - 8;
      px[0] = std::uint8_t(std::clamp((x + y) * 255 / (w + h) - grain, 0, 255));
      px[1] = std::uint8_t(std::clamp(y * 255 / h + grain, 0, 255));
      px[2] = std::uint8_t(std::clamp(x * 255 / w + grain, 0, 255));
    }
  }
  return g;
}

// A shown view whose client area is exactly clientW x clientH.
std::unique_ptr<TPGImage> ViewOf(std::unique_ptr<TPixelGraphic> image, int clientW, int clientH) {
  auto view = std::make_unique<TPGImage>();
  view->SetBorderStyle(bsNone);
  view->SetPixelGraphic(std::move(image));
  view->resize(clientW, clientH);
  view->show();
  if (view->VertScrollBarVisible() || view->HorzScrollBarVisible())
    view->resize(clientW + (view->VertScrollBarVisible() ? view->width() - view->ClientWidth() : 0),
                 clientH + (view->HorzScrollBarVisible() ? view->height() - view->ClientHeight() : 0));
  QCoreApplication::processEvents();
  return view;
}

void PaintViewport(benchmark::State& state, int imageW, int imageH) {
  auto view = ViewOf(Photo(imageW, imageH), 1200, 800);
  view->SetHorzScrollPosition((imageW - view->ClientWidth()) / 2);
  view->SetVertScrollPosition((imageH - view->ClientHeight()) / 2);
  std::int64_t painted = 0;
  view->OnPainting = [&](void*) { ++painted; };
  for (auto _ : state) view->viewport()->repaint();
  if (painted != std::int64_t(state.iterations())) state.SkipWithError("a repaint did not paint");
  state.counters["client"] = double(view->ClientWidth()) * 10000 + view->ClientHeight();
  state.counters["paints/s"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_PaintMiddleOf8000x6000(benchmark::State& state) { PaintViewport(state, 8000, 6000); }
void BM_PaintWhole1200x800(benchmark::State& state) { PaintViewport(state, 1200, 800); }

void BM_PreciseCopyEighth(benchmark::State& state) {
  auto view = ViewOf(Photo(8000, 6000), 600, 400);
  view->SetStretch(sZoomKAR);
  view->SetStretchMode(smPrecise);
  double longestStall = 0;
  for (auto _ : state) {
    view->SetZoomFactor(0.125L);
    QElapsedTimer clock;
    clock.start();
    view->viewport()->repaint();  // starts the copy
    int step = 10;
    while (!view->PaintPixelGraphic()) {
      // The user scrolls meanwhile: each scroll and repaint is timed.
      QElapsedTimer stall;
      stall.start();
      if (view->HorzScrollPosition() + step > view->horizontalScrollBar()->maximum() ||
          view->HorzScrollPosition() + step < 0)
        step = -step;
      view->SetHorzScrollPosition(view->HorzScrollPosition() + step);
      view->viewport()->repaint();
      QCoreApplication::processEvents();
      longestStall = std::max(longestStall, stall.nsecsElapsed() / 1e6);
    }
    state.SetIterationTime(clock.nsecsElapsed() / 1e9);
    // At 1:1 no copy is needed and the held one goes: the next round starts afresh.
    view->SetZoomFactor(1.0L);
    view->viewport()->repaint();
  }
  state.counters["longest UI stall ms"] = longestStall;
}

}  // namespace

BENCHMARK(BM_PaintMiddleOf8000x6000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PaintWhole1200x800)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PreciseCopyEighth)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  PGInstallPlatform();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
