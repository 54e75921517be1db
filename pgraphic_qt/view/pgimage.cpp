#include "pgraphic_qt/view/pgimage.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPalette>
#include <QResizeEvent>
#include <QScrollBar>
#include <QTimer>

#include <filesystem>
#include <optional>

#include "pgraphic/core/messages.h"
#include "pgraphic_qt/view/paintthread.h"
#include "platform/cursors.h"
#include "platform/display.h"

namespace {
// Largest size a widget may have.
constexpr int kMaxBox = QWIDGETSIZE_MAX;
}  // namespace

TPGImage::TPGImage(QWidget* parent) : QAbstractScrollArea(parent) {
  const QPalette pal = palette();
  FColor = pal.color(QPalette::Window);
  FPicBoxFrameColor = pal.color(QPalette::Dark);
  FProgressClockBkColor = pal.color(QPalette::Window);
  FProgressClockLineColor = pal.color(QPalette::Dark);

  // The view paints every pixel of its client area itself.
  viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
  viewport()->setAutoFillBackground(false);
  viewport()->setMouseTracking(true);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  ApplyFrame();

  FPicBox = new TPicBox(viewport());
  FPicBox->Color = FColor;
  FPicBox->setGeometry(0, 0, 0, 0);
  FPicBox->InternalMouseDown = [this](void*, Qt::MouseButton b, Qt::MouseButtons, Qt::KeyboardModifiers,
                                      int x, int y) { PicBoxMouseDown(b, x, y); };
  FPicBox->InternalMouseMove = [this](void*, Qt::MouseButton, Qt::MouseButtons, Qt::KeyboardModifiers,
                                      int x, int y) {
    PicBoxMouseMove(x, y, FPicBox->mapToGlobal(QPoint(x, y)));
  };
  FPicBox->InternalMouseUp = [this](void*, Qt::MouseButton b, Qt::MouseButtons, Qt::KeyboardModifiers,
                                    int, int) { PicBoxMouseUp(b); };
  FPicBox->InternalPaint = [this](QPainter& painter, const QRegion& region) {
    PaintSelectionFrame(painter);
    return !OnlySelectionFrame(region);
  };
  FPicBox->show();

  FDisplayCopy.OnReady = [this](std::unique_ptr<TPixelGraphic> copy) { CopyReady(std::move(copy)); };
  FDisplayCopy.OnProgress = [this] { viewport()->update(ClockRegion()); };
  if (QCoreApplication::instance())
    connect(TPGDisplay::Instance(), &TPGDisplay::DisplayChanged, this, [this] { DisplayChanged(); });

  resize(100, 100);
  FLastSize = size();
  Rearrange(true);
}

TPGImage::~TPGImage() {
  FDisplayCopy.Free();
  // Handlers of the owner must not run while the view goes.
  FPicBox->InternalPaint = nullptr;
}

// ---------------------------------------------------------------- image

void TPGImage::HookImage(TPixelGraphic& image, bool withChange) {
  image.OnProgressStart = [this](void* sender) {
    if (OnPixelGraphicProgressStart) OnPixelGraphicProgressStart(sender);
  };
  image.OnProgress = [this](void* sender, int step, int max, bool& abort) {
    if (OnPixelGraphicProgress) OnPixelGraphicProgress(sender, step, max, abort);
  };
  image.OnProgressEnd = [this](void* sender) {
    if (OnPixelGraphicProgressEnd) OnPixelGraphicProgressEnd(sender);
  };
  image.OnImageChange = nullptr;
  if (withChange) image.OnImageChange = [this](void*) { PixelGraphicChanged(); };
}

TPixelGraphic* TPGImage::PixelGraphic() {
  FDisplayCopy.Stop();
  return FPixelGraphic.get();
}

void TPGImage::ReplaceImage(std::unique_ptr<TPixelGraphic> image) {
  FDisplayCopy.Stop();
  FPixelGraphic.reset();
  DropPaintPixelGraphic();
  if (image) {
    HookImage(*image, true);
    FPixelGraphic = std::move(image);
  }
  PixelGraphicChanged();
}

void TPGImage::AssignPixelGraphic(const TPixelGraphic* source) {
  std::unique_ptr<TPixelGraphic> copy;
  if (source) {
    FDisplayCopy.Stop();  // the source may be the view's own image
    copy = std::make_unique<TPixelGraphic>();
    copy->Assign(source);
  }
  ReplaceImage(std::move(copy));
}

void TPGImage::SetPixelGraphic(std::unique_ptr<TPixelGraphic> image) {
  ReplaceImage(std::move(image));
}

