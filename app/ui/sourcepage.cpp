// The Source page: its widgets, the wiring of the view's events to the split
// editor and the zoom, and the status strip.
#include "app/ui/sourcepage.h"

#include <QButtonGroup>
#include <QEvent>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QSpinBox>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWheelEvent>

#include <cmath>

#include "app/ui/document.h"
#include "app/ui/rulers.h"
#include "app/ui/sourcezoom.h"
#include "pgraphic_qt/view/pgimage.h"
#include "platform/cursors.h"
#include "widgets/qv_loupe.h"

namespace {

// The mode buttons' pictures: the kind of line each one makes.
QIcon ModeGlyph(TSplitMode mode) {
  QPixmap glyph(16, 16);
  glyph.fill(Qt::transparent);
  QPainter painter(&glyph);
  const QColor ink(0x20, 0x20, 0x20), shade(0x9A, 0xB8, 0xD8);
  painter.fillRect(1, 1, 14, 14, shade);
  switch (mode) {
    case TSplitMode::Vertical: painter.fillRect(7, 0, 2, 16, ink); break;
    case TSplitMode::Horizontal: painter.fillRect(0, 7, 16, 2, ink); break;
    case TSplitMode::Rectangle:
      painter.setPen(QPen(ink, 2));
      painter.drawRect(4, 4, 8, 8);
      break;
    case TSplitMode::Cross:
      painter.fillRect(7, 0, 2, 16, ink);
      painter.fillRect(0, 7, 16, 2, ink);
      break;
    case TSplitMode::Cells:
      // Two cells made one: a frame with the line between them broken.
      painter.setPen(QPen(ink, 2));
      painter.drawRect(2, 4, 12, 8);
      painter.fillRect(7, 4, 2, 2, ink);
      painter.fillRect(7, 10, 2, 2, ink);
      break;
  }
  return QIcon(glyph);
}

struct TModeButton {
  TSplitMode Mode;
  const char* Name;
  const char* Hint;
};
// In the order of TSplitMode.
constexpr TModeButton ModeButtons[] = {
    {TSplitMode::Vertical, "x_speed", "Create vertical split"},
    {TSplitMode::Horizontal, "y_speed", "Create horizontal split"},
    {TSplitMode::Rectangle, "rect_speed", "Create splits from rectangle"},
    {TSplitMode::Cross, "cross_speed", "Create horizontal AND vertical split"},
    {TSplitMode::Cells, "cells_speed", "Select cells to merge or leave without an image"},
};

QToolButton* MakeModeButton(const TModeButton& mode) {
  auto* button = new QToolButton;
  button->setObjectName(QLatin1String(mode.Name));
  button->setIcon(ModeGlyph(mode.Mode));
  button->setToolTip(QLatin1String(mode.Hint));
  button->setCheckable(true);
  button->setAutoRaise(true);
  button->setFixedSize(27, 27);
  return button;
}

}  // namespace

TSourcePage::TSourcePage(TCutDocument& document, QWidget* parent)
    : QWidget(parent), FDocument(document), FView(new TPGImage) {
  setObjectName(QStringLiteral("SourcePage"));
  setMouseTracking(true);
  installEventFilter(this);

  FView->setObjectName(QStringLiteral("PGImage1"));
  FView->SetBorderStyle(bsNone);
  FView->SetColor(palette().color(QPalette::Button));
  FView->SetStretch(sZoomKAR);
  FView->SetZoomFactor(1.0L);
  FView->SetStretchMode(smPrecise);
  FView->SetSelectionColor2(Qt::black);
  FView->SetActionMode(amNone);
  FEditor = new TSplitEditor(FDocument, *FView, this);
  FEditor->setObjectName(QStringLiteral("SplitEditor"));
  FZoom = new TSourceZoom(*FView, this);
  FZoom->setObjectName(QStringLiteral("SourceZoom"));
  FTopRuler = new TRuler(TRuler::rsTop, FDocument.Data().Grid, *FView);
  FTopRuler->setObjectName(QStringLiteral("PaintBox2"));
  FLeftRuler = new TRuler(TRuler::rsLeft, FDocument.Data().Grid, *FView);
  FLeftRuler->setObjectName(QStringLiteral("PaintBox1"));

  auto* rulers = new QGridLayout;
  rulers->setContentsMargins(0, 0, 0, 0);
  rulers->setSpacing(0);
  rulers->addWidget(FTopRuler, 0, 0, 1, 2);
  rulers->addWidget(FLeftRuler, 1, 0);
  rulers->addWidget(FView, 1, 1);
  rulers->setRowStretch(1, 1);
  rulers->setColumnStretch(1, 1);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(MakeToolBar());
  layout->addLayout(rulers, 1);
  layout->addWidget(MakeStatusStrip());
  HookView();
  ShowMode(FEditor->Mode());
  ShowSelectedLine();
  ShowZoom();
}

