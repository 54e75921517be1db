// The main window's construction: pages, toolbar, rulers, view, menus, and
// the wiring of the view's events to the split editor.
#include "app/ui/mainwindow.h"

#include <QAction>
#include <QActionGroup>
#include <QButtonGroup>
#include <QEvent>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenuBar>
#include <QPainter>
#include <QScrollBar>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>

#include "app/export/exporter.h"
#include "app/ui/aboutbox.h"
#include "app/ui/errorreport.h"
#include "app/ui/jpegpage.h"
#include "app/ui/gridhistory.h"
#include "app/ui/rulers.h"
#include "app/ui/slicespanel.h"
#include "app/ui/sourcezoom.h"
#include "app/ui/windowexport.h"
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

QToolButton* ModeButton(TSplitMode mode, const QString& name, const QString& hint) {
  auto* button = new QToolButton;
  button->setObjectName(name);
  button->setIcon(ModeGlyph(mode));
  button->setToolTip(hint);
  button->setCheckable(true);
  button->setAutoRaise(true);
  button->setFixedSize(27, 27);
  return button;
}

}  // namespace

TForm1::TForm1(TMainWindowDialogs& dialogs, QWidget* parent)
    : QMainWindow(parent), FDialogs(dialogs) {
  setWindowTitle(QStringLiteral("Tessel!"));
  setWindowIcon(QIcon(TesselPicture(64)));
  setFont(QFont(QStringLiteral("Arial"), 8));
  setAcceptDrops(true);
  resize(600, 400);

  inputdlg1 = new Tinputdlg(this);
  FHistory = new TGridHistory(FData, this);
  PageControl1 = new QTabWidget;
  TabSheet1 = MakeSourcePage();
  TabSheet2 = new TJpegPage;
  TabSheet2->PageToWeigh = [this](TSplitGrid& grid, TPageWeighing& weighing) { return PageToWeigh(grid, weighing); };
  PageControl1->addTab(TabSheet1, QStringLiteral("Source"));
  PageControl1->addTab(TabSheet2, QStringLiteral("JPEG Compression"));
  setCentralWidget(PageControl1);
  connect(PageControl1, &QTabWidget::currentChanged, this, [this] { PageChanged(); });

  FExportUi = std::make_unique<TWindowExportUi>(*this, FDialogs);
  FExporter = std::make_unique<TSliceExporter>(FExportCut, *FExportUi);
  FExporter->Settings.RecentGrids = &MRUManager2;
  SlicesPanel = new TSlicesPanel(*FHistory, this);
  addDockWidget(Qt::RightDockWidgetArea, SlicesPanel);
  SlicesPanel->hide();
  HookView();
  MakeMenus();
  ShowMode(FEditor->Mode());
  ShowSelectedLine();
  ShowZoom();
  UpdateMenus();
}

TForm1::~TForm1() {
  if (!FSettingsWritten) WriteSettings();
  // The children go after this window's own members: nothing of theirs may
  // reach back into it on the way.
  for (QObject* watched : std::initializer_list<QObject*>{PGImage1, PGImage1->viewport(), PGImage1->PicBox()})
    watched->removeEventFilter(this);
  // (The undo stack says it is empty as it goes.)
  for (QObject* sender : std::initializer_list<QObject*>{FHistory, &FHistory->Stack(), FZoom, FEditor, SlicesPanel,
                                                         PGImage1->horizontalScrollBar(),
                                                         PGImage1->verticalScrollBar()})
    sender->disconnect(this);
  PGImage1->OnPaint = nullptr;
  PGImage1->OnSelectionMade = nullptr;
  PGImage1->OnPixelGraphicChange = nullptr;
  // The hover cursor belongs to this window's picture.
  PGSetScreenCursor(TPGCursor::crDefault);
}

