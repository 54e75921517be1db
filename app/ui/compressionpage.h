#pragma once
// The compression page of the lossy slice format, JPEG or WebP: the source
// on the left, the same image after a round trip through such a file on the
// right, with the compressed size, and what the whole page would weigh at
// that quality. The quality (slider and number box, which follow each
// other) and JPEG's progressive flag chosen here become the image library's
// settings at once, which the exported slices use as well.
//
// Its widgets carry the names of the window design as their object names:
// the size label "Label1", the views "PGImage2" (source) and "PGImage3"
// (result) with the splitter "RxSplitter1" between, the slider "TrackBar1",
// the number box "SpinEdit1", the box "CheckBox1" and the timer "Timer1".

#include <QString>
#include <QWidget>

#include <functional>

#include "app/export/pageweight.h"
#include "app/ui/weighingjob.h"
#include "platform/privatetempdir.h"

class QCheckBox;
class QLabel;
class QSlider;
class QSpinBox;
class QSplitter;
class QTimer;
class TPGImage;
class TPixelGraphic;
struct TOutputFormat;

class TCompressionPage : public QWidget {
  Q_OBJECT

 public:
  explicit TCompressionPage(QWidget* parent = nullptr);
  ~TCompressionPage() override;

  // The temporary file every preview overwrites: "~tessel.jpg" (".webp" for
  // WebP) in a folder of this page's own in the temporary folder (empty
  // before the first preview of the format).
  const QString& TempFile() const { return FTempFile; }

  // The lossy format the page is for, JPEG or WebP (lossyformat.h). The
  // slider shows and sets that format's quality.
  void SetFormat(const TOutputFormat& format);
  const TOutputFormat& Format() const { return *FFormat; }
  // What the page would be exported as: the grid and how its slices are
  // made (the source is the page's copy). False when there is nothing to
  // weigh.
  std::function<bool(TSplitGrid&, TPageWeighing&)> PageToWeigh;

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
  // Writes the left image to the temporary file with the chosen settings,
  // shows its size and reads it back on the right.
  void Preview();
  // Weighs the page anew on a worker; a weighing still running is stopped
  // and its result never shown.
  void WeighPage();

 signals:
  // A preview was made; the file had `bytes` bytes.
  void Previewed(qint64 bytes);
  // The page as it stands would be exported to `bytes` bytes in `slices`
  // slice files.
  void PageWeighed(qint64 bytes, int slices);

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  void AlignLabel();
  void SetHalfWidth();
  void Zoom(long double factor);
  void SetQuality(int quality);
  void ShowWeight(const TPageWeighingJob& job);

  QLabel* FSizeLabel;
  TPGImage* FSourceView;
  TPGImage* FResultView;
  QSplitter* FSplitter;
  QSlider* FQualitySlider;
  QSpinBox* FQualityBox;
  QCheckBox* FProgressiveBox;
  QTimer* FPreviewTimer;
  QLabel* FWeightLabel;
  QWidget* FTopStrip;
  // Taken when the page is made; the folder is made at the first preview
  // and removed with the page.
  TPGPrivateTempDir FTempDir;
  QString FTempFile;
  const TOutputFormat* FFormat;
  bool FSettingUp = true;
  TPGJobSlot<TPageWeighingJob> FWeighing;
};
