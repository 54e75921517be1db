#pragma once
// The Source page of the main window: the mode buttons and the magnifier
// above, the two rulers around the Source view, and the status strip below
// (the status text, the selected line's position, editable, and the zoom).
// The mouse, the wheel and the keys on the view go to the split editor and
// the zoom; wherever else on the page the mouse moves, the hover cursor
// goes back to the default.
//
// Its widgets carry the names of the window design as their object names:
// the view "PGImage1", the rulers "PaintBox2" (top) and "PaintBox1" (left),
// the mode buttons "x_speed", "y_speed", "rect_speed", "cross_speed" (and
// "cells_speed"), the magnifier "QV_Loupe1".

#include <QWidget>

#include <array>

#include "app/ui/spliteditor.h"

class QLabel;
class QSpinBox;
class QToolButton;
class TCutDocument;
class TPGImage;
class TQV_Loupe;
class TRuler;
class TSourceZoom;

class TSourcePage : public QWidget {
  Q_OBJECT

 public:
  explicit TSourcePage(TCutDocument& document, QWidget* parent = nullptr);
  ~TSourcePage() override;

  // The Source view, which holds the source image.
  TPGImage& View() const { return *FView; }
  TSplitEditor& Editor() const { return *FEditor; }
  TSourceZoom& Zoom() const { return *FZoom; }

  void ShowStatus(const QString& text);
  // The cut changed: the lines are drawn anew, the rulers follow, and the
  // selected line shows where it now is.
  void CutChanged();

 signals:
  // A line or cells were chosen or let go: what the menus offer may change.
  void ChoiceChanged();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QWidget* MakeToolBar();
  QWidget* MakeStatusStrip();
  void HookView();
  bool ViewEvent(QWidget* watched, QEvent* event);
  void ShowMode(TSplitMode mode);
  void ShowSelectedLine();
  void ShowZoom();
  void RepaintRulers();

  TCutDocument& FDocument;
  TPGImage* FView;
  TSplitEditor* FEditor;
  TSourceZoom* FZoom;
  TRuler* FTopRuler;
  TRuler* FLeftRuler;
  // The mode buttons, in the order of TSplitMode.
  std::array<QToolButton*, 5> FModeButtons{};
  TQV_Loupe* FMagnifier = nullptr;
  QLabel* FStatus = nullptr;
  QLabel* FLinePositionLabel = nullptr;
  QSpinBox* FLinePosition = nullptr;
  QLabel* FZoomLabel = nullptr;
  int FWheelAngle = 0;  // wheel turns not yet a whole zoom step
};
