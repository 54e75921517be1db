#include "app/ui/dialogs.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QStringList>

#include "app/ui/aboutbox.h"
#include "app/ui/errorreport.h"
#include "pgraphic/filters/filters.h"
#include "platform/shellopen.h"
#include "widgets/inputdlg.h"

QString ImageFileFilter() {
  static const char* const entries[][2] = {
      {"Image files",
       "*.bmp; *.dib; *.jif; *.jpeg; *.jpg; *.pbm; *.pcx; *.pgm; *.png; *.ppm; *.rle; *.tga; "
       "*.tif; *.tiff"},
      {"BMP - Bitmap", "*.bmp"},
      {"DIB - Bitmap", "*.dib"},
      {"JIF - JPEG (JFIF compliant)", "*.jif"},
      {"JPEG - JPEG (JFIF compliant)", "*.jpeg"},
      {"JPG - JPEG (JFIF compliant)", "*.jpg"},
      {"PBM - Portable Bitmap", "*.pbm"},
      {"PCX - Paintbrush", "*.pcx"},
      {"PGM - Portable Graymap", "*.pgm"},
      {"PNG - Portable Network Graphics", "*.png"},
      {"PPM - Portable Pixelmap", "*.ppm"},
      {"RLE - Bitmap", "*.rle"},
      {"TGA - Truevision Targa", "*.tga"},
      {"TIF - Tagged Image File Format", "*.tif"},
      {"TIFF - Tagged Image File Format", "*.tiff"},
      // Every file, also one without a dot in its name.
      {"All files", "*"},
  };
  QStringList filters;
  for (const auto& entry : entries) {
    // The file dialog separates patterns by blanks only.
    QString patterns = QLatin1String(entry[1]);
    patterns.replace(QStringLiteral("; "), QStringLiteral(" "));
    filters << QStringLiteral("%1 (%2)").arg(QLatin1String(entry[0]), patterns);
  }
  return filters.join(QStringLiteral(";;"));
}

bool TQtMainWindowDialogs::ChooseImageFile(QWidget* parent, QString& path) {
  QFileDialog dialog(parent, QString(), FLastDirectory, ImageFileFilter());
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;
  path = dialog.selectedFiles().constFirst();
  FLastDirectory = QFileInfo(path).absolutePath();
  return true;
}

std::unique_ptr<TPGFilter> TQtMainWindowDialogs::RunColorFilter(QWidget* parent,
                                                                TColorFilterKind,
                                                                TPixelGraphic&) {
  // The colour filter dialogs with their previews are not part of this build yet.
  InfoBox(parent, QStringLiteral("Colour adjustment is not available in this version yet."));
  return nullptr;
}

bool TQtMainWindowDialogs::AskPosition(Tinputdlg& dialog) { return dialog.Execute(); }

void TQtMainWindowDialogs::ErrorBox(QWidget* parent, const QString& text) {
  QMessageBox::critical(parent, ApplicationTitle(), text);
}

void TQtMainWindowDialogs::InfoBox(QWidget* parent, const QString& text) {
  QMessageBox::information(parent, ApplicationTitle(), text);
}

void TQtMainWindowDialogs::ShowAbout(QWidget*) {
  if (FAbout) FAbout->exec();
}

void TQtMainWindowDialogs::ShellOpen(const QString& target) { ::ShellOpen(target); }
