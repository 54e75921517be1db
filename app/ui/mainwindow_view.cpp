// The main window's editing and viewing: the Edit and View menus, the
// status strip with the selected line's position and the zoom, and the
// mouse, wheel and keys on the Source view.
#include <QAction>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QSpinBox>
#include <QUndoStack>
#include <QWheelEvent>

#include <cmath>

#include "app/ui/gridhistory.h"
#include "app/ui/mainwindow.h"
#include "app/ui/slicespanel.h"
#include "app/ui/sourcezoom.h"
#include "pgraphic_qt/view/pgimage.h"
#include "platform/cursors.h"

QWidget* TForm1::MakeStatusStrip() {
  auto* strip = new QWidget;
  strip->setMouseTracking(true);
  strip->installEventFilter(this);
  QFont bold(QStringLiteral("Arial"), 8);
  bold.setBold(true);
  StatusBar1 = new QLabel;
  StatusBar1->setFixedHeight(18);
  StatusBar1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  StatusBar1->setFont(bold);
  StatusBar1->setMouseTracking(true);
  StatusBar1->installEventFilter(this);
  LinePositionLabel = new QLabel;
  LinePosition = new QSpinBox;
  LinePosition->setObjectName(QStringLiteral("LinePosition"));
  LinePosition->setFixedHeight(18);
  // A typed position takes effect with Enter, not at every digit.
  LinePosition->setKeyboardTracking(false);
  ZoomLabel = new QLabel;
  ZoomLabel->setFixedHeight(18);
  ZoomLabel->setMinimumWidth(50);
  ZoomLabel->setAlignment(Qt::AlignCenter);
  ZoomLabel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  auto* layout = new QHBoxLayout(strip);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(4);
  layout->addWidget(StatusBar1, 1);
  layout->addWidget(LinePositionLabel);
  layout->addWidget(LinePosition);
  layout->addWidget(ZoomLabel);
  connect(LinePosition, &QSpinBox::valueChanged, this, [this](int position) {
    if (!FEditor->MoveSelected(position)) ShowSelectedLine();  // taken or outside: as it was
  });
  return strip;
}

void TForm1::MakeEditAndViewMenus() {
  EditMenu = menuBar()->addMenu(QStringLiteral("&Edit"));
  UndoAction = AddCommand(EditMenu, QStringLiteral("&Undo"), &TForm1::Undo, QKeySequence(Qt::CTRL | Qt::Key_Z));
  RedoAction = AddCommand(EditMenu, QStringLiteral("&Redo"), &TForm1::Redo,
                          QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z));
  EditMenu->addSeparator();
  // Del works on the view only (the Slices panel's fields keep theirs): the
  // key is shown, not bound.
  DeleteLineAction = AddCommand(EditMenu, QStringLiteral("&Delete Line\tDel"),
                                [this] { FEditor->RemoveSelected(); });
  EditMenu->addSeparator();
  // On the cells chosen with the cell mode or Shift+drag.
  MergeCellsAction = AddCommand(EditMenu, QStringLiteral("&Merge Cells"), [this] { FEditor->MergeChosen(); },
                                QKeySequence(Qt::CTRL | Qt::Key_M));
  UnmergeCellsAction = AddCommand(EditMenu, QStringLiteral("U&nmerge Cells"), [this] { FEditor->UnmergeChosen(); },
                                  QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_M));
  NoImageAction = AddCommand(EditMenu, QStringLiteral("No &Image"), [this] { FEditor->SkipChosen(true); });
  ImageAgainAction = AddCommand(EditMenu, QStringLiteral("Image &Again"), [this] { FEditor->SkipChosen(false); });
  const auto named = [this](QUndoStack& stack, QAction* action, const QString& caption, bool undo) {
    const auto rename = [action, caption](const QString& text) {
      action->setText(text.isEmpty() ? caption : caption + QLatin1Char(' ') + text);
    };
    connect(&stack, undo ? &QUndoStack::undoTextChanged : &QUndoStack::redoTextChanged, this, rename);
    connect(&stack, undo ? &QUndoStack::canUndoChanged : &QUndoStack::canRedoChanged, this,
            [this] { UpdateMenus(); });
  };
  named(FHistory->Stack(), UndoAction, QStringLiteral("&Undo"), true);
  named(FHistory->Stack(), RedoAction, QStringLiteral("&Redo"), false);

  ViewMenu = menuBar()->addMenu(QStringLiteral("&View"));
  ZoomInAction = AddCommand(ViewMenu, QStringLiteral("Zoom &In"), [this] { FZoom->ZoomIn(); },
                            QKeySequence(Qt::CTRL | Qt::Key_Plus));
  // Ctrl and the key that has + above it, on keyboards where + needs Shift.
  ZoomInAction->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_Plus), QKeySequence(Qt::CTRL | Qt::Key_Equal)});
  ZoomOutAction = AddCommand(ViewMenu, QStringLiteral("Zoom &Out"), [this] { FZoom->ZoomOut(); },
                             QKeySequence(Qt::CTRL | Qt::Key_Minus));
  FitAction = AddCommand(ViewMenu, QStringLiteral("&Fit in Window"), [this] { FZoom->Fit(); },
                         QKeySequence(Qt::CTRL | Qt::Key_0));
  ActualSizeAction = AddCommand(ViewMenu, QStringLiteral("&Actual Size"), [this] { FZoom->ActualSize(); },
                                QKeySequence(Qt::CTRL | Qt::Key_1));
  ViewMenu->addSeparator();
  SlicesPanelAction = SlicesPanel->toggleViewAction();
  SlicesPanelAction->setText(QStringLiteral("&Slices"));
  ViewMenu->addAction(SlicesPanelAction);
  connect(EditMenu, &QMenu::aboutToShow, this, &TForm1::UpdateMenus);
  connect(ViewMenu, &QMenu::aboutToShow, this, &TForm1::UpdateMenus);
}