QWidget* TForm1::MakeToolBar() {
  auto* bar = new QWidget;
  bar->setFixedHeight(33);
  bar->setMouseTracking(true);
  bar->installEventFilter(this);
  x_speed = ModeButton(TSplitMode::Vertical, QStringLiteral("x_speed"),
                       QStringLiteral("Create vertical split"));
  y_speed = ModeButton(TSplitMode::Horizontal, QStringLiteral("y_speed"),
                       QStringLiteral("Create horizontal split"));
  rect_speed = ModeButton(TSplitMode::Rectangle, QStringLiteral("rect_speed"),
                          QStringLiteral("Create splits from rectangle"));
  cross_speed = ModeButton(TSplitMode::Cross, QStringLiteral("cross_speed"),
                           QStringLiteral("Create horizontal AND vertical split"));
  cells_speed = ModeButton(TSplitMode::Cells, QStringLiteral("cells_speed"),
                           QStringLiteral("Select cells to merge or leave without an image"));
  auto* group = new QButtonGroup(bar);
  group->setExclusive(true);
  auto* layout = new QHBoxLayout(bar);
  layout->setContentsMargins(2, 0, 0, 0);
  layout->setSpacing(0);
  const std::pair<QToolButton*, TSplitMode> buttons[] = {{x_speed, TSplitMode::Vertical},
                                                         {y_speed, TSplitMode::Horizontal},
                                                         {rect_speed, TSplitMode::Rectangle},
                                                         {cross_speed, TSplitMode::Cross},
                                                         {cells_speed, TSplitMode::Cells}};
  for (const auto& [button, mode] : buttons) {
    group->addButton(button);
    layout->addWidget(button);
    connect(button, &QToolButton::clicked, this, [this, mode = mode] { FEditor->SetMode(mode); });
  }
  layout->addStretch(1);
  QV_Loupe1 = new TQV_Loupe;
  QV_Loupe1->setFixedSize(100, 33);
  QV_Loupe1->SetZoomLevel(2.0);
  QV_Loupe1->SetInterval(100);
  QV_Loupe1->SetActive(true);
  layout->addWidget(QV_Loupe1);
  // Left adds one to the zoom; any other button takes one off, down to 1.
  connect(QV_Loupe1, &TQV_Loupe::MouseReleased, this, [this](Qt::MouseButton button) {
    if (button == Qt::LeftButton)
      QV_Loupe1->SetZoomLevel(QV_Loupe1->ZoomLevel() + 1.0);
    else if (QV_Loupe1->ZoomLevel() > 1.0)
      QV_Loupe1->SetZoomLevel(QV_Loupe1->ZoomLevel() - 1.0);
  });
  return bar;
}

QWidget* TForm1::MakeSourcePage() {
  auto* page = new QWidget;
  page->setMouseTracking(true);
  page->installEventFilter(this);

  PGImage1 = new TPGImage;
  PGImage1->SetBorderStyle(bsNone);
  PGImage1->SetColor(palette().color(QPalette::Button));
  PGImage1->SetStretch(sZoomKAR);
  PGImage1->SetZoomFactor(1.0L);
  PGImage1->SetStretchMode(smPrecise);
  PGImage1->SetSelectionColor2(Qt::black);
  PGImage1->SetActionMode(amNone);
  FEditor = new TSplitEditor(*FHistory, *PGImage1, this);
  FZoom = new TSourceZoom(*PGImage1, this);
  PaintBox2 = new TRuler(TRuler::rsTop, FData.Grid, *PGImage1);
  PaintBox1 = new TRuler(TRuler::rsLeft, FData.Grid, *PGImage1);

  auto* rulers = new QGridLayout;
  rulers->setContentsMargins(0, 0, 0, 0);
  rulers->setSpacing(0);
  rulers->addWidget(PaintBox2, 0, 0, 1, 2);
  rulers->addWidget(PaintBox1, 1, 0);
  rulers->addWidget(PGImage1, 1, 1);
  rulers->setRowStretch(1, 1);
  rulers->setColumnStretch(1, 1);

  auto* layout = new QVBoxLayout(page);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(MakeToolBar());
  layout->addLayout(rulers, 1);
  layout->addWidget(MakeStatusStrip());
  return page;
}

void TForm1::HookView() {
  const auto status = [this](const QString& text) { StatusBar1->setText(text); };
  connect(FEditor, &TSplitEditor::StatusText, this, status);
  connect(PaintBox1, &TRuler::StatusText, this, status);
  connect(PaintBox2, &TRuler::StatusText, this, status);
  connect(FEditor, &TSplitEditor::ModeChanged, this, [this](TSplitMode mode) { ShowMode(mode); });
  connect(FEditor, &TSplitEditor::GridChanged, this, [this] { RepaintRulers(); });
  connect(FEditor, &TSplitEditor::SelectionChanged, this, [this] { ShowSelectedLine(); });
  connect(FEditor, &TSplitEditor::CellsChosen, this, [this] { UpdateMenus(); });
  connect(FHistory, &TGridHistory::Changed, this, [this] { GridDataChanged(); });
  connect(PaintBox2, &TRuler::Released, FEditor, &TSplitEditor::TopRulerRelease);
  connect(PaintBox1, &TRuler::Released, FEditor, &TSplitEditor::LeftRulerRelease);
  connect(SlicesPanel, &TSlicesPanel::CellPicked, FEditor, &TSplitEditor::SetHighlightedCell);
  connect(FZoom, &TSourceZoom::Zoomed, this, [this] {
    ShowZoom();
    RepaintRulers();
  });
  for (QScrollBar* bar : {PGImage1->horizontalScrollBar(), PGImage1->verticalScrollBar()})
    connect(bar, &QScrollBar::valueChanged, this, [this] {
      FEditor->ViewScrolled();
      RepaintRulers();
    });

  // The mouse on the picture and beside it goes to the editor from the
  // events themselves (ViewEvent), with the fractions of scaled displays.
  PGImage1->PicBox()->installEventFilter(this);
  PGImage1->viewport()->installEventFilter(this);
  PGImage1->installEventFilter(this);
  PGImage1->OnSelectionMade = [this](void*) { FEditor->SelectionMade(QGuiApplication::keyboardModifiers()); };
  PGImage1->OnPaint = [this](void*, QPainter& painter) { FEditor->Paint(painter); };
  PGImage1->OnPixelGraphicChange = [this](void*) { FEditor->ImageChanged(); };
}

