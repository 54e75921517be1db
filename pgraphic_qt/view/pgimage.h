#pragma once
// TPGImage: the scrollable, zooming image view. It shows one image inside a
// scroll area, with its picture box (TPicBox) as the child of the viewport
// whose bounds are the displayed image; a sizing rule decides the box's size,
// an optional animated selection rectangle in image pixels can be created,
// moved and resized with the mouse, and display copies (scaled, reduced to
// the screen's colours) are made on a painting thread.
//
// Events are plain handlers, fired only when assigned, with the view (or the
// picture box, for the PicBox... events) as Sender. Everything here runs on
// the user-interface thread.

#include <QAbstractScrollArea>
#include <QColor>
#include <QCursor>
#include <QPointer>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "pgraphic/core/logpalette.h"
#include "pgraphic/core/pixelgraphic.h"
#include "pgraphic_qt/view/displaycopy.h"
#include "pgraphic_qt/view/displaysettings.h"
#include "pgraphic_qt/view/layout.h"
#include "pgraphic_qt/view/picbox.h"
#include "pgraphic_qt/view/selection.h"

class QMenu;
class QTimer;
class TQtCanvas;

enum TTiling : std::uint8_t { tNone, tRepeat, tMirrorHorizontal, tMirrorVertical, tMirror };

enum TBorderStyle : std::uint8_t { bsNone, bsSingle };

using TPGINewAutoSizeEvent = std::function<void(void* Sender, int PGImageWidth, int PGImageHeight)>;
// The handler may replace the cursor about to be set.
using TPGSetCursorEvent = std::function<void(void* Sender, QCursor& Cursor)>;

class TPGImage : public QAbstractScrollArea {
  Q_OBJECT
 public:
  explicit TPGImage(QWidget* parent = nullptr);
  ~TPGImage() override;

  // ================================================= image, geometry, zoom

  void LoadFromFile(const std::string& fileName);
  virtual void SaveToFile(const std::string& fileName);
  const std::string& FileName() const { return FFileName; }
  void SetFileName(const std::string& fileName) { LoadFromFile(fileName); }

  // Stops the painting thread first; the caller may change the image in place.
  TPixelGraphic* PixelGraphic();
  void AssignPixelGraphic(const TPixelGraphic* source);
  void SetPixelGraphic(std::unique_ptr<TPixelGraphic> image);
  int PixelGraphicWidth() const { return FPixelGraphicWidth; }
  int PixelGraphicHeight() const { return FPixelGraphicHeight; }
  TPicBox* PicBox() const { return FPicBox; }

  int ImageXToPicBoxX(int x) const;
  int ImageYToPicBoxY(int y) const;
  int PicBoxXToImageX(int x) const;
  int PicBoxYToImageY(int y) const;
  QPoint PicBoxToImagePoint(QPoint p) const;

  void Rearrange(bool force);

  void SetAutoSize(bool value);
  void SetAutoSizeMaxHeight(int value) { SetAutoSizeBound(FAutoSizeMaxHeight, value); }
  void SetAutoSizeMinHeight(int value) { SetAutoSizeBound(FAutoSizeMinHeight, value); }
  void SetAutoSizeMaxWidth(int value) { SetAutoSizeBound(FAutoSizeMaxWidth, value); }
  void SetAutoSizeMinWidth(int value) { SetAutoSizeBound(FAutoSizeMinWidth, value); }
  TRGB BackGroundColor() const { return FBackGroundColor; }
  void SetBackGroundColor(TRGB value) { FBackGroundColor = value & 0xFFFFFF; }
  bool Center() const { return FCenter; }
  void SetCenter(bool value);
  void SetFlipHorizontal(bool value) { SetRepaintFlag(FFlipHorizontal, value); }
  void SetFlipVertical(bool value) { SetRepaintFlag(FFlipVertical, value); }
  TPGWarningAction ReadWarningAction() const { return FReadWarningAction; }
  void SetReadWarningAction(TPGWarningAction value) { FReadWarningAction = value; }
  void SetSaveColorResWarningAction(TPGWarningAction value) { FSaveColorResWarningAction = value; }
  void SetRearrangeAlways(bool value) { FRearrangeAlways = value; }
  void SetShowHourGlass(bool value) { FShowHourGlass = value; }
  void SetStretch(TStretch value);
  long double ZoomFactor() const { return FZoomFactor; }
  void SetZoomFactor(long double value);
  long double ActualZoomFactor() const { return FActualZoomFactor; }
  void SetBorderStyle(TBorderStyle value);
  void SetCtl3D(bool value);
  // Width of the border on each side: 0 without, 2 single and 3D, 1 flat.
  int BorderWidth() const;
  void SetAutoScroll(bool value);
  QColor Color() const { return FColor; }
  void SetColor(const QColor& value);
  QMenu* PopupMenu = nullptr;
  // Client area (inside the border and scroll bars) and scroll positions.
  int ClientWidth() const;
  int ClientHeight() const;
  int HorzScrollPosition() const;
  int VertScrollPosition() const;
  void SetHorzScrollPosition(int value);
  void SetVertScrollPosition(int value);
  bool HorzScrollBarVisible() const { return FHorzBar; }
  bool VertScrollBarVisible() const { return FVertBar; }