void TForm1::Undo() {
  FEditor->CancelDrag();
  FHistory->Stack().undo();
}

void TForm1::Redo() {
  FEditor->CancelDrag();
  FHistory->Stack().redo();
}

void TForm1::GridDataChanged() {
  FEditor->Changed();
  SlicesPanel->Refresh();
  ShowSelectedLine();
  UpdateMenus();
}

void TForm1::ShowSelectedLine() {
  const std::optional<TLineRef> line = FEditor->Selected();
  LinePositionLabel->setVisible(line.has_value());
  LinePosition->setVisible(line.has_value());
  if (line) {
    const QSignalBlocker quiet(LinePosition);
    LinePositionLabel->setText(line->Horizontal ? QStringLiteral("Horizontal line at")
                                                : QStringLiteral("Vertical line at"));
    LinePosition->setRange(0, line->Horizontal ? PGImage1->PixelGraphicHeight() : PGImage1->PixelGraphicWidth());
    LinePosition->setValue(line->Position);
  }
  DeleteLineAction->setEnabled(line.has_value());
}

void TForm1::ShowZoom() {
  const double percent = double(FZoom->Zoom()) * 100;
  const bool whole = std::abs(percent - std::round(percent)) < 0.05;
  ZoomLabel->setText(QString::number(percent, 'f', whole ? 0 : 1) + QStringLiteral(" %"));
}

bool TForm1::ViewEvent(QWidget* watched, QEvent* event) {
  QWidget* viewport = PGImage1->viewport();
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
      if (watched == PGImage1) return false;
      auto* e = static_cast<QMouseEvent*>(event);
      const QPointF at = inViewport(e->position());
      if (event->type() == QEvent::MouseMove) {
        FEditor->MouseMove(at, e->modifiers());
      } else if (event->type() == QEvent::MouseButtonRelease) {
        FEditor->MouseUp(e->button(), at, e->modifiers());
      } else {
        // Keys then reach the view: arrows and Delete for the selected line.
        PGImage1->setFocus(Qt::MouseFocusReason);
        FEditor->MouseDown(e->button(), at, e->modifiers(), e->globalPosition().toPoint());
      }
      return false;  // the view goes on with its own handling
    }
    case QEvent::Wheel: {
      auto* e = static_cast<QWheelEvent*>(event);
      if (!(e->modifiers() & Qt::ControlModifier) || !ImageLoaded()) return false;
      // Fine-grained wheels and touch pads give parts of a step.
      FWheelAngle += e->angleDelta().y();
      const int steps = FWheelAngle / 120;
      FWheelAngle -= steps * 120;
      if (steps != 0) FZoom->ZoomBy(steps, inViewport(e->position()));
      return true;
    }
    case QEvent::KeyPress: {
      if (watched != PGImage1) return false;
      auto* e = static_cast<QKeyEvent*>(event);
      return FEditor->KeyPress(e->key(), e->modifiers());
    }
    default:
      return false;
  }
}
