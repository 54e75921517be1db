#pragma once
// Everything modal the main window shows goes through TMainWindowDialogs, so
// that tests can give the answers without modal loops. TQtMainWindowDialogs
// is the program's own set.

#include <QString>
#include <QStringList>

#include <memory>

#include "pgraphic/filters/filtermodel.h"
#include "pgraphic_qt/view/opendialog.h"

class QDialog;
class QWidget;
class TAboutBox;
class TPGFilter;
class TPixelGraphic;
class Tinputdlg;

enum class TColorFilterKind { RGB, CMY, HLS };

// The answers to "Save the grid?".
enum class TSaveAnswer { Save, DontSave, Cancel };

class TMainWindowDialogs {
 public:
  virtual ~TMainWindowDialogs() = default;
  // The image open dialog; false when cancelled. path: on entry a file in
  // the folder to start in (may be empty), on return the chosen one.
  virtual bool ChooseImageFile(QWidget* parent, QString& path) = 0;
  // The colour filter dialog of the kind for `image`: the filter the user
  // accepted, or null.
  virtual std::unique_ptr<TPGFilter> RunColorFilter(QWidget* parent, TColorFilterKind kind,
                                                    TPixelGraphic& image) = 0;
  // A file save dialog. filter is "Description|patterns|..." (patterns
  // separated by ";"), defaultExtension has no dot. The dialog itself asks
  // nothing about an existing file. path: on entry the name to suggest
  // (its folder is where the dialog starts; may be empty), on return the
  // chosen one. False when cancelled.
  virtual bool ChooseSaveFile(QWidget* parent, const QString& filter,
                              const QString& defaultExtension, QString& path) = 0;
  // The same for opening an existing file.
  virtual bool ChooseOpenFile(QWidget* parent, const QString& filter,
                              const QString& defaultExtension, QString& path) = 0;
  // The Add Splitline dialog (its caption is set); true on OK, the text then
  // in the dialog.
  virtual bool AskPosition(Tinputdlg& dialog) = 0;
  // One of the program's own dialogs (export options, per-slice tags, HTML
  // code), shown modally; what it holds when it closes is the answer.
  virtual void RunModal(QDialog& dialog) = 0;
  // A question with OK and Cancel buttons and a warning icon; true for OK.
  virtual bool AskOkCancel(QWidget* parent, const QString& text, const QString& caption) = 0;
  // A question with Yes and No buttons; true for Yes.
  virtual bool AskYesNo(QWidget* parent, const QString& text, const QString& caption) = 0;
  // Save, Don't Save and Cancel, for work that no file holds yet.
  virtual TSaveAnswer AskSave(QWidget* parent, const QString& text, const QString& caption) = 0;
  // A message box of the error kind with an OK button.
  virtual void ErrorBox(QWidget* parent, const QString& text) = 0;
  // A message box of the warning kind with an OK button.
  virtual void WarningBox(QWidget* parent, const QString& text) = 0;
  virtual void ShowAbout(QWidget* parent) = 0;
  // Opens a document or web address with the desktop's viewer; false when
  // the desktop has none for it.
  virtual bool ShellOpen(const QString& target) = 0;
  // A text in a window of the program's own, to read and close.
  virtual void ShowText(QWidget* parent, const QString& title, const QString& text) = 0;
};

// A filter "Description|patterns|..." as the file dialog's name filters; a
// description that ends with its patterns in parentheses keeps them once.
QStringList FileDialogNameFilters(const QString& filter);

class TQtMainWindowDialogs : public TMainWindowDialogs {
 public:
  // The about box is created at program start and outlives every use.
  void SetAboutBox(TAboutBox* about) { FAbout = about; }

  TQtMainWindowDialogs();

  bool ChooseImageFile(QWidget* parent, QString& path) override;
  std::unique_ptr<TPGFilter> RunColorFilter(QWidget* parent, TColorFilterKind kind,
                                            TPixelGraphic& image) override;
  bool ChooseSaveFile(QWidget* parent, const QString& filter, const QString& defaultExtension,
                      QString& path) override;
  bool ChooseOpenFile(QWidget* parent, const QString& filter, const QString& defaultExtension,
                      QString& path) override;
  bool AskPosition(Tinputdlg& dialog) override;
  void RunModal(QDialog& dialog) override;
  bool AskOkCancel(QWidget* parent, const QString& text, const QString& caption) override;
  bool AskYesNo(QWidget* parent, const QString& text, const QString& caption) override;
  TSaveAnswer AskSave(QWidget* parent, const QString& text, const QString& caption) override;
  void ErrorBox(QWidget* parent, const QString& text) override;
  void WarningBox(QWidget* parent, const QString& text) override;
  void ShowAbout(QWidget* parent) override;
  bool ShellOpen(const QString& target) override;
  void ShowText(QWidget* parent, const QString& title, const QString& text) override;

 private:
  bool ChooseFile(QWidget* parent, bool save, const QString& filter,
                  const QString& defaultExtension, QString& path);

  TAboutBox* FAbout = nullptr;
  // The open dialog and the colour dialogs keep their folder, file type and
  // values from one use to the next.
  TPGOpenDialog FOpenDialog;
  TRGBFilterDialog FRGBDialog;
  TCMYFilterDialog FCMYDialog;
  THLSFilterDialog FHLSDialog;
  QString FLastDirectory;
};