QAction* TForm1::AddCommand(QMenu* menu, const QString& caption, std::function<void()> command,
                            const QKeySequence& shortcut) {
  QAction* action = menu->addAction(caption);
  action->setShortcut(shortcut);
  connect(action, &QAction::triggered, this, [command = std::move(command)] { RunReported(command); });
  return action;
}

QAction* TForm1::AddCommand(QMenu* menu, const QString& caption, void (TForm1::*command)(),
                            const QKeySequence& shortcut) {
  return AddCommand(menu, caption, [this, command] { (this->*command)(); }, shortcut);
}

void TForm1::MakeRecentMenu(TRecentFiles& list, QMenu* menu,
                            void (TForm1::*open)(const QString&)) {
  list.OnChange = [this, &list, menu, open] {
    menu->clear();
    const std::vector<std::string> captions = list.Captions();
    for (int i = 0; i < list.Count(); ++i) {
      const QString path = QString::fromStdString(list.Items(i));
      AddCommand(menu, QString::fromStdString(captions[std::size_t(i)]),
                 [this, path, open] { (this->*open)(path); });
    }
    UpdateMenus();
  };
}

void TForm1::MakeMenus() {
  FileMenu = menuBar()->addMenu(QStringLiteral("&File"));
  OpenAction = AddCommand(FileMenu, QStringLiteral("&Open..."), &TForm1::OpenCommand,
                          QKeySequence(Qt::CTRL | Qt::Key_L));
  ExportAction = AddCommand(FileMenu, QStringLiteral("&Export"), &TForm1::ExportCommand,
                            QKeySequence(Qt::CTRL | Qt::Key_S));
  ReopenImageMenu = FileMenu->addMenu(QStringLiteral("&Reopen Image"));
  FileMenu->addSeparator();
  LoadGridAction = AddCommand(FileMenu, QStringLiteral("&Load Grid"), &TForm1::LoadGridCommand);
  SaveGridAction = AddCommand(FileMenu, QStringLiteral("&Save Grid"), &TForm1::SaveGridCommand);
  ReopenGridMenu = FileMenu->addMenu(QStringLiteral("&Reopen Grid"));
  FileMenu->addSeparator();
  ExitAction = FileMenu->addAction(QStringLiteral("E&xit"));
  connect(ExitAction, &QAction::triggered, this, &QWidget::close);
  MakeRecentMenu(MRUManager1, ReopenImageMenu, &TForm1::ReopenImage);
  MakeRecentMenu(MRUManager2, ReopenGridMenu, &TForm1::LoadGrid);

  MakeEditAndViewMenus();

  ToolsMenu = menuBar()->addMenu(QStringLiteral("&Tools"));
  ColorAdjustmentMenu = ToolsMenu->addMenu(QStringLiteral("&Color Adjustment"));
  RGBAction = AddCommand(ColorAdjustmentMenu, QStringLiteral("&RGB"),
                         [this] { ColorAdjustment(TColorFilterKind::RGB); });
  CMYAction = AddCommand(ColorAdjustmentMenu, QStringLiteral("C&MY"),
                         [this] { ColorAdjustment(TColorFilterKind::CMY); });
  HLSAction = AddCommand(ColorAdjustmentMenu, QStringLiteral("&HLS"),
                         [this] { ColorAdjustment(TColorFilterKind::HLS); });
  RGBAction->setEnabled(false);
  AddSplitlineMenu = ToolsMenu->addMenu(QStringLiteral("&Add Splitline"));
  AddHorizontalAction = AddCommand(AddSplitlineMenu, QStringLiteral("&Horizontal"),
                                   [this] { AddSplitline(true); }, QKeySequence(Qt::CTRL | Qt::Key_X));
  AddVerticalAction = AddCommand(AddSplitlineMenu, QStringLiteral("&Vertical"),
                                 [this] { AddSplitline(false); }, QKeySequence(Qt::CTRL | Qt::Key_Y));
  ClearSplitsAction = AddCommand(ToolsMenu, QStringLiteral("C&lear Splits"), &TForm1::ClearSplits);
  ToolsMenu->addSeparator();
  OptionsAction = AddCommand(ToolsMenu, QStringLiteral("&Options"), &TForm1::OptionsCommand);

  OutputFormatMenu = menuBar()->addMenu(QStringLiteral("&Output Format"));
  OutputFormatGroup = new QActionGroup(this);
  OutputFormatGroup->setExclusive(true);
  for (const TOutputFormat& format : OutputFormats()) {
    QAction* action = OutputFormatMenu->addAction(QString::fromStdString(format.MenuText));
    action->setCheckable(true);
    action->setChecked(FOutputFormat == &format);
    OutputFormatGroup->addAction(action);
    connect(action, &QAction::triggered, this, [this, &format] { SetOutputFormat(format); });
  }

  HelpMenu = menuBar()->addMenu(QStringLiteral("&Help"));
  UsageAction = AddCommand(HelpMenu, QStringLiteral("&Usage"), &TForm1::Usage);
  AuthorsSiteAction = AddCommand(HelpMenu, QStringLiteral("&Authors &site"), &TForm1::AuthorsSite);
  DonateAction = AddCommand(HelpMenu, QStringLiteral("&Donate"), &TForm1::Donate);
  HelpMenu->addSeparator();
  AboutAction = AddCommand(HelpMenu, QStringLiteral("&About"), &TForm1::About);

  connect(FileMenu, &QMenu::aboutToShow, this, &TForm1::UpdateMenus);
  connect(ToolsMenu, &QMenu::aboutToShow, this, &TForm1::UpdateMenus);
}

