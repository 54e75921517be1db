#pragma once
// The Slices panel: a dockable list of every cell of the page in export
// order (a merged cell once), with its size, whether it has an image, and
// the link, target frame and ALT text of its slice, the texts editable in
// place. Each edit is one step of the document;
// the texts are saved beside the grid file and written into the page.

#include <QDockWidget>

#include <optional>
#include <vector>

#include "app/cut/splitgrid.h"

class QTableWidget;
class QTableWidgetItem;
class TCutDocument;

class TSlicesPanel : public QDockWidget {
  Q_OBJECT

 public:
  enum TColumn { colSlice, colSize, colLink, colTarget, colAlt, colCount };

  TSlicesPanel(TCutDocument& document, QWidget* parent = nullptr);
  ~TSlicesPanel() override;

  QTableWidget* Table;

  // Brings the rows in line with the grid and the texts; while the panel
  // is hidden, only when it shows again (a grid of many lines has
  // thousands of rows, and every change would rebuild them unseen).
  void Refresh();

 signals:
  // The cell picked in the list (none when the pick is gone).
  void CellPicked(std::optional<TGridCell> cell);

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void Edited(QTableWidgetItem* item);
  void PickChanged();

  TCutDocument& FDocument;
  std::vector<TGridCell> FCells;
  bool FStale = false;
};