  TPGINewAutoSizeEvent OnNewAutoSize;
  TNotifyEvent OnZoomFactorChange;
  TNotifyEvent OnPixelGraphicChange;
  TNotifyEvent OnPixelGraphicProgressStart;
  TPGProgressEvent OnPixelGraphicProgress;
  TNotifyEvent OnPixelGraphicProgressEnd;
  // Mouse over the view itself (beside the picture), in client coordinates.
  TPGMouseEvent OnMouseDown, OnMouseMove, OnMouseUp;
  TNotifyEvent OnClick, OnDblClick;

  // ================================================= selection and mouse

  TActionMode ActionMode() const { return FActionMode; }
  void SetActionMode(TActionMode value);
  TPGDragState DragState() const { return FDragState; }
  bool Selection() const { return FSelection; }
  void SetSelection(bool value);
  // In image pixels (selection.h has the rules of its drags).
  int SelectionLeft() const { return FSelectionRect.Left; }
  int SelectionTop() const { return FSelectionRect.Top; }
  int SelectionWidth() const { return FSelectionRect.Width; }
  int SelectionHeight() const { return FSelectionRect.Height; }
  void SetSelectionLeft(int v) { SetSelectionRect(v, SelectionTop(), SelectionWidth(), SelectionHeight()); }
  void SetSelectionTop(int v) { SetSelectionRect(SelectionLeft(), v, SelectionWidth(), SelectionHeight()); }
  void SetSelectionWidth(int v) { SetSelectionRect(SelectionLeft(), SelectionTop(), v, SelectionHeight()); }
  void SetSelectionHeight(int v) { SetSelectionRect(SelectionLeft(), SelectionTop(), SelectionWidth(), v); }
  void SetSelectionRect(int left, int top, int width, int height);
  void SetSelectionColor1(const QColor& value) { FFrame.SetColor1(value); }
  void SetSelectionColor2(const QColor& value) { FFrame.SetColor2(value); }

  // While the owner drags something of its own over the picture (a split
  // line), the view scrolls toward the mouse whenever it is beyond the
  // client area, as during a selection drag. globalMouse: where the drag
  // starts, in screen coordinates.
  void BeginOwnerDragScroll(QPoint globalMouse);
  void EndOwnerDragScroll();

  // Forwarded to the picture box.
  void SetPicBoxColor(const QColor& value);
  void SetPicBoxCursor(const QCursor& value);
  void SetPicBoxHint(const QString& value);
  void SetPicBoxPopupMenu(QMenu* menu);
  void SetPicBoxTag(std::intptr_t value);
  void SetPicBoxOnClick(TNotifyEvent handler);
  void SetPicBoxOnDblClick(TNotifyEvent handler);
  void SetPicBoxOnMouseDown(TPGMouseEvent handler);
  void SetPicBoxOnMouseMove(TPGMouseEvent handler);
  void SetPicBoxOnMouseUp(TPGMouseEvent handler);
  void SetPicBoxOnPaint(TPGPaintEvent handler);
  void SetPicBoxFrameColor(const QColor& value) { FPicBoxFrameColor = value; }

