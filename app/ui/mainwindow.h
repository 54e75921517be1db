#pragma once
// TForm1, the main window: the Source page with the mode buttons, the
// magnifier, the rulers and the Source view where the split lines are edited;
// the JPEG Compression page; the Slices panel; the menus; the grid's undo
// history; and what the window keeps between runs (its placement, the
// recent images and grids, the output format and the JPEG settings).

#include <QMainWindow>
#include <QString>

#include <functional>
#include <memory>
#include <string>

#include "app/common/outputformats.h"
#include "app/cut/griddata.h"
#include "app/common/recentfiles.h"
#include "app/cut/splitgrid.h"
#include "app/ui/dialogs.h"
#include "app/ui/spliteditor.h"
#include "pgraphic/core/stagedfile.h"
#include "widgets/inputdlg.h"

struct TPageWeighing;

class QAction;
class QActionGroup;
class QLabel;
class QMenu;
class QSpinBox;
class QTabWidget;
class QToolButton;
class TJpegPage;
class TPGImage;
class TQV_Loupe;
class TRuler;
class TSliceExporter;
class TWindowExportUi;
class Taddtagsdialog;
class Tdlg_code;
class Texportdialog;

class TGridHistory;
class TSettingsStore;
class TSlicesPanel;
class TSourceZoom;

class TForm1 : public QMainWindow {
  Q_OBJECT

 public:
  explicit TForm1(TMainWindowDialogs& dialogs, QWidget* parent = nullptr);
  ~TForm1() override;

  // ---- the controls, named as in the window design
  QTabWidget* PageControl1;
  QWidget* TabSheet1;  // "Source"
  TJpegPage* TabSheet2;  // "JPEG Compression"
  QToolButton* x_speed;
  QToolButton* y_speed;
  QToolButton* rect_speed;
  QToolButton* cross_speed;
  QToolButton* cells_speed;
  TQV_Loupe* QV_Loupe1;
  TRuler* PaintBox2;  // top ruler
  TRuler* PaintBox1;  // left ruler
  TPGImage* PGImage1;
  QLabel* StatusBar1;
  // Beside the status text: the selected line's position, editable, and the zoom.
  QLabel* LinePositionLabel;
  QSpinBox* LinePosition;
  QLabel* ZoomLabel;
  TSlicesPanel* SlicesPanel;
  Tinputdlg* inputdlg1;

  // ---- menu entries
  QMenu* FileMenu;
  QAction* OpenAction;
  QAction* ExportAction;
  QMenu* ReopenImageMenu;
  QAction* LoadGridAction;
  QAction* SaveGridAction;
  QMenu* ReopenGridMenu;
  QAction* ExitAction;
  QMenu* EditMenu;
  QAction* UndoAction;
  QAction* RedoAction;
  QAction* DeleteLineAction;
  QAction* MergeCellsAction;
  QAction* UnmergeCellsAction;
  QAction* NoImageAction;
  QAction* ImageAgainAction;
  QMenu* ViewMenu;
  QAction* ZoomInAction;
  QAction* ZoomOutAction;
  QAction* FitAction;
  QAction* ActualSizeAction;
  QAction* SlicesPanelAction;
  QMenu* ToolsMenu;
  QMenu* ColorAdjustmentMenu;
  QAction* RGBAction;
  QAction* CMYAction;
  QAction* HLSAction;
  QMenu* AddSplitlineMenu;
  QAction* AddHorizontalAction;
  QAction* AddVerticalAction;
  QAction* ClearSplitsAction;
  QAction* OptionsAction;
  QMenu* OutputFormatMenu;
  QActionGroup* OutputFormatGroup;
  QMenu* HelpMenu;
  QAction* UsageAction;
  QAction* AuthorsSiteAction;
  QAction* DonateAction;
  QAction* AboutAction;