void TPGImage::LoadFromFile(const std::string& fileName) {
  FFileName.clear();
  std::optional<TPGScreenCursorGuard> hourglass;
  if (FShowHourGlass && QCoreApplication::instance()) hourglass.emplace(PGCursor(TPGCursor::crHourGlass));
  FDisplayCopy.Stop();
  FPixelGraphic.reset();
  DropPaintPixelGraphic();
  try {
    // A name that ends in a separator names no file: the view stays empty.
    if (!std::filesystem::path(fileName).filename().empty()) {
      auto image = std::make_unique<TPixelGraphic>();
      image->ReadWarningAction = FReadWarningAction;
      image->SetBackGroundColor(FBackGroundColor);
      HookImage(*image, false);
      image->LoadFromFile(fileName);
      HookImage(*image, true);
      FPixelGraphic = std::move(image);
    }
    FFileName = fileName;
  } catch (...) {
    FPixelGraphic.reset();
    FFileName.clear();
    PixelGraphicChanged();
    throw;
  }
  PixelGraphicChanged();
}

void TPGImage::SaveToFile(const std::string& fileName) {
  TPixelGraphic* image = PixelGraphic();
  if (!image) RaisePG<EPGEmpty>(msgIsEmpty, "PixelGraphic");
  image->SaveColorResWarningAction = FSaveColorResWarningAction;
  image->SaveToFile(fileName);
  FFileName = fileName;
}

void TPGImage::PixelGraphicChanged() {
  // The copy made for the old image is out of date (the next paint decides
  // whether it stays on show meanwhile), and nothing on its way is taken.
  FDisplayCopy.Drop(true);
  FPixelGraphicWidth = FPixelGraphic ? FPixelGraphic->Width() : 0;
  FPixelGraphicHeight = FPixelGraphic ? FPixelGraphic->Height() : 0;
  const TPGAutoSize size = PGAutoSize(
      FPixelGraphicWidth, FPixelGraphicHeight, BorderWidth(), FAutoSizeMinWidth, FAutoSizeMaxWidth,
      FAutoSizeMinHeight, FAutoSizeMaxHeight, PGScrollBarExtent(this), PGScrollBarExtent(this));
  if (OnNewAutoSize) OnNewAutoSize(this, size.Width, size.Height);
  const int w = std::clamp(size.Width, 0, kMaxBox), h = std::clamp(size.Height, 0, kMaxBox);
  if (!FAutoSize || (w == width() && h == height())) {
    Rearrange(false);
  } else {
    resize(w, h);
    BoundsChanged();
  }
  if (OnPixelGraphicChange) OnPixelGraphicChange(this);
}

// ---------------------------------------------------------------- mappings

int TPGImage::ImageXToPicBoxX(int x) const { return PGScaleTruncated(x, FPicBox->width(), FPixelGraphicWidth); }
int TPGImage::ImageYToPicBoxY(int y) const { return PGScaleTruncated(y, FPicBox->height(), FPixelGraphicHeight); }
int TPGImage::PicBoxXToImageX(int x) const { return PGScaleTruncated(x, FPixelGraphicWidth, FPicBox->width()); }
int TPGImage::PicBoxYToImageY(int y) const { return PGScaleTruncated(y, FPixelGraphicHeight, FPicBox->height()); }
QPoint TPGImage::PicBoxToImagePoint(QPoint p) const {
  return {PicBoxXToImageX(p.x()), PicBoxYToImageY(p.y())};
}

// ---------------------------------------------------------------- layout

int TPGImage::BorderWidth() const {
  if (FBorderStyle == bsNone) return 0;
  return FCtl3D ? 2 : 1;
}

void TPGImage::ApplyFrame() {
  if (FBorderStyle == bsNone) {
    setFrameStyle(QFrame::NoFrame);
  } else if (FCtl3D) {
    setFrameStyle(QFrame::WinPanel | QFrame::Sunken);
  } else {
    setFrameStyle(QFrame::Box | QFrame::Plain);
    setLineWidth(1);
  }
}

int TPGImage::ClientWidth() const {
  return std::max(0, width() - 2 * BorderWidth() -
                         (FVertBar ? PGScrollBarExtent(this) : 0));
}

int TPGImage::ClientHeight() const {
  return std::max(0, height() - 2 * BorderWidth() -
                         (FHorzBar ? PGScrollBarExtent(this) : 0));
}

int TPGImage::HorzScrollPosition() const { return horizontalScrollBar()->value(); }
int TPGImage::VertScrollPosition() const { return verticalScrollBar()->value(); }
void TPGImage::SetHorzScrollPosition(int value) { horizontalScrollBar()->setValue(value); }
void TPGImage::SetVertScrollPosition(int value) { verticalScrollBar()->setValue(value); }

bool TPGImage::CanScroll() const {
  return (ClientWidth() < FPicBox->width() && FHorzBar) ||
         (ClientHeight() < FPicBox->height() && FVertBar);
}

