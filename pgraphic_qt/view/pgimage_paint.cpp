// How the view puts its image on the screen: background, picture (once or
// tiled and mirrored), the display copy and its painting thread, and the
// progress clocks shown while a copy is being made.
#include <QPaintEvent>
#include <QPainter>

#include <exception>

#include "pgraphic_qt/view/pgimage.h"
#include "pgraphic_qt/view/progressclock.h"
#include "platform/display.h"
#include "platform/qtcanvas.h"

namespace {

// The image turned over, pixel by pixel with its palette.
std::unique_ptr<TPixelGraphic> MirroredCopy(TPixelGraphic& g, bool horizontal, bool vertical) {
  auto copy = std::make_unique<TPixelGraphic>();
  copy->SetSizeAndFormat(g.Width(), g.Height(), g.PixelFormat());
  if (g.PixelFormat() != pgpf24Bit) copy->CopyPalette(g);
  const int w = g.Width(), h = g.Height();
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      copy->SetPixel(x, y, g.GetPixel(horizontal ? w - 1 - x : x, vertical ? h - 1 - y : y));
  return copy;
}

// Floor-free division as the tiling rules ask for: truncation toward zero.
std::int64_t DivTrunc(std::int64_t a, std::int64_t b) { return a / b; }

}  // namespace

// ---------------------------------------------------------------- display copy

void TPGImage::DropPaintPixelGraphic() { FDisplayCopy.Drop(FDisplay.KeepsOldCopy()); }

bool TPGImage::PictureScaled() const {
  return FDisplay.StretchMode != smFast &&
         FPicBox->size() != QSize(FPixelGraphicWidth, FPixelGraphicHeight);
}

bool TPGImage::CopyNeeded() {
  if (!FPixelGraphic) return false;
  if (FDisplay.StretchMode != smFast && !FDisplay.ReduceOnLoad &&
      FPicBox->size() != FDisplayCopy.Size())
    FDisplayCopy.MarkOutOfDate();
  return PGDisplayCopyNeeded(FDisplay, PGScreenDepth(), FPixelGraphic->BitCount(),
                             FPixelGraphic->PaletteIdent(), PictureScaled(),
                             FDisplayCopy.OutOfDate());
}

bool TPGImage::NeedsPaintPixelGraphic() {
  if (!CopyNeeded()) {
    // The image is drawn directly: no worker may be reading it meanwhile.
    FDisplayCopy.Free();
    return false;
  }
  // An out-of-date copy is dropped (or kept, to be shown meanwhile) by StartCopy.
  if (!FDisplayCopy.Current()) StartCopy();
  return true;
}

namespace {

// An image of the size asked for, or of 1 x 1 where that cannot be had.
void SizeOrOnePixel(TPixelGraphic& image, QSize size, TPGPixelFormat format) {
  try {
    image.SetSizeAndFormat(size.width(), size.height(), format);
  } catch (const EPixelGraphic&) {
    image.SetSizeAndFormat(1, 1, format);
  }
}

}  // namespace