  TNotifyEvent OnSelectionChange;
  TNotifyEvent OnSelectionMade;
  TPGSetCursorEvent OnSetCursor;
  TPGSetCursorEvent PicBoxOnSetCursor;

  // ================================================= painting

  // The view's client-area paint (run from the viewport's paintEvent).
  virtual void Paint(QPainter& painter, const QRect& clip);
  bool NeedsPaintPixelGraphic();
  void DropPaintPixelGraphic();
  // The display copy, if one is held (owned by the view).
  TPixelGraphic* PaintPixelGraphic() const { return FDisplayCopy.Copy(); }
  // The surface the owner draws on: valid only while OnPaint runs.
  TQtCanvas* Canvas() const { return FPaintCanvas; }
  // The palette of what would be drawn; none for true colour and the palettes
  // every screen holds.
  std::optional<TPGLogPalette> GetPalette();
  // The painting thread (for tests: waiting without handling messages).
  TCreatePaintPGThread* PaintThread() const { return FDisplayCopy.Job(); }

  // The settings display copies are made with (displaysettings.h); a new
  // value of one makes a new copy.
  const TPGDisplaySettings& DisplaySettings() const { return FDisplay; }
  void SetAllow24BitStretch(bool value) { SetCopySetting(FDisplay.Allow24BitStretch, value); }
  void SetDither(bool value) { SetCopySetting(FDisplay.Dither, value); }
  void SetDitherErrorLimit(std::uint8_t value) { SetDitherSetting(FDisplay.DitherErrorLimit, value); }
  void SetDitherErrorLimitAuto(bool value) { SetDitherSetting(FDisplay.DitherErrorLimitAuto, value); }
  void SetDitherErrorLimitSoft(bool value) { SetDitherSetting(FDisplay.DitherErrorLimitSoft, value); }
  void SetKeepOldPaintPixelGraphic(bool value) { FDisplay.KeepOldPaintPixelGraphic = value; }
  void SetPalette8BitSys24BitGraphic(TPaletteIdent value);
  void SetPalette8BitSys8BitGraphic(TPaletteIdent value);
  void SetRGBWeighting(bool value) { SetCopySetting(FDisplay.RGBWeighting, value); }
  void SetReduceOnLoad(bool value) { FDisplay.ReduceOnLoad = value; }
  void SetStretchMode(TStretchMode value);
  void SetUseThread(bool value);
  void SetProgress5Clocks(bool value) { FProgress5Clocks = value; }
  void SetProgressClockBkColor(const QColor& value) { FProgressClockBkColor = value; }
  void SetProgressClockLineColor(const QColor& value) { FProgressClockLineColor = value; }
  void SetProgressClockVisible(bool value) { FProgressClockVisible = value; }
  void SetTiling(TTiling value);

  TNotifyEvent OnPainting;
  TPGPaintEvent OnPaint;

