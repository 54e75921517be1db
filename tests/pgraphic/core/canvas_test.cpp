#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pgraphic/core/canvas.h"

namespace {

// A surface that writes down what the library asks of it.
class TLogCanvas : public TPGCanvas {
 public:
  explicit TLogCanvas(std::vector<std::string>& log) : Log(log) {}
  ~TLogCanvas() override { ReleasePainter(); }
  void Hold() { PGCanvasHoldsPainter(this, true); }
  void Flush() override { Log.push_back("flush"); }
  void ReleasePainter() override {
    Log.push_back("release");
    PGCanvasHoldsPainter(this, false);
  }
  void StretchDraw(TPixelGraphic& image, const TRect& r) override {
    Log.push_back("draw " + std::to_string(image.Width()) + " " + std::to_string(r.Left) + "," +
                  std::to_string(r.Top) + "," + std::to_string(r.Right) + "," +
                  std::to_string(r.Bottom));
  }
  std::vector<std::string>& Log;
};

class TLogFactory : public TPGCanvasFactory {
 public:
  std::unique_ptr<TPGCanvas> CreateCanvas(TPixelGraphic&) override {
    ++Made;
    return std::make_unique<TLogCanvas>(Log);
  }
  int Made = 0;
  std::vector<std::string> Log;
};

class CanvasHooks : public ::testing::Test {
 protected:
  void SetUp() override { SetPGCanvasFactory(&Factory); }
  void TearDown() override { SetPGCanvasFactory(nullptr); }
  TLogFactory Factory;
};

}  // namespace

TEST(CanvasHeadless, ImagesHaveNoSurfaceWithoutAFactory) {
  TPixelGraphic g;
  g.SetSizeAndFormat(2, 2, pgpf24Bit);
  EXPECT_EQ(g.Canvas(), nullptr);
  FreeCanvasHandles();  // nothing listed: nothing happens
  EXPECT_EQ(PGCanvasPainterCount(), 0);
}

TEST_F(CanvasHooks, SurfaceIsMadeOnceAndFlushedBeforePixelAccess) {
  TPixelGraphic g;
  g.SetSizeAndFormat(3, 2, pgpf24Bit);
  TPGCanvas* canvas = g.Canvas();
  ASSERT_NE(canvas, nullptr);
  EXPECT_EQ(g.Canvas(), canvas);
  EXPECT_EQ(Factory.Made, 1);
  g.GetPixel(0, 0);
  g.GetPixel(1, 0);  // flushed once: nothing is pending any more
  EXPECT_EQ(Factory.Log, std::vector<std::string>({"flush"}));
  // A resize flushes and releases before the pixels go.
  g.Canvas();
  Factory.Log.clear();
  g.SetSizeAndFormat(5, 5, pgpf24Bit);
  EXPECT_EQ(Factory.Log, std::vector<std::string>({"flush", "release"}));
}

TEST_F(CanvasHooks, DrawFlushesTheImageAndStretchesOntoTheTarget) {
  TPixelGraphic target, image;
  target.SetSizeAndFormat(4, 4, pgpf24Bit);
  TPGCanvas& surface = *target.Canvas();
  image.Draw(surface, TRect{0, 0, 4, 4});  // no pixels: nothing drawn
  image.SetSizeAndFormat(7, 3, pgpf8Bit);
  image.Canvas();
  Factory.Log.clear();
  image.Draw(surface, TRect{9, 8, -1, 2});
  EXPECT_EQ(Factory.Log, std::vector<std::string>({"flush", "draw 7 9,8,-1,2"}));
}

TEST_F(CanvasHooks, FreeCanvasHandlesReleasesEveryListedSurface) {
  TPixelGraphic a, b;
  a.SetSizeAndFormat(1, 1, pgpf24Bit);
  b.SetSizeAndFormat(1, 1, pgpf24Bit);
  static_cast<TLogCanvas*>(a.Canvas())->Hold();
  static_cast<TLogCanvas*>(b.Canvas())->Hold();
  EXPECT_EQ(PGCanvasPainterCount(), 2);
  Factory.Log.clear();
  FreeCanvasHandles();
  EXPECT_EQ(PGCanvasPainterCount(), 0);
  EXPECT_EQ(Factory.Log, std::vector<std::string>({"release", "release"}));
}
