#pragma once
// The "JPEG Compression" page: the source on the left, the same image after
// a round trip through a JPEG file on the right, with the compressed size.
// The quality (slider and number box, which follow each other) and the
// progressive flag chosen here become the image library's JPEG settings at
// once, which the exported .jpg slices use as well.

#include <QString>
#include <QWidget>

#include "platform/privatetempdir.h"

class QCheckBox;
class QLabel;
class QPushButton;
class QSlider;
class QSpinBox;
class QSplitter;
class QTimer;
class TPGImage;
class TPixelGraphic;

class TJpegPage : public QWidget {
  Q_OBJECT

 public:
  explicit TJpegPage(QWidget* parent = nullptr);

  QLabel* Label1;
  TPGImage* PGImage2;
  TPGImage* PGImage3;
  QSplitter* RxSplitter1;
  QPushButton* ZoomInButton;
  QPushButton* ZoomOutButton;
  QPushButton* ActualSizeButton;
  QSlider* TrackBar1;
  QSpinBox* SpinEdit1;
  QCheckBox* CheckBox1;
  QTimer* Timer1;

  // The temporary file every preview overwrites: "~tessel.jpg" in a folder
  // of this page's own in the temporary folder (empty before the first
  // preview).
  const QString& TempFile() const { return FTempFile; }

  // Shows these settings (kept from the last run) without a preview.
  void ShowSettings(int quality, bool progressive);
  int Quality() const;
  bool Progressive() const;

  // The main window changed pages: takes a copy of the source (null when no
  // image is loaded) and, with an image, asks for a new preview.
  void PageChanged(const TPixelGraphic* source);
  // The quality was chosen anew: the library takes it, and the preview
  // follows within a second, once for a whole series of changes.
  void QualityChange();
  // Writes the left image to the temporary JPEG file with the chosen
  // settings, shows its size and reads it back on the right.
  void Preview();

 signals:
  // A preview was made; the file had `bytes` bytes.
  void Previewed(qint64 bytes);

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  void AlignLabel();
  void SetHalfWidth();
  void Zoom(long double factor);

  QWidget* FTopStrip;
  // Taken when the page is made; the folder is made at the first preview
  // and removed with the page.
  TPGPrivateTempDir FTempDir;
  QString FTempFile;
  bool FSettingUp = true;
};