 protected:
  void paintEvent(QPaintEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;
  void moveEvent(QMoveEvent* e) override;
  void scrollContentsBy(int dx, int dy) override;
  void mousePressEvent(QMouseEvent* e) override;
  void mouseMoveEvent(QMouseEvent* e) override;
  void mouseReleaseEvent(QMouseEvent* e) override;
  void mouseDoubleClickEvent(QMouseEvent* e) override;
  void contextMenuEvent(QContextMenuEvent* e) override;

 private:
  // ---- geometry (pgimage.cpp)
  void PixelGraphicChanged();
  void BoundsChanged();
  void UpdateScrollBars();
  void HookImage(TPixelGraphic& image, bool withChange);
  void ReplaceImage(std::unique_ptr<TPixelGraphic> image);
  void SetAutoSizeBound(int& bound, int value);
  void SetRepaintFlag(bool& flag, bool value);
  void ApplyFrame();
  bool CanScroll() const;

  // ---- selection and mouse (pgimage_mouse.cpp)
  void PicBoxMouseDown(Qt::MouseButton button, int x, int y);
  void PicBoxMouseMove(int x, int y, const QPoint& global);
  void PicBoxMouseUp(Qt::MouseButton button);
  // The selection in picture-box coordinates (right and bottom exclusive).
  QRect SelectionPicBoxRect() const;
  bool HandlesShown() const;
  void PaintSelectionFrame(QPainter& painter);
  // The pixels of the picture box that the selection frame and its handles
  // cover; empty without a selection.
  QRegion SelectionFramePixels() const;
  // Whether a paint of `region` (picture-box coordinates) is for the
  // animated frame alone: every pixel is one the frame covers.
  bool OnlySelectionFrame(const QRegion& region) const;
  void AnimationStep();
  void StartAutoScroll(QPoint globalMouse);
  void AutoScrollStep();
  void UpdateCursor(QWidget* over, QPoint pos);
  void RefreshCursor();
  void FireMouse(const TPGMouseEvent& handler, QMouseEvent* e, Qt::MouseButton button);

  // ---- painting (pgimage_paint.cpp)
  bool PictureScaled() const;
  bool CopyNeeded();
  void StartCopy();
  void CopyReady(std::unique_ptr<TPixelGraphic> copy);
  void DrawPicture(TQtCanvas& canvas, TPixelGraphic& g, const QRect& p, const QRect& clip);
  void DrawEmptyFrame(QPainter& painter, const QRect& p);
  void DrawClocks(QPainter& painter);
  std::vector<QPoint> ClockOrigins() const;
  QRegion ClockRegion() const;
  void DisplayChanged();
  // A setting the display copy is made with: a new value makes a new copy.
  template <class T>
  void SetCopySetting(T& field, T value) {
    if (field == value) return;
    field = value;
    PixelGraphicChanged();
  }
  template <class T>
  void SetDitherSetting(T& field, T value) {
    if (field == value) return;
    field = value;
    if (FDisplay.Dither) PixelGraphicChanged();
  }

  // geometry state
  bool FAutoSize = false;
  int FAutoSizeMaxHeight = 2147483647;
  int FAutoSizeMinHeight = 0;
  int FAutoSizeMaxWidth = 2147483647;
  int FAutoSizeMinWidth = 0;
  TRGB FBackGroundColor = 0;
  bool FCenter = false;
  std::string FFileName;
  bool FFlipHorizontal = false;
  bool FFlipVertical = false;
  int FPixelGraphicHeight = 0;
  int FPixelGraphicWidth = 0;
  bool FLayoutInProgress = false;
  TPicBox* FPicBox = nullptr;
  std::unique_ptr<TPixelGraphic> FPixelGraphic;
  TPGWarningAction FReadWarningAction = pgwaOKCancelBox;
  bool FRearrangeAlways = false;
  bool FShowHourGlass = true;
  TStretch FStretch = sNeverKAR;
  TPGWarningAction FSaveColorResWarningAction = pgwaOKCancelBox;
  long double FZoomFactor = 1.0L;
  long double FActualZoomFactor = 1.0L;
  TBorderStyle FBorderStyle = bsSingle;
  bool FCtl3D = true;
  bool FAutoScroll = true;
  QColor FColor;
  // Picture-box bounds in scrolled-to-origin client coordinates.
  QRect FPicRect;
  bool FHorzBar = false;
  bool FVertBar = false;
  QSize FLastSize;

  // selection state
  TActionMode FActionMode = amMoveImage;
  QPoint FMouseStart;
  QPoint FGrab;
  TPGDragState FDragState = dsNone;
  bool FSelection = false;
  TPGSelectionRect FSelectionRect;
  TPGSelectionFrame FFrame;
  QPoint FAnchor;
  QTimer* FAnimationTimer = nullptr;
  QTimer* FAutoScrollTimer = nullptr;
  QColor FPicBoxFrameColor;
  QPoint FLastGlobalMouse;
  bool FInPaint = false;

  // painting state
  TPGDisplaySettings FDisplay;
  bool FProgress5Clocks = true;
  QColor FProgressClockBkColor;
  QColor FProgressClockLineColor;
  bool FProgressClockVisible = true;
  TTiling FTiling = tNone;
  TQtCanvas* FPaintCanvas = nullptr;
  // Last: destroyed first, so its job has ended before the image it reads goes.
  TPGDisplayCopy FDisplayCopy;
};