void TPGImage::StartCopy() {
  // Whatever fails here, the paint goes on with what exists.
  try {
    auto job = PGMakeJob<TCreatePaintPGThread>(!FDisplay.UseThread);
    TCreatePaintPGThread& t = *job;
    const TPGProgressEvent progress = [&t](void* sender, int step, int max, bool& abort) {
      t.Progress(sender, step, max, abort);
    };
    const QSize box = FPicBox->size();
    const TPGDisplayCopyPlan plan = PGPlanDisplayCopy(
        FDisplay, PGScreenDepth(), PictureScaled(), FPixelGraphic->PixelFormat() == pgpf24Bit);
    t.FPixelGraphic = FPixelGraphic.get();
    t.Reads(*FPixelGraphic);
    TPixelGraphic* help = FPixelGraphic.get();
    if (plan.TrueColourStep) {
      t.FHelpPixelGraphic = std::make_unique<TPixelGraphic>();
      SizeOrOnePixel(*t.FHelpPixelGraphic, box, pgpf24Bit);
      t.FHelpPixelGraphic->StretchMode = FDisplay.StretchMode;
      t.FHelpPixelGraphic->OnProgress = progress;
      t.FHelpStretch = true;
      help = t.FHelpPixelGraphic.get();
    }

    auto copy = std::make_unique<TPixelGraphic>();
    copy->OnProgress = progress;
    if (plan.Format != pgpf24Bit) {
      copy->SetPixelFormat(plan.Format);
      if (plan.Palette == pOptimized252Sys16)
        t.FOptimizedPalette = true;
      else if (plan.Palette == pSource)
        copy->CopyPalette(*help);
      else
        copy->SetPaletteIdent(plan.Palette);
    }
    const QSize size =
        FDisplay.StretchMode != smFast ? box : QSize(FPixelGraphicWidth, FPixelGraphicHeight);
    SizeOrOnePixel(*copy, size, plan.Format);
    PGHandDisplaySettings(*copy, FDisplay);
    t.FPaintPixelGraphic = std::move(copy);
    FDisplayCopy.Start(std::move(job), size, FDisplay.UseThread, FDisplay.KeepOldPaintPixelGraphic);
  } catch (...) {
  }
}

void TPGImage::CopyReady(std::unique_ptr<TPixelGraphic> copy) {
  if (!copy) return;  // it failed: a later paint tries again
  if (FDisplay.ReduceOnLoad) {
    FDisplayCopy.Free();
    FPixelGraphic.reset();
    HookImage(*copy, true);
    FPixelGraphic = std::move(copy);
    // The copy is the image now: mappings and the next paint go by its own
    // size. The picture box keeps its size, which the copy was made for;
    // laying it out anew would scale the reduced image once more.
    FPixelGraphicWidth = FPixelGraphic->Width();
    FPixelGraphicHeight = FPixelGraphic->Height();
  } else {
    FDisplayCopy.Keep(std::move(copy));
  }
  viewport()->update();
}

// ---------------------------------------------------------------- palette

// Palettes are never realised: Qt's surfaces are true colour. The palette
// choice still decides the display copies, and the palette is there for
// whoever asks.
std::optional<TPGLogPalette> TPGImage::GetPalette() {
  TPixelGraphic* g = CopyNeeded() ? FDisplayCopy.Copy() : FPixelGraphic.get();
  if (!g) return std::nullopt;
  const TPaletteIdent ident = g->PaletteIdent();
  if (ident == pBlackWhite || ident == pSysGray4 || ident == pSys16) return std::nullopt;
  return GetPaletteHandle(*g);
}

void TPGImage::DisplayChanged() {
  FDisplayCopy.DisplayChanged();
  viewport()->update();
}

// ---------------------------------------------------------------- settings

void TPGImage::SetStretchMode(TStretchMode value) { SetCopySetting(FDisplay.StretchMode, value); }

void TPGImage::SetPalette8BitSys24BitGraphic(TPaletteIdent value) {
  SetCopySetting(FDisplay.Palette8BitSys24BitGraphic,
                 std::clamp(value, pBlackWhite, pOptimized252Sys16));
}

void TPGImage::SetPalette8BitSys8BitGraphic(TPaletteIdent value) {
  SetCopySetting(FDisplay.Palette8BitSys8BitGraphic, std::clamp(value, pBlackWhite, pSource));
}

void TPGImage::SetTiling(TTiling value) {
  if (FTiling == value) return;
  FTiling = value;
  viewport()->update();
}

void TPGImage::SetUseThread(bool value) {
  if (FDisplay.UseThread == value) return;
  FDisplayCopy.Drop(true);
  FDisplay.UseThread = value;
  viewport()->update();
}

// ---------------------------------------------------------------- paint

