// The main window's construction, the enabling of its menus, and what it
// does when it is shown, closed, or given files.
#include "app/ui/mainwindow.h"

#include <QAction>
#include <QActionGroup>
#include <QCloseEvent>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMenu>
#include <QMimeData>
#include <QShowEvent>
#include <QTabWidget>
#include <QUndoStack>
#include <QUrl>

#include <optional>

#include "app/ui/aboutbox.h"
#include "app/ui/browserpreview.h"
#include "app/ui/compressionpage.h"
#include "app/ui/document.h"
#include "app/ui/errorreport.h"
#include "app/ui/lossyformat.h"
#include "app/ui/slicespanel.h"
#include "app/ui/sourcepage.h"
#include "app/ui/windowexport.h"
#include "app/ui/windowsettings.h"
#include "pgraphic/core/settings.h"
#include "pgraphic_qt/view/pgimage.h"
#include "widgets/inputdlg.h"

namespace {

// The first local file among dragged items, if any.
std::optional<QString> DroppedFile(const QMimeData* data) {
  if (!data || !data->hasUrls()) return std::nullopt;
  for (const QUrl& url : data->urls())
    if (url.isLocalFile()) return url.toLocalFile();
  return std::nullopt;
}

}  // namespace

TForm1::TForm1(TMainWindowDialogs& dialogs, QWidget* parent)
    : QMainWindow(parent), FDialogs(dialogs), FDocument(std::make_unique<TCutDocument>()) {
  setObjectName(QStringLiteral("Form1"));
  setWindowTitle(QStringLiteral("Tessel!"));
  setWindowIcon(QIcon(TesselPicture(64)));
  setFont(QFont(QStringLiteral("Arial"), 8));
  setAcceptDrops(true);
  resize(600, 400);

  FPositionDialog = new Tinputdlg(this);
  FPositionDialog->setObjectName(QStringLiteral("inputdlg1"));
  FPages = new QTabWidget;
  FPages->setObjectName(QStringLiteral("PageControl1"));
  FSourcePage = new TSourcePage(*FDocument);
  FCompressionPage = new TCompressionPage;
  FCompressionPage->PageToWeigh = [this](TSplitGrid& grid, TPageWeighing& weighing) {
    return PageToWeigh(grid, weighing);
  };
  FPages->addTab(FSourcePage, QStringLiteral("Source"));
  FPages->addTab(FCompressionPage, QStringLiteral("JPEG Compression"));
  setCentralWidget(FPages);
  connect(FPages, &QTabWidget::currentChanged, this, [this] { PageChanged(); });

  FExport = std::make_unique<TWindowExport>(*this, FDialogs, *FDocument, FRecentGrids);
  FPreview = std::make_unique<TBrowserPreview>(FDialogs, QDir::tempPath());
  FSlicesPanel = new TSlicesPanel(*FDocument, this);
  addDockWidget(Qt::RightDockWidgetArea, FSlicesPanel);
  FSlicesPanel->hide();
  connect(FDocument.get(), &TCutDocument::Changed, this, [this] { CutChanged(); });
  connect(FSourcePage, &TSourcePage::ChoiceChanged, this, [this] { UpdateMenus(); });
  connect(FSlicesPanel, &TSlicesPanel::CellPicked, &FSourcePage->Editor(), &TSplitEditor::SetHighlightedCell);
  MakeMenus();
  UpdateMenus();
}

TForm1::~TForm1() {
  if (!FSettingsWritten) WriteSettings();
  // The document goes with this window's members, before the children: the
  // widgets that show it go first, and nothing of it reaches back into the
  // window on the way (the undo stack says it is empty as it goes).
  for (QObject* sender : std::initializer_list<QObject*>{FDocument.get(), &FDocument->Stack(), FPages,
                                                         FSlicesPanel, FSourcePage})
    sender->disconnect(this);
  delete FSlicesPanel;
  delete FPages;
}

bool TForm1::ImageLoaded() const { return FDocument->HasImage(); }

