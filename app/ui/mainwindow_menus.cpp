// The main window's menus: their entries with names, shortcuts and commands,
// and the recent lists' entries.
#include <QAction>
#include <QActionGroup>
#include <QMenu>
#include <QMenuBar>
#include <QUndoStack>

#include "app/ui/document.h"
#include "app/ui/errorreport.h"
#include "app/ui/mainwindow.h"
#include "app/ui/slicespanel.h"
#include "app/ui/sourcepage.h"
#include "app/ui/sourcezoom.h"

namespace {

QMenu* AddMenu(QMenuBar* bar, const char* name, const QString& caption) {
  QMenu* menu = bar->addMenu(caption);
  menu->setObjectName(QLatin1String(name));
  return menu;
}

QMenu* AddMenu(QMenu* parent, const char* name, const QString& caption) {
  QMenu* menu = parent->addMenu(caption);
  menu->setObjectName(QLatin1String(name));
  return menu;
}

}  // namespace

QAction* TForm1::AddCommand(QMenu* menu, const char* name, const QString& caption, std::function<void()> command,
                            const QKeySequence& shortcut) {
  QAction* action = menu->addAction(caption);
  if (name) action->setObjectName(QLatin1String(name));
  action->setShortcut(shortcut);
  connect(action, &QAction::triggered, this, [command = std::move(command)] { RunReported(command); });
  return action;
}

QAction* TForm1::AddCommand(QMenu* menu, const char* name, const QString& caption, void (TForm1::*command)(),
                            const QKeySequence& shortcut) {
  return AddCommand(menu, name, caption, [this, command] { (this->*command)(); }, shortcut);
}

void TForm1::MakeRecentMenu(TRecentFiles& list, QMenu* menu, void (TForm1::*open)(const QString&)) {
  list.OnChange = [this, &list, menu, open] {
    menu->clear();
    const std::vector<std::string> captions = list.Captions();
    for (int i = 0; i < list.Count(); ++i) {
      const QString path = QString::fromStdString(list.Items(i));
      QAction* entry = AddCommand(menu, nullptr, QString::fromStdString(captions[std::size_t(i)]),
                                  [this, path, open] { (this->*open)(path); });
      entry->setObjectName(menu->objectName() + QStringLiteral("_Item_%1").arg(i));
    }
    UpdateMenus();
  };
}

void TForm1::MakeMenus() {
  MakeFileMenu();
  MakeEditMenu();
  MakeViewMenu();
  MakeToolsMenu();
  MakeOutputFormatMenu();
  MakeHelpMenu();
}

void TForm1::MakeFileMenu() {
  QMenu* file = AddMenu(menuBar(), "FileMenu", QStringLiteral("&File"));
  AddCommand(file, "OpenAction", QStringLiteral("&Open..."), &TForm1::OpenCommand, QKeySequence(Qt::CTRL | Qt::Key_L));
  FMenus.OfImage.push_back(AddCommand(file, "ExportAction", QStringLiteral("&Export"), &TForm1::ExportCommand,
                                      QKeySequence(Qt::CTRL | Qt::Key_S)));
  FMenus.OfImage.push_back(AddCommand(file, "PreviewAction", QStringLiteral("&Preview in Browser"),
                                      &TForm1::PreviewCommand, QKeySequence(Qt::Key_F12)));
  FMenus.ReopenImage = AddMenu(file, "ReopenImageMenu", QStringLiteral("&Reopen Image"));
  file->addSeparator();
  FMenus.OfImage.push_back(AddCommand(file, "LoadGridAction", QStringLiteral("&Load Grid"), &TForm1::LoadGridCommand));
  FMenus.OfImage.push_back(AddCommand(file, "SaveGridAction", QStringLiteral("&Save Grid"), &TForm1::SaveGridCommand));
  FMenus.ReopenGrid = AddMenu(file, "ReopenGridMenu", QStringLiteral("&Reopen Grid"));
  file->addSeparator();
  QAction* exit = file->addAction(QStringLiteral("E&xit"));
  exit->setObjectName(QStringLiteral("ExitAction"));
  connect(exit, &QAction::triggered, this, &QWidget::close);
  MakeRecentMenu(FRecentImages, FMenus.ReopenImage, &TForm1::ReopenImage);
  MakeRecentMenu(FRecentGrids, FMenus.ReopenGrid, &TForm1::LoadGrid);
  connect(file, &QMenu::aboutToShow, this, &TForm1::UpdateMenus);
}