void TPGImage::paintEvent(QPaintEvent* e) {
  if (FLayoutInProgress) return;
  // A tick of the selection frame: the picture box draws the frame over
  // what is on screen, and nothing under it changed.
  if (OnlySelectionFrame(e->region().translated(-FPicBox->pos()))) return;
  QPainter painter(viewport());
  FInPaint = true;
  std::exception_ptr failure;
  try {
    Paint(painter, e->rect());
  } catch (...) {
    failure = std::current_exception();
  }
  FInPaint = false;
  // An error must not unwind through the toolkit's painting: it is raised
  // again from an ordinary event, where the application reports it like any
  // other, and the next paint runs as usual.
  if (failure)
    QMetaObject::invokeMethod(this, [failure] { std::rethrow_exception(failure); },
                              Qt::QueuedConnection);
}

void TPGImage::Paint(QPainter& painter, const QRect& clip) {
  const QRect client = viewport()->rect();
  const QRect p = FPicBox->geometry();
  TPixelGraphic* g = NeedsPaintPixelGraphic() ? FDisplayCopy.Copy() : FPixelGraphic.get();
  // An image without pixel memory (its allocation failed) has nothing to show.
  if (g && g->Empty()) g = nullptr;
  if (OnPainting) OnPainting(this);

  TQtPainterCanvas canvas(painter, clip);
  struct TCanvasScope {
    TPGImage& View;
    ~TCanvasScope() { View.FPaintCanvas = nullptr; }
  } scope{*this};
  FPaintCanvas = &canvas;

  const auto draw = [&] {
    // A tiled picture covers everything; an empty box cannot be tiled.
    const bool tiled = FTiling != tNone && g && !p.isEmpty();
    if (!tiled) {
      const QColor color = FColor;
      const int pr = p.left() + p.width(), pb = p.top() + p.height();
      if (p.top() > 0) painter.fillRect(QRect(0, 0, client.width(), p.top()), color);
      if (pb < client.height())
        painter.fillRect(QRect(0, pb, client.width(), client.height() - pb), color);
      if (p.left() > 0) painter.fillRect(QRect(0, 0, p.left(), client.height()), color);
      if (pr < client.width()) painter.fillRect(QRect(pr, 0, client.width() - pr, client.height()), color);
    }
    if (!g) {
      DrawEmptyFrame(painter, p);
      return;
    }
    if (p.isEmpty()) return;
    try {
      DrawPicture(canvas, *g, p, clip);
    } catch (...) {
      // Never leave a wrong picture: show the empty frame; the next paint tries again.
      DrawEmptyFrame(painter, p);
    }
  };
  std::exception_ptr drawing;
  try {
    draw();
  } catch (...) {
    drawing = std::current_exception();
  }
  // The owner draws last, also when drawing failed; called in the normal
  // flow, so that an error of its own reaches the caller like any other.
  if (OnPaint) OnPaint(this, painter);
  if (drawing) std::rethrow_exception(drawing);
}

