#pragma once
// The preview side of the image open dialog: the thread that decodes the
// selected file into a small picture, the rules for its size, and the panel
// beside the file list that shows the picture and a few facts about the file.

#include <QRect>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "pgraphic/core/pixelgraphic.h"
#include "pgraphic/formats/registry.h"
#include "platform/messages.h"
#include "platform/workerthread.h"

class TPGOpenDialog;

// Messages to the panel: WM_USER hands over a finished preview (it travels in
// the event), WM_USER + 1 reports progress (WParam stage * 16, LParam the
// percent), WM_USER + 3 starts the preview once the selection has rested.
// Tag is the serial number of the thread that posted.
constexpr int PGM_OPENPREVIEWREADY = WM_USER;
constexpr int PGM_OPENPREVIEWPROGRESS = WM_USER + 1;
constexpr int PGM_OPENPREVIEWSTART = WM_USER + 3;

// Size of the reduced preview of a width x height image that must fit into
// maxWidth x maxHeight; an image that fits keeps its size.
QSize PGOpenPreviewSize(int width, int height, int maxWidth, int maxHeight);
// Where a width x height preview is drawn inside the box's client rectangle
// (2 pixels of border on each side): shrunk to fit if needed, centred.
QRect PGOpenPreviewRect(int width, int height, const QRect& client);

// Decodes one file in preview quality on its own thread, reduces it to the
// preview area (and to the screen's colours on palette screens) and posts it.
class TCreateOpenSaveDialogPaintPGThread : public TPGThread {
 public:
  struct TJob {
    std::string FileName;
    int MaxWidth = 0;
    int MaxHeight = 0;
    TStretchMode StretchMode = smPrecise;
    TPaletteIdent Palette8BitSys24BitGraphic = pOptimized252Sys16;
    TPaletteIdent Palette8BitSys8BitGraphic = pOptimized252Sys16;
    int ScreenDepth = 24;
  };
  // With doNothing the thread ends at once (the panel's idle thread).
  TCreateOpenSaveDialogPaintPGThread(bool doNothing, std::shared_ptr<TPGMessagePort> port,
                                     std::uint64_t serial, TJob job);
  ~TCreateOpenSaveDialogPaintPGThread() override;

  // The progress handler of the images the thread fills.
  void Progress(void* Sender, int Step, int Max, bool& Abort);
  std::uint64_t Serial() const { return FSerial; }

 protected:
  void Execute() override;

 private:
  using TSetup = std::function<void(TPixelGraphic&)>;
  std::unique_ptr<TPixelGraphic> NextStage(std::unique_ptr<TPixelGraphic> current,
                                           const TSetup& setup);
  std::unique_ptr<TPixelGraphic> Decode();
  const bool FDoNothing;
  const std::shared_ptr<TPGMessagePort> FPort;
  const std::uint64_t FSerial;
  const TJob FJob;
  int FStep = 1;
  int FLastPercent = 0;
  int FLastPercent16 = 0;
  std::int64_t FLastTick = 0;
};

// A box that leaves all its drawing to its owner.
class TPGOwnerDrawBox : public QWidget {
  Q_OBJECT
 public:
  explicit TPGOwnerDrawBox(QWidget* parent);
  std::function<void(QPainter&)> OnDraw;

 protected:
  void paintEvent(QPaintEvent* e) override;
};

// The panel on the right of the file list: the preview box and the facts box,
// laid out in dialog units of the dialog's font. It waits for the selection
// to rest for 150 ms, reads the facts and starts the decoding thread; the
// thread is stopped and waited for before anything it reads changes and when
// the panel goes.
class TPGOpenPreviewPanel : public QWidget {
  Q_OBJECT
 public:
  // owner holds the settings; currentPath tells which file the dialog shows.
  TPGOpenPreviewPanel(const TPGOpenDialog& owner, std::function<QString()> currentPath,
                      QWidget* parent);
  ~TPGOpenPreviewPanel() override;

  // The dialog's selection changed.
  void SelectionChanged();

  TPGOwnerDrawBox* PreviewBox() const { return FPreviewBox; }
  TPGOwnerDrawBox* FactsBox() const { return FFactsBox; }
  const QTimer& RestTimer() const { return FTimer; }
  bool FactsValid() const { return FFactsValid; }
  // The lines the facts box shows (none while the facts are not valid).
  QStringList FactsLines() const;
  TPixelGraphic* Preview() const { return FPreview.get(); }
  // Dialog units of the dialog's font, in pixels.
  QRect MapDialogRect(const QRect& units) const;

 signals:
  // A file's facts were read and its decoding thread started.
  void DecodingStarted(const QString& path);
  // A decoded preview arrived and is shown.
  void PreviewShown();

 protected:
  bool event(QEvent* e) override;

 private:
  void StartPreview();
  void StopThread();
  void HandleMessage(TPGMessageEvent& message);
  void DrawPreviewBox(QPainter& painter);
  void DrawFactsBox(QPainter& painter);
  QRect PreviewInterior() const;

  const TPGOpenDialog& FOwner;
  const std::function<QString()> FCurrentPath;
  int FBaseX = 1;
  int FBaseY = 1;
  TPGOwnerDrawBox* FPreviewBox = nullptr;
  TPGOwnerDrawBox* FFactsBox = nullptr;
  std::unique_ptr<TPixelGraphic> FPreview;
  std::unique_ptr<TCreateOpenSaveDialogPaintPGThread> FThread;
  std::uint64_t FThreadSerial = 0;
  QTimer FTimer;
  bool FFactsValid = false;
  TFileInfo FInfo;
  std::string FDescription;
  // The progress clock: shown from the first progress report until the
  // preview arrives or the selection changes.
  bool FClockShown = false;
  int FClockStep = 1;
  int FClockPercent = 0;
  // Last: detached first on destruction, so no thread posts to a dying panel.
  TPGMessageTarget FMessages{this};
};
