#pragma once
// The preview side of the image open dialog: the panel beside the file list
// that shows a small picture of the selected file (decoded by
// TCreateOpenSaveDialogPaintPGThread of paintthread.h) and a few facts about
// it.

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
#include "pgraphic_qt/view/paintthread.h"

class TPGOpenDialog;

// Where a width x height preview is drawn inside the box's client rectangle
// (2 pixels of border on each side): shrunk to fit if needed, centred.
QRect PGOpenPreviewRect(int width, int height, const QRect& client);

// A box whose paint is its OnDraw handler.
class TPGPaintedBox : public QWidget {
  Q_OBJECT
 public:
  explicit TPGPaintedBox(QWidget* parent);
  std::function<void(QPainter&)> OnDraw;

 protected:
  void paintEvent(QPaintEvent* e) override;
};

// The panel on the right of the file list: the preview box and the facts box,
// laid out in dialog units of the dialog's font. It waits for the selection
// to rest for 150 ms, reads the facts and starts the decoding thread; the
// thread is dropped (stopped, waited for, its picture thrown away) when the
// selection changes and when the panel goes.
class TPGOpenPreviewPanel : public QWidget {
  Q_OBJECT
 public:
  // owner holds the settings; currentPath tells which file the dialog shows.
  TPGOpenPreviewPanel(const TPGOpenDialog& owner, std::function<QString()> currentPath,
                      QWidget* parent);
  ~TPGOpenPreviewPanel() override;

  // The dialog's selection changed.
  void SelectionChanged();

  TPGPaintedBox* PreviewBox() const { return FPreviewBox; }
  TPGPaintedBox* FactsBox() const { return FFactsBox; }
  const QTimer& RestTimer() const { return FTimer; }
  bool FactsValid() const { return FFactsValid; }
  // The lines the facts box shows (none while the facts are not valid).
  QStringList FactsLines() const;
  TPixelGraphic* Preview() const { return FPreview.get(); }
  // Dialog units of the dialog's font, in pixels.
  QRect DialogUnitsToPixels(const QRect& units) const;

 signals:
  // A file's facts were read and its decoding thread started.
  void DecodingStarted(const QString& path);
  // A decoded preview arrived and is shown.
  void PreviewShown();

 private:
  void StartPreview();
  void PreviewReady(std::unique_ptr<TPixelGraphic> preview);
  void PreviewProgress(int stage, int percent);
  void DrawPreviewBox(QPainter& painter);
  void DrawFactsBox(QPainter& painter);
  QRect PreviewInterior() const;

  const TPGOpenDialog& FOwner;
  const std::function<QString()> FCurrentPath;
  int FCharWidth = 1;
  int FCharHeight = 1;
  TPGPaintedBox* FPreviewBox = nullptr;
  TPGPaintedBox* FFactsBox = nullptr;
  std::unique_ptr<TPixelGraphic> FPreview;
  QTimer FTimer;
  bool FFactsValid = false;
  TFileInfo FInfo;
  std::string FDescription;
  // The progress clock: shown from the first progress report until the
  // preview arrives or the selection changes.
  bool FClockShown = false;
  int FClockStep = 1;
  int FClockPercent = 0;
  // Last: destroyed first, so the thread ends before anything it uses goes.
  TPGJobSlot<TCreateOpenSaveDialogPaintPGThread> FDecoding;
};
