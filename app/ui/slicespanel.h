#pragma once
// The Slices panel: a dockable list of every cell of the page in export
// order (a merged cell once), with a small picture of it, its size,
// whether it has an image, its name, its own format and quality, and the
// link, target frame and ALT text of its slice; name, format, quality and texts are
// editable in place, each edit one step of the document, so the next
// export writes them. The texts are saved beside the grid file and written
// into the page. Cells without an image can be left out of the list.

#include <QDockWidget>
#include <QString>

#include <functional>
#include <optional>
#include <vector>

#include "app/cut/griddata.h"
#include "app/cut/splitgrid.h"

class QCheckBox;
class QImage;
class QTableWidget;
class QTableWidgetItem;
class TCutDocument;

class TPixelGraphic;

// A picture of the rectangle `cell` of `image`, `height` pixels high (at
// most twice as wide; a taller or wider cell is shrunk to fit), each pixel
// the image's nearest one.
QImage CellPicture(TPixelGraphic& image, const TGridCell& cell, int height);

class TSlicesPanel : public QDockWidget {
  Q_OBJECT

 public:
  enum TColumn { colSlice, colSize, colName, colFormat, colQuality, colLink, colTarget, colAlt, colCount };
  // The first choice of the format column: no format of the cell's own.
  static constexpr const char* ExportsFormat = "as the export";
  // Pictures are drawn for pages of up to this many cells (more would slow
  // every change of the lines for little use).
  static constexpr int MaxPictures = 400;
  static constexpr int PictureHeight = 24;

  TSlicesPanel(TCutDocument& document, QWidget* parent = nullptr);
  ~TSlicesPanel() override;

  QTableWidget* Table;
  QCheckBox* HideEmpty;  // "Hide cells without image"
  // The picture of an image rectangle at most PictureHeight high; none
  // while it is unset or there is no image.
  std::function<QImage(const TGridCell& cell, int height)> Picture;

  // Brings the rows in line with the grid and the texts; while the panel
  // is hidden, only when it shows again (a grid of many lines has
  // thousands of rows, and every change would rebuild them unseen).
  void Refresh();
  // The image itself changed: the pictures are drawn again.
  void ImageChanged();

  // The panel's width, then each column's, as kept between runs; widths
  // that do not fit are left as they are.
  std::vector<int> Widths() const;
  void SetWidths(const std::vector<int>& widths);

 signals:
  // The cell picked in the list (none when the pick is gone).
  void CellPicked(std::optional<TGridCell> cell);
  // An edit that was not taken, and why (a name not allowed or taken).
  void EditRefused(const QString& why);

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void Edited(QTableWidgetItem* item);
  void Commit(const QString& text, const TGridData& after);
  void PickChanged();
  void ShowRows();

  TCutDocument& FDocument;
  std::vector<TGridCell> FCells;
  std::vector<bool> FSkips;
  bool FStale = false;
  bool FPicturesStale = true;
  bool FSized = false;
  bool FEverShown = false;
};
