#pragma once
// TPGOpenDialog: the image open dialog. Qt's own file dialog (never the
// desktop's native one, which cannot host the panel) with a panel on the
// right that previews the selected image and lists a few facts about it.
// The file types offered come from the format registry at every run.

#include <QColor>
#include <QFileDialog>
#include <QObject>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <string>

#include "pgraphic/core/types.h"

class TPGOpenPreviewPanel;

enum TOpenOption : std::uint8_t {
  ofReadOnly,
  ofOverwritePrompt,
  ofHideReadOnly,
  ofNoChangeDir,
  ofShowHelp,
  ofNoValidate,
  ofAllowMultiSelect,
  ofExtensionDifferent,
  ofPathMustExist,
  ofFileMustExist,
  ofCreatePrompt,
  ofShareAware,
  ofNoReadOnlyReturn,
  ofNoTestFileCreate,
  ofNoNetworkButton,
  ofNoLongNames,
  ofOldStyleDialog,
  ofNoDereferenceLinks,
  ofEnableIncludeNotify,
  ofEnableSizing,
};
// A set of options: bit n stands for value n.
using TOpenOptions = std::uint32_t;
constexpr TOpenOptions OfBit(TOpenOption o) { return TOpenOptions(1u) << o; }

// A filter list in the form "Description|patterns|Description|patterns"
// (patterns separated by ";") as Qt's name filters "Description (patterns)",
// in the same order. "*.*" becomes "*", which also matches names without a dot.
QStringList PGQtNameFilters(const std::string& filter);

class TPGPreviewFileDialog;

class TPGOpenDialog : public QObject {
  Q_OBJECT
 public:
  explicit TPGOpenDialog(QObject* parent = nullptr);
  ~TPGOpenDialog() override;

  // Runs the dialog modally; true when the user chose a file (FileName).
  bool Execute();

  // ---- the file dialog's own settings
  QString Title;
  QString InitialDir;
  // The chosen file; set before a run it is preselected.
  QString FileName;
  // All chosen files (several with ofAllowMultiSelect).
  QStringList Files;
  // "Description|patterns|..." as BuildOpenFilter gives it.
  std::string Filter;
  // 1-based index of the file type shown first, and chosen after a run.
  int FilterIndex = 1;
  TOpenOptions Options() const { return FOptions; }
  // The preview needs shared reading; a set without ofShareAware is told
  // about and gets it added.
  void SetOptions(TOpenOptions options);

  // ---- preview settings
  TStretchMode StretchMode = smPrecise;
  bool UseDefaultFilter = true;
  // Invalid colours stand for the button face and button shadow of the style.
  QColor ProgressClockBkColor;
  QColor ProgressClockLineColor;
  bool ProgressClockVisible = true;
  TPaletteIdent Palette8BitSys24BitGraphic = pOptimized252Sys16;
  TPaletteIdent Palette8BitSys8BitGraphic = pOptimized252Sys16;
  bool ShowInfo = true;

  // The filter a run starts with when UseDefaultFilter is on.
  virtual std::string DefaultFilter() const;

  // The window while Execute runs, null otherwise.
  TPGPreviewFileDialog* FileDialog() const { return FFileDialog; }

 private:
  TOpenOptions FOptions = OfBit(ofHideReadOnly) | OfBit(ofShareAware);
  TPGPreviewFileDialog* FFileDialog = nullptr;
};

// The window of one run: the file dialog with the preview panel beside it,
// placed centred across and one third down the screen when it first shows.
class TPGPreviewFileDialog : public QFileDialog {
  Q_OBJECT
 public:
  TPGPreviewFileDialog(const TPGOpenDialog& owner, QWidget* parent);
  TPGOpenPreviewPanel* Panel() const { return FPanel; }

 protected:
  void showEvent(QShowEvent* e) override;

 private:
  // The file the preview shows: the first of several selected, else the current one.
  QString PreviewPath() const;
  TPGOpenPreviewPanel* FPanel = nullptr;
  QString FCurrent;
  bool FPlaced = false;
};