void TForm1::MakeEditMenu() {
  QMenu* edit = AddMenu(menuBar(), "EditMenu", QStringLiteral("&Edit"));
  FMenus.Undo = AddCommand(edit, "UndoAction", QStringLiteral("&Undo"), &TForm1::Undo,
                           QKeySequence(Qt::CTRL | Qt::Key_Z));
  FMenus.Redo = AddCommand(edit, "RedoAction", QStringLiteral("&Redo"), &TForm1::Redo,
                           QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z));
  edit->addSeparator();
  TSplitEditor& editor = FSourcePage->Editor();
  // Del works on the view only (the Slices panel's fields keep theirs): the
  // key is shown, not bound.
  FMenus.DeleteLine = AddCommand(edit, "DeleteLineAction", QStringLiteral("&Delete Line\tDel"),
                                 [&editor] { editor.RemoveSelected(); });
  edit->addSeparator();
  // On the cells chosen with the cell mode or Shift+drag.
  FMenus.OfCells = {
      AddCommand(edit, "MergeCellsAction", QStringLiteral("&Merge Cells"), [&editor] { editor.MergeChosen(); },
                 QKeySequence(Qt::CTRL | Qt::Key_M)),
      AddCommand(edit, "UnmergeCellsAction", QStringLiteral("U&nmerge Cells"), [&editor] { editor.UnmergeChosen(); },
                 QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_M)),
      AddCommand(edit, "NoImageAction", QStringLiteral("No &Image"), [&editor] { editor.SkipChosen(true); }),
      AddCommand(edit, "ImageAgainAction", QStringLiteral("Image &Again"), [&editor] { editor.SkipChosen(false); }),
  };
  // The entries say which step they undo or redo.
  QUndoStack& stack = FDocument->Stack();
  const auto named = [this, &stack](QAction* action, const QString& caption, bool undo) {
    const auto rename = [action, caption](const QString& text) {
      action->setText(text.isEmpty() ? caption : caption + QLatin1Char(' ') + text);
    };
    connect(&stack, undo ? &QUndoStack::undoTextChanged : &QUndoStack::redoTextChanged, this, rename);
    connect(&stack, undo ? &QUndoStack::canUndoChanged : &QUndoStack::canRedoChanged, this,
            [this] { UpdateMenus(); });
  };
  named(FMenus.Undo, QStringLiteral("&Undo"), true);
  named(FMenus.Redo, QStringLiteral("&Redo"), false);
  connect(edit, &QMenu::aboutToShow, this, &TForm1::UpdateMenus);
}

void TForm1::MakeViewMenu() {
  QMenu* view = AddMenu(menuBar(), "ViewMenu", QStringLiteral("&View"));
  TSourceZoom& zoom = FSourcePage->Zoom();
  QAction* zoomIn = AddCommand(view, "ZoomInAction", QStringLiteral("Zoom &In"), [&zoom] { zoom.ZoomIn(); });
  // Ctrl and the key that has + above it, on keyboards where + needs Shift.
  zoomIn->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_Plus), QKeySequence(Qt::CTRL | Qt::Key_Equal)});
  FMenus.OfSource.insert(
      FMenus.OfSource.end(),
      {zoomIn,
       AddCommand(view, "ZoomOutAction", QStringLiteral("Zoom &Out"), [&zoom] { zoom.ZoomOut(); },
                  QKeySequence(Qt::CTRL | Qt::Key_Minus)),
       AddCommand(view, "FitAction", QStringLiteral("&Fit in Window"), [&zoom] { zoom.Fit(); },
                  QKeySequence(Qt::CTRL | Qt::Key_0)),
       AddCommand(view, "ActualSizeAction", QStringLiteral("&Actual Size"), [&zoom] { zoom.ActualSize(); },
                  QKeySequence(Qt::CTRL | Qt::Key_1))});
  view->addSeparator();
  QAction* panel = FSlicesPanel->toggleViewAction();
  panel->setObjectName(QStringLiteral("SlicesPanelAction"));
  panel->setText(QStringLiteral("&Slices"));
  view->addAction(panel);
  connect(view, &QMenu::aboutToShow, this, &TForm1::UpdateMenus);
}