TPixelGraphic& TForm1::SliceImage() { return FExport->SliceImage(); }

void TForm1::SetExportDialogs(Texportdialog& options, Taddtagsdialog& tags, Tdlg_code& code) {
  FExport->Attach(options, tags, code);
}

void TForm1::UpdateMenus() {
  const bool loaded = ImageLoaded();
  const bool source = FPages->currentWidget() == FSourcePage;
  for (QAction* action : FMenus.OfImage) action->setEnabled(loaded);
  FMenus.ReopenGrid->setEnabled(loaded && FRecentGrids.MenuEnabled());
  FMenus.ReopenImage->setEnabled(FRecentImages.MenuEnabled());
  // The Tools entries follow the page as well, so that their shortcuts do
  // nothing while the compression page is shown.
  FMenus.Tools->setEnabled(source);
  FMenus.ColorAdjustment->setEnabled(loaded && source);
  FMenus.AddSplitline->setEnabled(loaded && source);
  for (QAction* action : FMenus.OfSource) action->setEnabled(loaded && source);
  FMenus.Options->setEnabled(source);
  const TSplitEditor& editor = FSourcePage->Editor();
  FMenus.Undo->setEnabled(loaded && source && FDocument->Stack().canUndo());
  FMenus.Redo->setEnabled(loaded && source && FDocument->Stack().canRedo());
  FMenus.DeleteLine->setEnabled(loaded && source && editor.Selected().has_value());
  for (QAction* action : FMenus.OfCells) action->setEnabled(loaded && source && editor.ChosenCells().has_value());
}

void TForm1::CutChanged() {
  FSourcePage->CutChanged();
  FSlicesPanel->Refresh();
  UpdateMenus();
}

void TForm1::PageChanged() {
  FCompressionPage->PageChanged(ImageLoaded() ? FSourcePage->View().PixelGraphic() : nullptr);
  UpdateMenus();
}

// ---------------------------------------------------------------- settings

void TForm1::ReadSettings() {
  TWorkSettings work = WorkSettings();
  ReadWindowSettings(*this, FRecentImages, FRecentGrids, work);
  ApplyWorkSettings(work);
  FSettingsWritten = false;
}

void TForm1::WriteSettings() {
  FSettingsWritten = true;
  WriteWindowSettings(*this, FRecentImages, FRecentGrids, WorkSettings());
}

TWorkSettings TForm1::WorkSettings() const {
  // The page sets the qualities as its slider moves; it shows only one of them.
  return {FOutputFormat, PGSettings().JpegQuality, PGSettings().WebpQuality, FCompressionPage->Progressive(),
          !FSlicesPanel->isHidden()};
}

void TForm1::ApplyWorkSettings(const TWorkSettings& work) {
  SetOutputFormat(*work.Format);
  PGSettings().JpegQuality = work.JpegQuality;
  PGSettings().WebpQuality = work.WebpQuality;
  PGSettings().JpegProgressive = work.JpegProgressive;
  // The page shows the quality of the format it is for.
  FCompressionPage->ShowSettings(QualitySetting(PGSettings(), FCompressionPage->Format()), work.JpegProgressive);
  FSlicesPanel->setVisible(work.SlicesPanel);
}

void TForm1::showEvent(QShowEvent* event) {
  // Read at every show the program makes, not when the desktop restores a
  // minimised window.
  if (!event->spontaneous()) ReadSettings();
  QMainWindow::showEvent(event);
}

void TForm1::closeEvent(QCloseEvent* event) {
  WriteSettings();
  QMainWindow::closeEvent(event);
}

void TForm1::dragEnterEvent(QDragEnterEvent* event) {
  if (DroppedFile(event->mimeData())) event->acceptProposedAction();
}

void TForm1::dropEvent(QDropEvent* event) {
  const std::optional<QString> path = DroppedFile(event->mimeData());
  if (!path) return;
  event->acceptProposedAction();
  RunReported([&] { OpenImage(*path); });
}