void TPGImage::UpdateScrollBars() {
  // The scroll box's automatic ranges: its child's offset plus size, with a
  // bar wherever that exceeds the client area (a bar narrows the other side).
  // A vertical bar takes its width, a horizontal one its height.
  const int v = PGScrollBarExtent(this), h = v;
  const int fullW = std::max(0, width() - 2 * BorderWidth());
  const int fullH = std::max(0, height() - 2 * BorderWidth());
  const std::int64_t extentW = std::int64_t(FPicRect.x()) + FPicRect.width();
  const std::int64_t extentH = std::int64_t(FPicRect.y()) + FPicRect.height();
  bool horz = false, vert = false;
  if (FAutoScroll) {
    for (int pass = 0; pass < 2; ++pass) {
      horz = extentW > fullW - (vert ? v : 0);
      vert = extentH > fullH - (horz ? h : 0);
    }
  }
  FHorzBar = horz;
  FVertBar = vert;
  setHorizontalScrollBarPolicy(horz ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
  setVerticalScrollBarPolicy(vert ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
  const int cw = ClientWidth(), ch = ClientHeight();
  horizontalScrollBar()->setRange(0, horz ? int(std::clamp<std::int64_t>(extentW - cw, 0, kMaxBox)) : 0);
  verticalScrollBar()->setRange(0, vert ? int(std::clamp<std::int64_t>(extentH - ch, 0, kMaxBox)) : 0);
  horizontalScrollBar()->setPageStep(std::max(1, cw));
  verticalScrollBar()->setPageStep(std::max(1, ch));
  horizontalScrollBar()->setSingleStep(std::max(1, cw / 10));
  verticalScrollBar()->setSingleStep(std::max(1, ch / 10));
}

void TPGImage::Rearrange(bool force) {
  const int b = BorderWidth();
  const int availW = width() - 2 * b, availH = height() - 2 * b;
  // A vertical bar takes its width, a horizontal one its height.
  const int v = PGScrollBarExtent(this), h = v;
  const TPGLayoutSize size = PGStretchLayout(FStretch, FPixelGraphicWidth, FPixelGraphicHeight,
                                             availW, availH, v, h, FZoomFactor);
  if (size.Zoom != FActualZoomFactor) {
    FActualZoomFactor = size.Zoom;
    if (OnZoomFactorChange) OnZoomFactorChange(this);
  }
  const int W = std::clamp(size.Width, 0, kMaxBox), H = std::clamp(size.Height, 0, kMaxBox);
  TPGCenterOffset place;
  if (FCenter) place = PGCenterOffset(W, H, availW, availH, v, h);

  const bool sameSize = FPicBox->width() == W && FPicBox->height() == H;
  bool placed = FPicRect.topLeft() == QPoint(place.Left, place.Top);
  if (FCenter) {
    if (place.HorzBar) placed = placed && HorzScrollPosition() == (W - ClientWidth()) / 2;
    if (place.VertBar) placed = placed && VertScrollPosition() == (H - ClientHeight()) / 2;
  } else {
    placed = placed && HorzScrollPosition() == 0 && VertScrollPosition() == 0;
  }
  if (sameSize && ((!force && !FRearrangeAlways) || placed)) {
    viewport()->update();
    return;
  }
  FLayoutInProgress = true;
  SetHorzScrollPosition(0);
  SetVertScrollPosition(0);
  FPicRect = QRect(place.Left, place.Top, W, H);
  FPicBox->setGeometry(FPicRect);
  UpdateScrollBars();
  if (FCenter) {
    if (place.HorzBar) SetHorzScrollPosition((W - ClientWidth()) / 2);
    if (place.VertBar) SetVertScrollPosition((H - ClientHeight()) / 2);
  }
  FLayoutInProgress = false;
  viewport()->update();
}

void TPGImage::BoundsChanged() {
  FLastSize = size();
  FPicBox->setGeometry(0, 0, 0, 0);
  Rearrange(true);
}

void TPGImage::resizeEvent(QResizeEvent* e) {
  QAbstractScrollArea::resizeEvent(e);
  // Also called when only the viewport changed (a scroll bar came or went);
  // the layout depends on the outer size.
  if (size() != FLastSize) BoundsChanged();
}

void TPGImage::moveEvent(QMoveEvent* e) {
  QAbstractScrollArea::moveEvent(e);
  // New bounds in the parent lay the picture out anew, a move as well as a
  // resize. A view that is a window of its own is moved by the window
  // manager at will; where it stands on the desktop is no part of its layout.
  if (!isWindow()) BoundsChanged();
}

void TPGImage::scrollContentsBy(int dx, int dy) {
  viewport()->scroll(dx, dy);
  FPicBox->move(FPicRect.topLeft() - QPoint(HorzScrollPosition(), VertScrollPosition()));
}

// ---------------------------------------------------------------- properties

void TPGImage::SetAutoSize(bool value) {
  FAutoSize = value;
  PixelGraphicChanged();
}

void TPGImage::SetAutoSizeBound(int& bound, int value) {
  if (bound == value) return;
  bound = value;
  if (FAutoSize) PixelGraphicChanged();
}

void TPGImage::SetCenter(bool value) {
  if (FCenter == value) return;
  FCenter = value;
  Rearrange(true);
}

void TPGImage::SetStretch(TStretch value) {
  if (FStretch == value) return;
  FStretch = value;
  Rearrange(true);
}

void TPGImage::SetZoomFactor(long double value) {
  if (FZoomFactor == value) return;
  FZoomFactor = value;
  Rearrange(true);
}

void TPGImage::SetRepaintFlag(bool& flag, bool value) {
  if (flag == value) return;
  flag = value;
  viewport()->update();
}

void TPGImage::SetBorderStyle(TBorderStyle value) {
  if (FBorderStyle == value) return;
  FBorderStyle = value;
  ApplyFrame();
  BoundsChanged();
}

void TPGImage::SetCtl3D(bool value) {
  if (FCtl3D == value) return;
  FCtl3D = value;
  ApplyFrame();
  BoundsChanged();
}

void TPGImage::SetAutoScroll(bool value) {
  if (FAutoScroll == value) return;
  FAutoScroll = value;
  BoundsChanged();
}

void TPGImage::SetColor(const QColor& value) {
  if (FColor == value) return;
  // The picture box takes the view's colour while it has not been given one.
  if (FPicBox->Color == FColor) FPicBox->Color = value;
  FColor = value;
  viewport()->update();
}

// ---------------------------------------------------------------- the view's own mouse

void TPGImage::FireMouse(const TPGMouseEvent& handler, QMouseEvent* e, Qt::MouseButton button) {
  if (!handler) return;
  const QPoint p = e->position().toPoint();
  handler(this, button, e->buttons(), e->modifiers(), p.x(), p.y());
}

void TPGImage::mousePressEvent(QMouseEvent* e) { FireMouse(OnMouseDown, e, e->button()); }

void TPGImage::mouseMoveEvent(QMouseEvent* e) {
  if (e->buttons() == Qt::NoButton) UpdateCursor(nullptr, e->position().toPoint());
  FireMouse(OnMouseMove, e, Qt::NoButton);
}

void TPGImage::mouseReleaseEvent(QMouseEvent* e) {
  FireMouse(OnMouseUp, e, e->button());
  if (e->button() == Qt::LeftButton && viewport()->rect().contains(e->position().toPoint()) && OnClick)
    OnClick(this);
}

void TPGImage::mouseDoubleClickEvent(QMouseEvent* e) {
  if (e->button() == Qt::LeftButton && OnDblClick) OnDblClick(this);
  FireMouse(OnMouseDown, e, e->button());
}

void TPGImage::contextMenuEvent(QContextMenuEvent* e) {
  if (PopupMenu)
    PopupMenu->popup(e->globalPos());
  else
    e->ignore();
}

// ---------------------------------------------------------------- picture box properties

void TPGImage::SetPicBoxColor(const QColor& value) {
  FPicBox->Color = value;
  viewport()->update();
}
void TPGImage::SetPicBoxCursor(const QCursor& value) {
  FPicBox->Cursor = value;
  RefreshCursor();
}
void TPGImage::SetPicBoxHint(const QString& value) { FPicBox->setToolTip(value); }
void TPGImage::SetPicBoxPopupMenu(QMenu* menu) { FPicBox->PopupMenu = menu; }
void TPGImage::SetPicBoxTag(std::intptr_t value) { FPicBox->Tag = value; }
void TPGImage::SetPicBoxOnClick(TNotifyEvent handler) { FPicBox->OnClick = std::move(handler); }
void TPGImage::SetPicBoxOnDblClick(TNotifyEvent handler) { FPicBox->OnDblClick = std::move(handler); }
void TPGImage::SetPicBoxOnMouseDown(TPGMouseEvent handler) { FPicBox->OnMouseDown = std::move(handler); }
void TPGImage::SetPicBoxOnMouseMove(TPGMouseEvent handler) { FPicBox->OnMouseMove = std::move(handler); }
void TPGImage::SetPicBoxOnMouseUp(TPGMouseEvent handler) { FPicBox->OnMouseUp = std::move(handler); }
void TPGImage::SetPicBoxOnPaint(TPGPaintEvent handler) { FPicBox->OnPaint = std::move(handler); }