void TForm1::MakeToolsMenu() {
  FMenus.Tools = AddMenu(menuBar(), "ToolsMenu", QStringLiteral("&Tools"));
  FMenus.ColorAdjustment = AddMenu(FMenus.Tools, "ColorAdjustmentMenu", QStringLiteral("&Color Adjustment"));
  QAction* rgb = AddCommand(FMenus.ColorAdjustment, "RGBAction", QStringLiteral("&RGB"),
                            [this] { ColorAdjustment(TColorFilterKind::RGB); });
  rgb->setEnabled(false);
  FMenus.OfSource.push_back(AddCommand(FMenus.ColorAdjustment, "CMYAction", QStringLiteral("C&MY"),
                                       [this] { ColorAdjustment(TColorFilterKind::CMY); }));
  FMenus.OfSource.push_back(AddCommand(FMenus.ColorAdjustment, "HLSAction", QStringLiteral("&HLS"),
                                       [this] { ColorAdjustment(TColorFilterKind::HLS); }));
  FMenus.AddSplitline = AddMenu(FMenus.Tools, "AddSplitlineMenu", QStringLiteral("&Add Splitline"));
  FMenus.OfSource.push_back(AddCommand(FMenus.AddSplitline, "AddHorizontalAction", QStringLiteral("&Horizontal"),
                                       [this] { AddSplitline(true); }, QKeySequence(Qt::CTRL | Qt::Key_X)));
  FMenus.OfSource.push_back(AddCommand(FMenus.AddSplitline, "AddVerticalAction", QStringLiteral("&Vertical"),
                                       [this] { AddSplitline(false); }, QKeySequence(Qt::CTRL | Qt::Key_Y)));
  FMenus.OfSource.push_back(
      AddCommand(FMenus.Tools, "ClearSplitsAction", QStringLiteral("C&lear Splits"), &TForm1::ClearSplits));
  FMenus.Tools->addSeparator();
  FMenus.Options = AddCommand(FMenus.Tools, "OptionsAction", QStringLiteral("&Options"), &TForm1::OptionsCommand);
  connect(FMenus.Tools, &QMenu::aboutToShow, this, &TForm1::UpdateMenus);
}

void TForm1::MakeOutputFormatMenu() {
  QMenu* formats = AddMenu(menuBar(), "OutputFormatMenu", QStringLiteral("&Output Format"));
  FMenus.OutputFormats = new QActionGroup(this);
  FMenus.OutputFormats->setObjectName(QStringLiteral("OutputFormatGroup"));
  FMenus.OutputFormats->setExclusive(true);
  for (const TOutputFormat& format : OutputFormats()) {
    QAction* action = formats->addAction(QString::fromStdString(format.MenuText));
    action->setObjectName(QStringLiteral("OutputFormat_") + QString::fromStdString(format.Name));
    action->setCheckable(true);
    action->setChecked(FOutputFormat == &format);
    FMenus.OutputFormats->addAction(action);
    connect(action, &QAction::triggered, this, [this, &format] { SetOutputFormat(format); });
  }
}

void TForm1::MakeHelpMenu() {
  QMenu* help = AddMenu(menuBar(), "HelpMenu", QStringLiteral("&Help"));
  AddCommand(help, "UsageAction", QStringLiteral("&Usage"), &TForm1::Usage);
  AddCommand(help, "AuthorsSiteAction", QStringLiteral("&Authors &site"), &TForm1::AuthorsSite);
  AddCommand(help, "DonateAction", QStringLiteral("&Donate"), &TForm1::Donate);
  help->addSeparator();
  AddCommand(help, "AboutAction", QStringLiteral("&About"), &TForm1::About);
}
