#pragma once
// The window of the colour adjustment dialogs (TRGBFilterDialog,
// TCMYFilterDialog, THLSFilterDialog of pgraphic/filters/filtermodel.h):
// three sliders with their scales, a live preview and OK / Cancel. The
// preview is made off the user-interface thread: one thread scales the image
// down once, and after every 100 ms pause of the sliders another applies the
// current filter to that small copy.

#include <QDialog>
#include <QSlider>
#include <QTimer>
#include <array>
#include <cstdint>
#include <memory>

#include "pgraphic/core/pixelgraphic.h"
#include "pgraphic/filters/filtermodel.h"
#include "platform/jobthread.h"

class QLabel;
class QPushButton;
class TPGBevel;
class TPGImage;

// Scales the caller's image down into the preview's source copy, once per
// run; its result is only the word that the copy is ready.
class TCreateSrcPGThread : public TPGJobThread {
 public:
  // The thread reads orig and fills srcPG; both must outlive it.
  TCreateSrcPGThread(bool doNothing, TPixelGraphic& orig, TPixelGraphic& srcPG);

 protected:
  void Execute() override;

 private:
  TPixelGraphic& OrigPixelGraphic;
  TPixelGraphic& FSrcPG;
};

// One filtering pass over the source copy with a filter of its own. A pass
// told to stop ends early and throws its result away.
class TCreateDestPGThread : public TPGJobThread {
 public:
  // With doNothing the pass does nothing.
  TCreateDestPGThread(bool doNothing, TPixelGraphic* srcPG, std::unique_ptr<TPGFilter> filter);

 protected:
  void Execute() override;

 private:
  TPixelGraphic* const FSrcPG;
  std::unique_ptr<TPGFilter> FFilter;
};

// A horizontal slider with tick marks below that also marks one value (the
// neutral setting) with a small triangle in the row of the ticks.
class TPGMarkedSlider : public QSlider {
  Q_OBJECT
 public:
  explicit TPGMarkedSlider(QWidget* parent);
  int NeutralMark() const { return FNeutralMark; }
  void SetNeutralMark(int value);

 protected:
  void paintEvent(QPaintEvent* e) override;

 private:
  int FNeutralMark = 0;
};

// The controls of one channel; all null for a channel that is not present.
struct TFilterChannelControls {
  TPGMarkedSlider* Slider = nullptr;
  QLabel* Caption = nullptr;
  QLabel* MinLabel = nullptr;
  QLabel* MiddleLabel = nullptr;
  QLabel* MaxLabel = nullptr;
  QLabel* ValueLabel = nullptr;
};

class TFilterDialogForm : public QDialog {
  Q_OBJECT
 public:
  // Builds the form for dialog and starts making the preview of image, which
  // must stay unchanged until the form is gone.
  TFilterDialogForm(TFilterDialog& dialog, TPixelGraphic& image, QWidget* parent);
  // Stops both threads and waits for them before the source copy goes.
  ~TFilterDialogForm() override;

  const TFilterChannelControls& Channel(int k) const { return FChannels.at(k); }
  TPGImage* Preview() const { return FPreview; }
  TPGBevel* Bevel() const { return FBevel; }
  QPushButton* OKButton() const { return FOK; }
  QPushButton* CancelButton() const { return FCancel; }
  // The scaled-down image the passes filter, once the source thread is done.
  const TPixelGraphic* SourceCopy() const { return FSourceReady ? FSrcPG.get() : nullptr; }
  const QTimer& RestTimer() const { return FTimer; }

 signals:
  // A filtering pass with the current values was started.
  void PassStarted();
  // The preview now shows a pass's result.
  void PassShown();

 protected:
  void showEvent(QShowEvent* e) override;

 private:
  void BuildForm();
  QLabel* AddLabel(const std::string& text, const QRect& rect, Qt::Alignment alignment);
  // Scales every position and size by m / d, as rounding the edges would.
  void ScaleBy(int m, int d);
  void StartSourceCopy(TPixelGraphic& image);
  void SlidersMoved();
  void PreviewTrigger();
  void TimerTick();
  void PassReady(std::unique_ptr<TPixelGraphic> result);

  TFilterDialog& FDialog;
  std::array<TFilterChannelControls, 3> FChannels;
  TPGImage* FPreview = nullptr;
  TPGBevel* FBevel = nullptr;
  QPushButton* FOK = nullptr;
  QPushButton* FCancel = nullptr;
  QTimer FTimer;
  bool FSourceReady = false;
  bool FPlaced = false;
  std::unique_ptr<TPixelGraphic> FSrcPG;
  TPGJobSlot<TCreateSrcPGThread> FSrcThread;
  TPGJobSlot<TCreateDestPGThread> FDestThread;
};