TSourcePage::~TSourcePage() {
  // The children go after this page's own members: nothing of theirs may
  // reach back into it on the way.
  for (QObject* watched : std::initializer_list<QObject*>{FView, FView->viewport(), FView->PicBox()})
    watched->removeEventFilter(this);
  for (QObject* sender : std::initializer_list<QObject*>{FZoom, FEditor, FView->horizontalScrollBar(),
                                                         FView->verticalScrollBar()})
    sender->disconnect(this);
  FView->OnPaint = nullptr;
  FView->OnSelectionMade = nullptr;
  FView->OnPixelGraphicChange = nullptr;
  // The hover cursor belongs to this page's picture.
  PGSetScreenCursor(TPGCursor::crDefault);
}

QWidget* TSourcePage::MakeToolBar() {
  auto* bar = new QWidget;
  bar->setObjectName(QStringLiteral("ModeBar"));
  bar->setFixedHeight(33);
  bar->setMouseTracking(true);
  bar->installEventFilter(this);
  auto* group = new QButtonGroup(bar);
  group->setObjectName(QStringLiteral("ModeButtons"));
  group->setExclusive(true);
  auto* layout = new QHBoxLayout(bar);
  layout->setContentsMargins(2, 0, 0, 0);
  layout->setSpacing(0);
  for (const TModeButton& mode : ModeButtons) {
    QToolButton* button = MakeModeButton(mode);
    FModeButtons[std::size_t(mode.Mode)] = button;
    group->addButton(button);
    layout->addWidget(button);
    connect(button, &QToolButton::clicked, this, [this, mode = mode.Mode] { FEditor->SetMode(mode); });
  }
  layout->addStretch(1);
  FMagnifier = new TQV_Loupe;
  FMagnifier->setObjectName(QStringLiteral("QV_Loupe1"));
  FMagnifier->setFixedSize(100, 33);
  FMagnifier->SetZoomLevel(2.0);
  FMagnifier->SetInterval(100);
  FMagnifier->SetActive(true);
  layout->addWidget(FMagnifier);
  // Left adds one to the zoom; any other button takes one off, down to 1.
  connect(FMagnifier, &TQV_Loupe::MouseReleased, this, [this](Qt::MouseButton button) {
    if (button == Qt::LeftButton)
      FMagnifier->SetZoomLevel(FMagnifier->ZoomLevel() + 1.0);
    else if (FMagnifier->ZoomLevel() > 1.0)
      FMagnifier->SetZoomLevel(FMagnifier->ZoomLevel() - 1.0);
  });
  return bar;
}

QWidget* TSourcePage::MakeStatusStrip() {
  auto* strip = new QWidget;
  strip->setObjectName(QStringLiteral("StatusStrip"));
  strip->setMouseTracking(true);
  strip->installEventFilter(this);
  QFont bold(QStringLiteral("Arial"), 8);
  bold.setBold(true);
  FStatus = new QLabel;
  FStatus->setObjectName(QStringLiteral("StatusBar"));
  FStatus->setFixedHeight(18);
  FStatus->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  FStatus->setFont(bold);
  FStatus->setMouseTracking(true);
  FStatus->installEventFilter(this);
  FLinePositionLabel = new QLabel;
  FLinePositionLabel->setObjectName(QStringLiteral("LinePositionLabel"));
  FLinePosition = new QSpinBox;
  FLinePosition->setObjectName(QStringLiteral("LinePosition"));
  FLinePosition->setFixedHeight(18);
  // A typed position takes effect with Enter, not at every digit.
  FLinePosition->setKeyboardTracking(false);
  FZoomLabel = new QLabel;
  FZoomLabel->setObjectName(QStringLiteral("ZoomLabel"));
  FZoomLabel->setFixedHeight(18);
  FZoomLabel->setMinimumWidth(50);
  FZoomLabel->setAlignment(Qt::AlignCenter);
  FZoomLabel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  auto* layout = new QHBoxLayout(strip);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(4);
  layout->addWidget(FStatus, 1);
  layout->addWidget(FLinePositionLabel);
  layout->addWidget(FLinePosition);
  layout->addWidget(FZoomLabel);
  connect(FLinePosition, &QSpinBox::valueChanged, this, [this](int position) {
    if (!FEditor->MoveSelected(position)) ShowSelectedLine();  // taken or outside: as it was
  });
  return strip;
}

