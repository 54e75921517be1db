#pragma once
// The compression page of the lossy slice format, JPEG or WebP: the source
// on the left, the same image after a round trip through such a file on the
// right, with the compressed size, and what the whole page would weigh at
// that quality. The quality (slider and number box, which follow each
// other) and JPEG's progressive flag chosen here become the image library's
// settings at once, which the exported slices use as well.

#include <QString>
#include <QWidget>

#include <atomic>
#include <functional>
#include <list>
#include <memory>
#include <thread>

#include "app/export/pageweight.h"
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
  QLabel* PageWeightLabel;

  // The temporary file every preview overwrites: "~tessel.jpg" (".webp" for
  // WebP) in a folder of this page's own in the temporary folder (empty
  // before the first preview of the format).
  const QString& TempFile() const { return FTempFile; }

  // The lossy format the page is for, by its writer: "jpg" or "webp". The
  // slider shows and sets that format's quality.
  void SetFormat(const std::string& writer);
  const std::string& Format() const { return FWriter; }
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
  // Writes the left image to the temporary JPEG file with the chosen
  // settings, shows its size and reads it back on the right.
  void Preview();
  // Weighs the page anew on a thread of its own; a weighing still running
  // is stopped and its result never shown.
  void WeighPage();

  ~TJpegPage() override;

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
  void ShowWeight(unsigned generation, std::uint64_t bytes, int slices, const QString& failure);
  void Retire(bool stop);

  // A weighing on its own thread, stopped by Stop, Done once it posted.
  struct TWeighing {
    std::atomic<bool> Stop{false};
    std::atomic<bool> Done{false};
    std::thread Thread;
  };

  QWidget* FTopStrip;
  // Taken when the page is made; the folder is made at the first preview
  // and removed with the page.
  TPGPrivateTempDir FTempDir;
  QString FTempFile;
  std::string FWriter = "jpg";
  bool FSettingUp = true;
  unsigned FGeneration = 0;  // of the weighing whose result is shown
  std::list<std::unique_ptr<TWeighing>> FWeighings;
};
