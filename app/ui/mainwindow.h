#pragma once
// TForm1, the main window: it shows the cut being edited (the document,
// document.h) on the Source page, previews the lossy slice format on the
// compression page, lists the slices in the Slices panel, and offers the
// menus whose commands go through the document. What it keeps between runs
// is read and written by windowsettings.h.
//
// Every widget and menu entry has an object name, the window design's
// where it gave one ("PageControl1", "PGImage1", "PaintBox1", "x_speed",
// ...), so that tests and tools find them with findChild.

#include <QMainWindow>
#include <QString>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/common/outputformats.h"
#include "app/common/recentfiles.h"
#include "app/ui/dialogs.h"

struct TPageWeighing;
struct TWorkSettings;

class QAction;
class QActionGroup;
class QMenu;
class QTabWidget;
class TBrowserPreview;
class TCompressionPage;
class TCutDocument;
class TPixelGraphic;
class TSlicesPanel;
class TSourcePage;
class TSplitGrid;
class TWindowExport;
class Taddtagsdialog;
class Tdlg_code;
class Texportdialog;
class Tinputdlg;

class TForm1 : public QMainWindow {
  Q_OBJECT

 public:
  explicit TForm1(TMainWindowDialogs& dialogs, QWidget* parent = nullptr);
  ~TForm1() override;

  // The export options, per-slice and code dialogs, made at program start
  // after the window and the about box; export and Tools > Options need them.
  void SetExportDialogs(Texportdialog& options, Taddtagsdialog& tags, Tdlg_code& code);

  // Loads the image; on failure the image shown before stays, and so do
  // the cut, the caption and the recent list. When work was placed on the
  // image shown, asks whether the lines that fit the new one stay.
  void OpenImage(const QString& path);
  // The grid file and what lies beside it, as one undoable step.
  void LoadGrid(const QString& path);
  bool ImageLoaded() const;

  // The cut the window shows.
  TCutDocument& Document() const { return *FDocument; }
  // The slices' format, as the Output Format menu has it, and their file
  // extension: ".jpg", ".bmp", ".tif", ".png" or ".webp".
  const TOutputFormat& OutputFormat() const { return *FOutputFormat; }
  const std::string& OutputExtension() const { return FOutputFormat->Extension; }
  // Reused for every cell of every export.
  TPixelGraphic& SliceImage();
  // The recent images and the recent grids.
  TRecentFiles& MRUManager1() { return FRecentImages; }
  TRecentFiles& MRUManager2() { return FRecentGrids; }

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  // The menu entries the window enables, renames or checks as it goes.
  struct TMenus {
    QMenu* Tools = nullptr;
    QMenu* ReopenImage = nullptr;
    QMenu* ReopenGrid = nullptr;
    QMenu* ColorAdjustment = nullptr;
    QMenu* AddSplitline = nullptr;
    QActionGroup* OutputFormats = nullptr;
    // Enabled while an image is loaded.
    std::vector<QAction*> OfImage;
    // Enabled while an image is loaded and the Source page is shown.
    std::vector<QAction*> OfSource;
    QAction* Options = nullptr;
    QAction* Undo = nullptr;
    QAction* Redo = nullptr;
    QAction* DeleteLine = nullptr;
    std::vector<QAction*> OfCells;
  };

  // ---- construction (mainwindow.cpp, mainwindow_menus.cpp)
  void MakeMenus();
  void MakeFileMenu();
  void MakeEditMenu();
  void MakeViewMenu();
  void MakeToolsMenu();
  void MakeOutputFormatMenu();
  void MakeHelpMenu();
  void MakeRecentMenu(TRecentFiles& list, QMenu* menu, void (TForm1::*open)(const QString&));
  // A menu entry whose command reports what it raises.
  QAction* AddCommand(QMenu* menu, const char* name, const QString& caption, std::function<void()> command,
                      const QKeySequence& shortcut = QKeySequence());
  QAction* AddCommand(QMenu* menu, const char* name, const QString& caption, void (TForm1::*command)(),
                      const QKeySequence& shortcut = QKeySequence());
  // Brings the menus' enabled states in line with the window's state.
  void UpdateMenus();
  void CutChanged();
  void PageChanged();

  // ---- commands (mainwindow_commands.cpp; errors go to the error report)
  void OpenCommand();
  void ReopenImage(const QString& path);
  void AddSplitline(bool horizontal);
  void ClearSplits();
  void Undo();
  void Redo();
  void ColorAdjustment(TColorFilterKind kind);
  void SetOutputFormat(const TOutputFormat& format);
  bool PageToWeigh(TSplitGrid& grid, TPageWeighing& weighing);
  void ExportCommand();
  void PreviewCommand();
  void LoadGridCommand();
  void SaveGridCommand();
  void OptionsCommand();
  void Usage();
  void AuthorsSite();
  void Donate();
  void About();
  // Before any modal dialog: the hover cursor must not stay on over it.
  TMainWindowDialogs& Modal();

  // ---- what is kept between runs
  void ReadSettings();
  void WriteSettings();
  TWorkSettings WorkSettings() const;
  void ApplyWorkSettings(const TWorkSettings& work);

  TMainWindowDialogs& FDialogs;
  std::unique_ptr<TCutDocument> FDocument;
  TRecentFiles FRecentImages{"MRUManager1"};
  TRecentFiles FRecentGrids{"MRUManager2"};
  const TOutputFormat* FOutputFormat = &OutputFormats().front();
  QTabWidget* FPages = nullptr;
  TSourcePage* FSourcePage = nullptr;
  TCompressionPage* FCompressionPage = nullptr;
  TSlicesPanel* FSlicesPanel = nullptr;
  Tinputdlg* FPositionDialog = nullptr;
  TMenus FMenus;
  std::unique_ptr<TWindowExport> FExport;
  std::unique_ptr<TBrowserPreview> FPreview;
  bool FSettingsWritten = true;
};