void TPGImage::DrawPicture(TQtCanvas& canvas, TPixelGraphic& g, const QRect& p, const QRect& clip) {
  const QRect client = viewport()->rect();
  const std::int64_t pl = p.left(), pt = p.top(), pw = p.width(), ph = p.height();
  const std::int64_t pr = pl + pw, pb = pt + ph;
  std::int64_t r0 = 0, r1 = 0, c0 = 0, c1 = 0;
  if (FTiling != tNone) {
    r0 = pt > 0 ? DivTrunc(1 - pb, ph) : 0;
    r1 = pb < client.height() ? DivTrunc(client.height() - pt - 1, ph) : 0;
    c0 = pl > 0 ? DivTrunc(1 - pr, pw) : 0;
    c1 = pr < client.width() ? DivTrunc(client.width() - pl - 1, pw) : 0;
  }
  const std::int64_t clipR = std::int64_t(clip.left()) + clip.width();
  const std::int64_t clipB = std::int64_t(clip.top()) + clip.height();
  const bool mirrorColumns = FTiling == tMirrorHorizontal || FTiling == tMirror;
  const bool mirrorRows = FTiling == tMirrorVertical || FTiling == tMirror;
  struct TTile {
    TRect Rect;
    bool H, V;
  };
  std::vector<TTile> tiles;
  int both = 0, onlyH = 0, onlyV = 0;
  for (std::int64_t r = r0; r <= r1; ++r) {
    const std::int64_t top = pt + r * ph, bottom = top + ph;
    if (top > clipB || bottom < clip.top()) continue;
    for (std::int64_t c = c0; c <= c1; ++c) {
      const std::int64_t left = pl + c * pw, right = left + pw;
      if (left > clipR || right < clip.left()) continue;
      const bool h = FFlipHorizontal != (mirrorColumns && c % 2 != 0);
      const bool v = FFlipVertical != (mirrorRows && r % 2 != 0);
      tiles.push_back({{int(left), int(top), int(right), int(bottom)}, h, v});
      both += h && v;
      onlyH += h && !v;
      onlyV += !h && v;
    }
  }
  std::unique_ptr<TPixelGraphic> copyBoth, copyH, copyV;
  if (both > 2) copyBoth = MirroredCopy(g, true, true);
  if (onlyH > 2) copyH = MirroredCopy(g, true, false);
  if (onlyV > 2) copyV = MirroredCopy(g, false, true);
  const auto draw = [&](TPixelGraphic& image, const TRect& rect) { image.Draw(canvas, rect); };
  for (const TTile& tile : tiles) {
    TPixelGraphic* ready = tile.H && tile.V ? copyBoth.get() : tile.H ? copyH.get() : tile.V ? copyV.get() : nullptr;
    if (ready || (!tile.H && !tile.V)) {
      draw(ready ? *ready : g, tile.Rect);
      continue;
    }
    TRect turned = tile.Rect;
    if (tile.H) turned.Left = tile.Rect.Right - 1, turned.Right = tile.Rect.Left - 1;
    if (tile.V) turned.Top = tile.Rect.Bottom - 1, turned.Bottom = tile.Rect.Top - 1;
    draw(g, turned);
  }
}

void TPGImage::DrawEmptyFrame(QPainter& painter, const QRect& p) {
  if (p.width() > 0 && p.height() > 0) {
    painter.setPen(QPen(FPicBoxFrameColor, 1));
    painter.setBrush(FPicBox->Color);
    painter.drawRect(p.adjusted(0, 0, -1, -1));
  }
  DrawClocks(painter);
}

std::vector<QPoint> TPGImage::ClockOrigins() const {
  const QRect p = FPicBox->geometry();
  std::vector<QPoint> origins;
  const int pr = p.left() + p.width(), pb = p.top() + p.height();
  if (p.width() > 20 && p.height() > 20)
    origins.emplace_back(p.left() + p.width() / 2 - 7, p.top() + p.height() / 2 - 7);
  if (FProgress5Clocks && p.width() >= 101 && p.height() >= 101) {
    origins.emplace_back(p.left() + 5, p.top() + 5);
    origins.emplace_back(pr - 20, p.top() + 5);
    origins.emplace_back(p.left() + 5, pb - 20);
    origins.emplace_back(pr - 20, pb - 20);
  }
  return origins;
}

QRegion TPGImage::ClockRegion() const {
  QRegion region;
  for (const QPoint& o : ClockOrigins()) region += QRect(o, QSize(16, 16));
  return region;
}

void TPGImage::DrawClocks(QPainter& painter) {
  if (!FProgressClockVisible) return;
  for (const QPoint& o : ClockOrigins())
    PGDrawProgressClock(painter, o, FDisplayCopy.Step(), FDisplayCopy.Percent(),
                        FProgressClockLineColor, FProgressClockBkColor);
}