void TSourcePage::HookView() {
  const auto status = [this](const QString& text) { ShowStatus(text); };
  connect(FEditor, &TSplitEditor::StatusText, this, status);
  connect(FLeftRuler, &TRuler::StatusText, this, status);
  connect(FTopRuler, &TRuler::StatusText, this, status);
  connect(FEditor, &TSplitEditor::ModeChanged, this, [this](TSplitMode mode) { ShowMode(mode); });
  connect(FEditor, &TSplitEditor::GridChanged, this, [this] { RepaintRulers(); });
  connect(FEditor, &TSplitEditor::SelectionChanged, this, [this] {
    ShowSelectedLine();
    emit ChoiceChanged();
  });
  connect(FEditor, &TSplitEditor::CellsChosen, this, [this] { emit ChoiceChanged(); });
  connect(FTopRuler, &TRuler::Released, FEditor, &TSplitEditor::TopRulerRelease);
  connect(FLeftRuler, &TRuler::Released, FEditor, &TSplitEditor::LeftRulerRelease);
  connect(FZoom, &TSourceZoom::Zoomed, this, [this] {
    ShowZoom();
    RepaintRulers();
  });
  for (QScrollBar* bar : {FView->horizontalScrollBar(), FView->verticalScrollBar()})
    connect(bar, &QScrollBar::valueChanged, this, [this] {
      FEditor->ViewScrolled();
      RepaintRulers();
    });

  // The mouse on the picture and beside it goes to the editor from the
  // events themselves (ViewEvent), with the fractions of scaled displays.
  FView->PicBox()->installEventFilter(this);
  FView->viewport()->installEventFilter(this);
  FView->installEventFilter(this);
  FView->OnSelectionMade = [this](void*) { FEditor->SelectionMade(QGuiApplication::keyboardModifiers()); };
  FView->OnPaint = [this](void*, QPainter& painter) { FEditor->Paint(painter); };
  FView->OnPixelGraphicChange = [this](void*) { FEditor->ImageChanged(); };
}

void TSourcePage::ShowStatus(const QString& text) { FStatus->setText(text); }

void TSourcePage::CutChanged() {
  FEditor->Changed();
  ShowSelectedLine();
}

void TSourcePage::ShowMode(TSplitMode mode) { FModeButtons[std::size_t(mode)]->setChecked(true); }

void TSourcePage::RepaintRulers() {
  FLeftRuler->update();
  FTopRuler->update();
}

void TSourcePage::ShowSelectedLine() {
  const std::optional<TLineRef> line = FEditor->Selected();
  FLinePositionLabel->setVisible(line.has_value());
  FLinePosition->setVisible(line.has_value());
  if (!line) return;
  const QSignalBlocker quiet(FLinePosition);
  FLinePositionLabel->setText(line->Horizontal ? QStringLiteral("Horizontal line at")
                                               : QStringLiteral("Vertical line at"));
  FLinePosition->setRange(0, line->Horizontal ? FView->PixelGraphicHeight() : FView->PixelGraphicWidth());
  FLinePosition->setValue(line->Position);
}

void TSourcePage::ShowZoom() {
  const double percent = double(FZoom->Zoom()) * 100;
  const bool whole = std::abs(percent - std::round(percent)) < 0.05;
  FZoomLabel->setText(QString::number(percent, 'f', whole ? 0 : 1) + QStringLiteral(" %"));
}

bool TSourcePage::eventFilter(QObject* watched, QEvent* event) {
  QWidget* picture = FView->PicBox();
  if (watched == FView || watched == FView->viewport() || watched == picture)
    if (ViewEvent(static_cast<QWidget*>(watched), event)) return true;
  const bool leftPicture = watched == picture && event->type() == QEvent::Leave && !FEditor->DraggingHorz() &&
                           !FEditor->DraggingVert();
  const bool movedElsewhere = watched != picture && event->type() == QEvent::MouseMove;
  if ((leftPicture || movedElsewhere) && !PGScreenCursorIsDefault()) PGSetScreenCursor(TPGCursor::crDefault);
  return QWidget::eventFilter(watched, event);
}

bool TSourcePage::ViewEvent(QWidget* watched, QEvent* event) {
  QWidget* viewport = FView->viewport();
  // The scroll area itself is watched too and is the viewport's parent, not
  // below it, so mapTo() would walk off the top of the widget tree.
  const auto inViewport = [&](QPointF p) {
    return watched == viewport ? p : viewport->mapFromGlobal(watched->mapToGlobal(p));
  };
  switch (event->type()) {
    case QEvent::MouseMove:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseButtonRelease: {
      if (watched == FView) return false;
      auto* e = static_cast<QMouseEvent*>(event);
      const QPointF at = inViewport(e->position());
      if (event->type() == QEvent::MouseMove) {
        FEditor->MouseMove(at, e->modifiers());
      } else if (event->type() == QEvent::MouseButtonRelease) {
        FEditor->MouseUp(e->button(), at, e->modifiers());
      } else {
        // Keys then reach the view: arrows and Delete for the selected line.
        FView->setFocus(Qt::MouseFocusReason);
        FEditor->MouseDown(e->button(), at, e->modifiers(), e->globalPosition().toPoint());
      }
      return false;  // the view goes on with its own handling
    }
    case QEvent::Wheel: {
      auto* e = static_cast<QWheelEvent*>(event);
      if (!(e->modifiers() & Qt::ControlModifier) || !FDocument.HasImage()) return false;
      // Fine-grained wheels and touch pads give parts of a step.
      FWheelAngle += e->angleDelta().y();
      const int steps = FWheelAngle / 120;
      FWheelAngle -= steps * 120;
      if (steps != 0) FZoom->ZoomBy(steps, inViewport(e->position()));
      return true;
    }
    case QEvent::KeyPress: {
      if (watched != FView) return false;
      auto* e = static_cast<QKeyEvent*>(event);
      return FEditor->KeyPress(e->key(), e->modifiers());
    }
    default:
      return false;
  }
}
