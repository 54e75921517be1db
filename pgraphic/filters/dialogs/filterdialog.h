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
#include "platform/messages.h"
#include "platform/workerthread.h"

class QLabel;
class QPushButton;
class TPGBevel;
class TPGImage;

// Messages to the form: WM_USER with WParam 1 says the source copy is ready,
// with WParam 2 hands over a filtered preview (in the event). Tag is the
// serial number of the thread that posted.
constexpr int PGM_FILTERPREVIEW = WM_USER;
constexpr std::intptr_t PGFilterSourceReady = 1;
constexpr std::intptr_t PGFilterResultReady = 2;

// Scales the caller's image down into the preview's source copy, once per run.
class TCreateSrcPGThread : public TPGThread {
 public:
  // The thread reads orig and fills srcPG; both must outlive it.
  TCreateSrcPGThread(bool doNothing, std::shared_ptr<TPGMessagePort> port, TPixelGraphic& orig,
                     TPixelGraphic& srcPG);
  ~TCreateSrcPGThread() override;

 protected:
  void Execute() override;

 private:
  const bool FDoNothing;
  const std::shared_ptr<TPGMessagePort> FPort;
  TPixelGraphic& OrigPixelGraphic;
  TPixelGraphic& FSrcPG;
};

// One filtering pass over the source copy with a filter of its own. A pass
// told to stop ends early and throws its result away.
class TCreateDestPGThread : public TPGThread {
 public:
  // With doNothing the pass does nothing (the form's idle thread).
  TCreateDestPGThread(bool doNothing, std::shared_ptr<TPGMessagePort> port, std::uint64_t serial,
                      TPixelGraphic* srcPG, std::unique_ptr<TPGFilter> filter);
  ~TCreateDestPGThread() override;
  std::uint64_t Serial() const { return FSerial; }

 protected:
  void Execute() override;

 private:
  const bool FDoNothing;
  const std::shared_ptr<TPGMessagePort> FPort;
  const std::uint64_t FSerial;
  TPixelGraphic* const FSrcPG;
  std::unique_ptr<TPGFilter> FFilter;
};

// A horizontal slider with tick marks below that also marks one value (the
// neutral setting) with a small triangle in the row of the ticks.
class TPGTrackBar : public QSlider {
  Q_OBJECT
 public:
  explicit TPGTrackBar(QWidget* parent);
  int NeutralMark() const { return FNeutralMark; }
  void SetNeutralMark(int value);

 protected:
  void paintEvent(QPaintEvent* e) override;

 private:
  int FNeutralMark = 0;
};

// The controls of one channel; all null for a channel that is not present.
struct TFilterChannelControls {
  TPGTrackBar* Slider = nullptr;
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
  bool event(QEvent* e) override;
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
  void HandleMessage(TPGMessageEvent& message);

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
  std::unique_ptr<TCreateSrcPGThread> FSrcThread;
  std::unique_ptr<TCreateDestPGThread> FDestThread;
  std::uint64_t FPassSerial = 0;
  // Last: detached first on destruction, so no thread posts to a dying form.
  TPGMessageTarget FMessages{this};
};
