#include "app/ui/slicespanel.h"

#include <QHeaderView>
#include <QSignalBlocker>
#include <QTableWidget>

#include <algorithm>

#include "app/export/pagelayout.h"
#include "app/ui/document.h"

namespace {

// The tags file holds one slice per line, its fields between tabs.
QString OnOneLine(QString text) {
  for (QChar& c : text)
    if (c == QLatin1Char('\t') || c == QLatin1Char('\r') || c == QLatin1Char('\n')) c = QLatin1Char(' ');
  return text;
}

QTableWidgetItem* FixedItem(const QString& text) {
  auto* item = new QTableWidgetItem(text);
  item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
  return item;
}

}  // namespace

TSlicesPanel::TSlicesPanel(TCutDocument& document, QWidget* parent)
    : QDockWidget(QStringLiteral("Slices"), parent), Table(new QTableWidget(0, colCount)),
      FDocument(document) {
  setObjectName(QStringLiteral("SlicesPanel"));
  Table->setObjectName(QStringLiteral("SlicesTable"));
  Table->setHorizontalHeaderLabels({QStringLiteral("Slice"), QStringLiteral("Size"),
                                    QStringLiteral("Link"), QStringLiteral("Target"),
                                    QStringLiteral("ALT Text")});
  Table->verticalHeader()->hide();
  Table->horizontalHeader()->setStretchLastSection(true);
  Table->horizontalHeader()->setSectionResizeMode(colSlice, QHeaderView::ResizeToContents);
  Table->horizontalHeader()->setSectionResizeMode(colSize, QHeaderView::ResizeToContents);
  Table->setSelectionBehavior(QAbstractItemView::SelectRows);
  Table->setSelectionMode(QAbstractItemView::SingleSelection);
  Table->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                         QAbstractItemView::AnyKeyPressed);
  setWidget(Table);
  connect(Table, &QTableWidget::itemChanged, this, &TSlicesPanel::Edited);
  connect(Table, &QTableWidget::itemSelectionChanged, this, &TSlicesPanel::PickChanged);
  Refresh();
}

// The table goes after this panel's members; its last signals find no one.
TSlicesPanel::~TSlicesPanel() { Table->disconnect(this); }

void TSlicesPanel::showEvent(QShowEvent* event) {
  QDockWidget::showEvent(event);
  if (FStale) Refresh();
}

void TSlicesPanel::Refresh() {
  FStale = !isVisible();
  if (FStale) return;
  const TGridData& data = FDocument.Data();
  // Merged cells once, by their top-left cell, at their whole size.
  std::vector<TGridCell> cells;
  std::vector<bool> skips;
  for (const TPageCell& page : PageLayoutOf(data.Grid, data.Cells).Cells) {
    cells.push_back(page.Cell);
    skips.push_back(page.Skip);
  }
  const bool sameCells = cells.size() == FCells.size() &&
                         std::equal(cells.begin(), cells.end(), FCells.begin(), [](const TGridCell& a, const TGridCell& b) {
                           return a.Column == b.Column && a.Row == b.Row && a.Left == b.Left &&
                                  a.Top == b.Top && a.Width == b.Width && a.Height == b.Height;
                         });
  const QSignalBlocker quiet(Table);
  // Columns sized to their contents re-measure every row on each change; a grid of
  // thousands of cells would fill in quadratic time. Measure once, after the fill.
  QHeaderView* header = Table->horizontalHeader();
  header->setSectionResizeMode(colSlice, QHeaderView::Interactive);
  header->setSectionResizeMode(colSize, QHeaderView::Interactive);
  if (!sameCells) {
    FCells = std::move(cells);
    Table->clearContents();
    Table->setRowCount(int(FCells.size()));
  }
  for (std::size_t i = 0; i < FCells.size(); ++i) {
    const TGridCell& cell = FCells[i];
    const auto found = data.Tags.find({cell.Column, cell.Row});
    const TCellTags texts = found != data.Tags.end() ? found->second : TCellTags{};
    // What the export does to the cell beyond cutting it: no image, or a format of its own.
    QString extra = skips[i] ? QStringLiteral(", no image") : QString();
    const auto own = data.Cells.Formats.find({cell.Column, cell.Row});
    if (!skips[i] && own != data.Cells.Formats.end()) {
      extra = QStringLiteral(", ") + QString::fromStdString(own->second.Format);
      if (own->second.Quality != TCellFormat::NoQuality) extra += QStringLiteral(" q%1").arg(own->second.Quality);
    }
    const QString values[colCount] = {
        QStringLiteral("%1, %2").arg(cell.Column).arg(cell.Row),
        QStringLiteral("%1 x %2%3").arg(cell.Width).arg(cell.Height).arg(extra),
        QString::fromStdString(texts.Link), QString::fromStdString(texts.Target),
        QString::fromStdString(texts.Alt)};
    for (int c = 0; c < colCount; ++c) {
      QTableWidgetItem* item = Table->item(int(i), c);
      if (!item) {
        Table->setItem(int(i), c, c <= colSize ? FixedItem(values[c]) : new QTableWidgetItem(values[c]));
      } else if (item->text() != values[c]) {
        item->setText(values[c]);
      }
    }
  }
  header->setSectionResizeMode(colSlice, QHeaderView::ResizeToContents);
  header->setSectionResizeMode(colSize, QHeaderView::ResizeToContents);
  if (!sameCells) PickChanged();
}

void TSlicesPanel::Edited(QTableWidgetItem* item) {
  const int row = item->row();
  if (row < 0 || row >= int(FCells.size()) || item->column() < colLink) return;
  const TGridCell& cell = FCells[std::size_t(row)];
  const std::pair<int, int> key{cell.Column, cell.Row};
  TGridData after = FDocument.Data();
  TCellTags texts = after.Tags.count(key) ? after.Tags.at(key) : TCellTags{};
  std::string& field = item->column() == colLink     ? texts.Link
                       : item->column() == colTarget ? texts.Target
                                                     : texts.Alt;
  field = OnOneLine(item->text()).toStdString();
  if (texts.Empty())
    after.Tags.erase(key);
  else
    after.Tags[key] = texts;
  const QString what = item->column() == colLink     ? QStringLiteral("Link")
                       : item->column() == colTarget ? QStringLiteral("Target")
                                                     : QStringLiteral("ALT Text");
  FDocument.Apply(QStringLiteral("Edit %1 of Slice %2, %3").arg(what).arg(cell.Column).arg(cell.Row), after);
  // A tab or line break the field could not keep shows as it is saved.
  Refresh();
}

void TSlicesPanel::PickChanged() {
  const QList<QTableWidgetItem*> picked = Table->selectedItems();
  const int row = picked.isEmpty() ? -1 : picked.front()->row();
  emit CellPicked(row >= 0 && row < int(FCells.size()) ? std::optional(FCells[std::size_t(row)]) : std::nullopt);
}