  TSplitGrid& Grid() { return FData.Grid; }
  // The lines with the slices' texts.
  TGridData& Data() { return FData; }
  TSplitEditor& Editor() { return *FEditor; }
  TGridHistory& History() { return *FHistory; }
  TSourceZoom& Zoom() { return *FZoom; }
  TRecentFiles MRUManager1{"MRUManager1"};  // recent images
  TRecentFiles MRUManager2{"MRUManager2"};  // recent grids
  // The slices' format, as the Output Format menu has it, and their file
  // extension: ".jpg", ".bmp", ".tif", ".png" or ".webp".
  const TOutputFormat& OutputFormat() const { return *FOutputFormat; }
  const std::string& OutputExtension() const { return FOutputFormat->Extension; }
  // Reused for every cell of every export.
  TPixelGraphic& SliceImage();

  // The export options, per-slice and code dialogs, made at program start
  // after the window and the about box; export and Tools > Options need them.
  void SetExportDialogs(Texportdialog& options, Taddtagsdialog& tags, Tdlg_code& code);

  bool ImageLoaded() const;

  // ---- commands (errors go to the application's error report)
  // Loads the image; on failure the image shown before stays, and so do
  // the grid, the caption and the recent list. When lines were placed on
  // the image shown, asks whether those that fit the new one stay.
  void OpenImage(const QString& path);
  void OpenCommand();
  void ReopenImage(const QString& path);
  // The grid file and the slices' texts beside it, as one undoable step.
  void LoadGrid(const QString& path);
  void AddSplitline(bool horizontal);
  void ClearSplits();
  void Undo();
  void Redo();
  void ColorAdjustment(TColorFilterKind kind);
  void SetOutputFormat(const TOutputFormat& format);
  bool PageToWeigh(TSplitGrid& grid, TPageWeighing& weighing);
  void Usage();
  void AuthorsSite();
  void Donate();
  void About();
  // The export of app/export/exporter.h with the window's dialogs. A failure is
  // reported and leaves every file, the grid and the image as they were.
  void ExportCommand();
  void LoadGridCommand();
  void SaveGridCommand();
  void OptionsCommand();

  // Placement, recent lists, output format, JPEG settings and the Slices
  // panel from and to the settings file.
  void ReadSettings();
  void WriteSettings();
  void ReadWorkSettings(TSettingsStore& store);
  void WriteWorkSettings(TSettingsStore& store);

  // Brings the menus' enabled states in line with the window's state.
  void UpdateMenus();

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QWidget* MakeSourcePage();
  QWidget* MakeToolBar();
  void MakeMenus();
  void MakeRecentMenu(TRecentFiles& list, QMenu* menu, void (TForm1::*open)(const QString&));
  // A menu entry whose command reports what it raises.
  QAction* AddCommand(QMenu* menu, const QString& caption, std::function<void()> command,
                      const QKeySequence& shortcut = QKeySequence());
  QAction* AddCommand(QMenu* menu, const QString& caption, void (TForm1::*command)(),
                      const QKeySequence& shortcut = QKeySequence());
  QWidget* MakeStatusStrip();
  void MakeEditAndViewMenus();
  void HookView();
  bool ViewEvent(QWidget* watched, QEvent* event);
  void GridDataChanged();
  void ShowSelectedLine();
  void ShowZoom();
  void PageChanged();
  void ShowMode(TSplitMode mode);
  void RepaintRulers();
  // Before any modal dialog: the hover cursor must not stay on over it.
  TMainWindowDialogs& Modal();
  Texportdialog& ExportOptionsDialog();

  TMainWindowDialogs& FDialogs;
  TGridData FData;
  TGridHistory* FHistory = nullptr;
  TSplitEditor* FEditor = nullptr;
  const TOutputFormat* FOutputFormat = &OutputFormats().front();
  TSourceZoom* FZoom = nullptr;
  int FWheelAngle = 0;  // wheel turns not yet a whole zoom step
  // The cut an export works with: a copy whose texts and formats the
  // per-slice dialogs change.
  TGridData FExportCut;
  bool FSettingsWritten = true;
  // The file the image shown was loaded from: no export may replace it.
  TFileIdentity FSourceFile;
  std::unique_ptr<TWindowExportUi> FExportUi;
  std::unique_ptr<TSliceExporter> FExporter;
};