void TForm1::ShowMode(TSplitMode mode) {
  switch (mode) {
    case TSplitMode::Vertical: x_speed->setChecked(true); break;
    case TSplitMode::Horizontal: y_speed->setChecked(true); break;
    case TSplitMode::Rectangle: rect_speed->setChecked(true); break;
    case TSplitMode::Cross: cross_speed->setChecked(true); break;
    case TSplitMode::Cells: cells_speed->setChecked(true); break;
  }
}

void TForm1::RepaintRulers() {
  PaintBox1->update();
  PaintBox2->update();
}

bool TForm1::ImageLoaded() const { return PGImage1->PixelGraphicWidth() > 0; }

void TForm1::UpdateMenus() {
  const bool loaded = ImageLoaded();
  const bool source = PageControl1->currentWidget() == TabSheet1;
  ExportAction->setEnabled(loaded);
  LoadGridAction->setEnabled(loaded);
  SaveGridAction->setEnabled(loaded);
  ReopenGridMenu->setEnabled(loaded && MRUManager2.MenuEnabled());
  ReopenImageMenu->setEnabled(MRUManager1.MenuEnabled());
  // The Tools entries follow the page as well, so that their shortcuts do
  // nothing while the JPEG page is shown.
  ToolsMenu->setEnabled(source);
  ColorAdjustmentMenu->setEnabled(loaded && source);
  AddSplitlineMenu->setEnabled(loaded && source);
  CMYAction->setEnabled(loaded && source);
  HLSAction->setEnabled(loaded && source);
  AddHorizontalAction->setEnabled(loaded && source);
  AddVerticalAction->setEnabled(loaded && source);
  ClearSplitsAction->setEnabled(loaded && source);
  OptionsAction->setEnabled(source);
  UndoAction->setEnabled(loaded && source && FHistory->Stack().canUndo());
  RedoAction->setEnabled(loaded && source && FHistory->Stack().canRedo());
  DeleteLineAction->setEnabled(loaded && source && FEditor->Selected().has_value());
  const bool chosen = loaded && source && FEditor->ChosenCells().has_value();
  for (QAction* cells : {MergeCellsAction, UnmergeCellsAction, NoImageAction, ImageAgainAction})
    cells->setEnabled(chosen);
  for (QAction* zoom : {ZoomInAction, ZoomOutAction, FitAction, ActualSizeAction}) zoom->setEnabled(loaded && source);
}

void TForm1::PageChanged() {
  TabSheet2->PageChanged(ImageLoaded() ? PGImage1->PixelGraphic() : nullptr);
  UpdateMenus();
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
  if (watched == PGImage1 || watched == PGImage1->viewport() || watched == PGImage1->PicBox())
    if (ViewEvent(static_cast<QWidget*>(watched), event)) return true;
  const bool leftPicture = watched == PGImage1->PicBox() && event->type() == QEvent::Leave &&
                           !FEditor->DraggingHorz() && !FEditor->DraggingVert();
  const bool movedElsewhere = watched != PGImage1->PicBox() && event->type() == QEvent::MouseMove;
  if ((leftPicture || movedElsewhere) && !PGScreenCursorIsDefault())
    PGSetScreenCursor(TPGCursor::crDefault);
  return QMainWindow::eventFilter(watched, event);
}
