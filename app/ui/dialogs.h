#pragma once
// Everything modal the main window shows goes through TMainWindowDialogs, so
// that tests can give the answers without modal loops. TQtMainWindowDialogs
// is the program's own set.

#include <QString>

#include <memory>

class QWidget;
class TAboutBox;
class TPGFilter;
class TPixelGraphic;
class Tinputdlg;

enum class TColorFilterKind { RGB, CMY, HLS };

class TMainWindowDialogs {
 public:
  virtual ~TMainWindowDialogs() = default;
  // The image open dialog; false when cancelled.
  virtual bool ChooseImageFile(QWidget* parent, QString& path) = 0;
  // The colour filter dialog of the kind for `image`: the filter the user
  // accepted, or null.
  virtual std::unique_ptr<TPGFilter> RunColorFilter(QWidget* parent, TColorFilterKind kind,
                                                    TPixelGraphic& image) = 0;
  // The Add Splitline dialog (its caption is set); true on OK, the text then
  // in the dialog.
  virtual bool AskPosition(Tinputdlg& dialog) = 0;
  // A message box of the error kind with an OK button.
  virtual void ErrorBox(QWidget* parent, const QString& text) = 0;
  // An information box with an OK button.
  virtual void InfoBox(QWidget* parent, const QString& text) = 0;
  virtual void ShowAbout(QWidget* parent) = 0;
  // Opens a document or web address with the desktop's viewer.
  virtual void ShellOpen(const QString& target) = 0;
};

// The image open dialog's filter, one entry per type, "Image files" first.
QString ImageFileFilter();

class TQtMainWindowDialogs : public TMainWindowDialogs {
 public:
  // The about box is created at program start and outlives every use.
  void SetAboutBox(TAboutBox* about) { FAbout = about; }

  bool ChooseImageFile(QWidget* parent, QString& path) override;
  std::unique_ptr<TPGFilter> RunColorFilter(QWidget* parent, TColorFilterKind kind,
                                            TPixelGraphic& image) override;
  bool AskPosition(Tinputdlg& dialog) override;
  void ErrorBox(QWidget* parent, const QString& text) override;
  void InfoBox(QWidget* parent, const QString& text) override;
  void ShowAbout(QWidget* parent) override;
  void ShellOpen(const QString& target) override;

 private:
  TAboutBox* FAbout = nullptr;
  QString FLastDirectory;
};
