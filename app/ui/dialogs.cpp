#include "app/ui/dialogs.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QPlainTextEdit>
#include <QVBoxLayout>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>

#include "app/ui/aboutbox.h"
#include "app/ui/errorreport.h"
#include "pgraphic/filters/filters.h"
#include "platform/shellopen.h"
#include "widgets/inputdlg.h"

QStringList FileDialogNameFilters(const QString& filter) {
  QStringList filters = PGQtNameFilters(filter.toStdString());
  // "Grid Files (*.grd)|*.grd" would read "Grid Files (*.grd) (*.grd)".
  for (QString& entry : filters) {
    const qsizetype open = entry.lastIndexOf(QLatin1Char('('));
    const QString patterns = entry.mid(open);
    if (open > 0 && entry.left(open).trimmed().endsWith(patterns))
      entry = entry.left(open).trimmed();
  }
  return filters;
}

TQtMainWindowDialogs::TQtMainWindowDialogs() {
  // The open dialog's own filter lists every image type the library reads,
  // "Image files" first.
  FOpenDialog.SetOptions(FOpenDialog.Options() | OfBit(ofFileMustExist) | OfBit(ofPathMustExist));
}

bool TQtMainWindowDialogs::ChooseImageFile(QWidget*, QString& path) {
  if (!path.isEmpty()) FOpenDialog.InitialDir = QFileInfo(path).absolutePath();
  FOpenDialog.FileName.clear();
  if (!FOpenDialog.Execute() || FOpenDialog.FileName.isEmpty()) return false;
  path = FOpenDialog.FileName;
  FLastDirectory = QFileInfo(path).absolutePath();
  return true;
}

std::unique_ptr<TPGFilter> TQtMainWindowDialogs::RunColorFilter(QWidget*, TColorFilterKind kind,
                                                                TPixelGraphic& image) {
  TFilterDialog& dialog = kind == TColorFilterKind::RGB   ? static_cast<TFilterDialog&>(FRGBDialog)
                          : kind == TColorFilterKind::CMY ? static_cast<TFilterDialog&>(FCMYDialog)
                                                          : static_cast<TFilterDialog&>(FHLSDialog);
  if (!dialog.Execute(image)) return nullptr;
  return dialog.CreateCurrentFilter();
}

bool TQtMainWindowDialogs::ChooseFile(QWidget* parent, bool save, const QString& filter,
                                      const QString& defaultExtension, QString& path) {
  QFileDialog dialog(parent, QString(), FLastDirectory);
  if (!path.isEmpty()) {
    dialog.setDirectory(QFileInfo(path).absolutePath());
    dialog.selectFile(QFileInfo(path).fileName());
  }
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  // Existing files are asked about by the command itself, in its own words.
  dialog.setOption(QFileDialog::DontConfirmOverwrite);
  dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
  dialog.setNameFilters(FileDialogNameFilters(filter));
  dialog.setDefaultSuffix(defaultExtension);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;
  path = dialog.selectedFiles().constFirst();
  FLastDirectory = QFileInfo(path).absolutePath();
  return true;
}

bool TQtMainWindowDialogs::ChooseSaveFile(QWidget* parent, const QString& filter,
                                          const QString& defaultExtension, QString& path) {
  return ChooseFile(parent, true, filter, defaultExtension, path);
}

bool TQtMainWindowDialogs::ChooseOpenFile(QWidget* parent, const QString& filter,
                                          const QString& defaultExtension, QString& path) {
  return ChooseFile(parent, false, filter, defaultExtension, path);
}

bool TQtMainWindowDialogs::AskPosition(Tinputdlg& dialog) { return dialog.Execute(); }

void TQtMainWindowDialogs::RunModal(QDialog& dialog) { dialog.exec(); }

bool TQtMainWindowDialogs::AskOkCancel(QWidget* parent, const QString& text,
                                       const QString& caption) {
  return QMessageBox::warning(parent, caption, text, QMessageBox::Ok | QMessageBox::Cancel,
                              QMessageBox::Ok) == QMessageBox::Ok;
}

bool TQtMainWindowDialogs::AskYesNo(QWidget* parent, const QString& text, const QString& caption) {
  return QMessageBox::question(parent, caption, text, QMessageBox::Yes | QMessageBox::No,
                               QMessageBox::Yes) == QMessageBox::Yes;
}

TSaveAnswer TQtMainWindowDialogs::AskSave(QWidget* parent, const QString& text, const QString& caption) {
  QMessageBox box(QMessageBox::Question, caption, text, QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel,
                  parent);
  box.button(QMessageBox::Save)->setText(QStringLiteral("&Save"));
  box.button(QMessageBox::Discard)->setText(QStringLiteral("Do&n't Save"));
  box.setDefaultButton(QMessageBox::Save);
  box.setEscapeButton(QMessageBox::Cancel);
  switch (box.exec()) {
    case QMessageBox::Save: return TSaveAnswer::Save;
    case QMessageBox::Discard: return TSaveAnswer::DontSave;
    default: return TSaveAnswer::Cancel;
  }
}

void TQtMainWindowDialogs::ErrorBox(QWidget* parent, const QString& text) {
  QMessageBox::critical(parent, ApplicationTitle(), text);
}

void TQtMainWindowDialogs::WarningBox(QWidget* parent, const QString& text) {
  QMessageBox::warning(parent, ApplicationTitle(), text);
}

void TQtMainWindowDialogs::ShowAbout(QWidget*) {
  if (FAbout) FAbout->exec();
}

bool TQtMainWindowDialogs::ShellOpen(const QString& target) { return ::ShellOpen(target); }

void TQtMainWindowDialogs::ShowText(QWidget* parent, const QString& title, const QString& text) {
  QDialog window(parent);
  window.setObjectName(QStringLiteral("TextWindow"));
  window.setWindowTitle(title);
  auto* view = new QPlainTextEdit(text);
  view->setReadOnly(true);
  view->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  auto* close = new QDialogButtonBox(QDialogButtonBox::Close);
  QObject::connect(close, &QDialogButtonBox::rejected, &window, &QDialog::reject);
  auto* layout = new QVBoxLayout(&window);
  layout->addWidget(view);
  layout->addWidget(close);
  window.resize(640, 480);
  window.exec();
}
