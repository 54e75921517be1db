#include "app/ui/slicespanel.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QIcon>
#include <QMainWindow>
#include <QImage>
#include <QPixmap>
#include <QSignalBlocker>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>

#include "app/common/outputformats.h"
#include "app/export/pagelayout.h"
#include "app/ui/document.h"
#include "app/ui/lossyformat.h"
#include "pgraphic/core/pixelgraphic.h"

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

// The format column is chosen from a list: the export's, then each format.
class TFormatDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem&, const QModelIndex&) const override {
    auto* list = new QComboBox(parent);
    list->setObjectName(QStringLiteral("FormatList"));
    list->addItem(QLatin1String(TSlicesPanel::ExportsFormat));
    for (const TOutputFormat& format : OutputFormats()) list->addItem(QString::fromStdString(format.Name));
    return list;
  }
  void setEditorData(QWidget* editor, const QModelIndex& index) const override {
    auto* list = static_cast<QComboBox*>(editor);
    list->setCurrentIndex(std::max(0, list->findText(index.data().toString())));
  }
  void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override {
    model->setData(index, static_cast<QComboBox*>(editor)->currentText());
  }
};

const TOutputFormat* LossyFormatNamed(const std::string& name) {
  const TOutputFormat* format = FindOutputFormat(name);
  return format ? QualityFormatOf(*format) : nullptr;
}

}  // namespace

QImage CellPicture(TPixelGraphic& image, const TGridCell& cell, int height) {
  if (cell.Width <= 0 || cell.Height <= 0 || height <= 0) return QImage();
  // The cell's shape, within height x 2 height.
  const double scale = std::min(double(height) / cell.Height, 2.0 * height / cell.Width);
  const int w = std::max(1, int(cell.Width * scale)), h = std::max(1, int(cell.Height * scale));
  QImage picture(w, h, QImage::Format_RGB32);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const TRGB c = image.GetPixelColor(cell.Left + int(std::int64_t(x) * cell.Width / w),
                                         cell.Top + int(std::int64_t(y) * cell.Height / h));
      picture.setPixel(x, y, qRgb(GetRValue(c), GetGValue(c), GetBValue(c)));
    }
  return picture;
}

TSlicesPanel::TSlicesPanel(TCutDocument& document, QWidget* parent)
    : QDockWidget(QStringLiteral("Slices"), parent), Table(new QTableWidget(0, colCount)),
      HideEmpty(new QCheckBox(QStringLiteral("&Hide cells without image"))), FDocument(document) {
  setObjectName(QStringLiteral("SlicesPanel"));
  Table->setObjectName(QStringLiteral("SlicesTable"));
  HideEmpty->setObjectName(QStringLiteral("HideEmptyCells"));
  Table->setHorizontalHeaderLabels({QStringLiteral("Slice"), QStringLiteral("Size"), QStringLiteral("Name"),
                                    QStringLiteral("Format"),
                                    QStringLiteral("Quality"), QStringLiteral("Link"), QStringLiteral("Target"),
                                    QStringLiteral("ALT Text")});
  Table->setItemDelegateForColumn(colFormat, new TFormatDelegate(Table));
  Table->setIconSize(QSize(PictureHeight * 2, PictureHeight));
  Table->verticalHeader()->hide();
  Table->horizontalHeader()->setStretchLastSection(true);
  Table->horizontalHeader()->setSectionResizeMode(colSlice, QHeaderView::ResizeToContents);
  Table->horizontalHeader()->setSectionResizeMode(colSize, QHeaderView::ResizeToContents);
  Table->setSelectionBehavior(QAbstractItemView::SelectRows);
  Table->setSelectionMode(QAbstractItemView::SingleSelection);
  Table->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                         QAbstractItemView::AnyKeyPressed);
  auto* body = new QWidget;
  auto* layout = new QVBoxLayout(body);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(HideEmpty);
  layout->addWidget(Table, 1);
  setWidget(body);
  connect(HideEmpty, &QCheckBox::toggled, this, &TSlicesPanel::ShowRows);
  connect(Table, &QTableWidget::itemChanged, this, &TSlicesPanel::Edited);
  connect(Table, &QTableWidget::itemSelectionChanged, this, &TSlicesPanel::PickChanged);
  Refresh();
}

// The table goes after this panel's members; its last signals find no one.
TSlicesPanel::~TSlicesPanel() { Table->disconnect(this); }

void TSlicesPanel::showEvent(QShowEvent* event) {
  QDockWidget::showEvent(event);
  FEverShown = true;
  if (FStale) Refresh();
}

void TSlicesPanel::ImageChanged() {
  FPicturesStale = true;
  Refresh();
}

std::vector<int> TSlicesPanel::Widths() const {
  // Never shown, it has no widths of the user's.
  if (!FEverShown) return {};
  std::vector<int> widths{width()};
  for (int c = 0; c < colCount; ++c) widths.push_back(Table->columnWidth(c));
  return widths;
}

void TSlicesPanel::SetWidths(const std::vector<int>& widths) {
  if (widths.size() != std::size_t(colCount) + 1) return;
  // Kept widths are the user's: no longer fitted to the contents.
  FSized = true;
  for (int c : {colSlice, colSize}) Table->horizontalHeader()->setSectionResizeMode(c, QHeaderView::Interactive);
  for (int c = 0; c < colCount; ++c) Table->setColumnWidth(c, widths[std::size_t(c) + 1]);
  // The dock takes its width once the window has laid itself out.
  QMetaObject::invokeMethod(
      this,
      [this, width = widths[0]] {
        if (auto* window = qobject_cast<QMainWindow*>(parentWidget()))
          window->resizeDocks({this}, {width}, Qt::Horizontal);
      },
      Qt::QueuedConnection);
}

void TSlicesPanel::ShowRows() {
  for (std::size_t i = 0; i < FCells.size(); ++i) Table->setRowHidden(int(i), HideEmpty->isChecked() && FSkips[i]);
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
  const bool pictures = !sameCells || FPicturesStale;
  FPicturesStale = false;
  if (!sameCells) {
    FCells = std::move(cells);
    Table->clearContents();
    Table->setRowCount(int(FCells.size()));
  }
  FSkips = std::move(skips);
  for (std::size_t i = 0; i < FCells.size(); ++i) {
    const TGridCell& cell = FCells[i];
    const auto found = data.Tags.find({cell.Column, cell.Row});
    const TCellTags texts = found != data.Tags.end() ? found->second : TCellTags{};
    const auto own = data.Cells.Formats.find({cell.Column, cell.Row});
    const TCellFormat format = own != data.Cells.Formats.end() ? own->second : TCellFormat{};
    const bool lossy = LossyFormatNamed(format.Format) != nullptr;
    const auto name = data.Cells.Names.find({cell.Column, cell.Row});
    const QString values[colCount] = {
        QStringLiteral("%1, %2").arg(cell.Column).arg(cell.Row),
        QStringLiteral("%1 x %2%3").arg(cell.Width).arg(cell.Height).arg(FSkips[i] ? QStringLiteral(", no image")
                                                                                    : QString()),
        name != data.Cells.Names.end() ? QString::fromStdString(name->second) : QString(),
        FSkips[i] ? QString() : format.Format.empty() ? QLatin1String(ExportsFormat) : QString::fromStdString(format.Format),
        lossy && format.Quality != TCellFormat::NoQuality ? QString::number(format.Quality) : QString(),
        QString::fromStdString(texts.Link), QString::fromStdString(texts.Target),
        QString::fromStdString(texts.Alt)};
    for (int c = 0; c < colCount; ++c) {
      QTableWidgetItem* item = Table->item(int(i), c);
      if (!item) {
        Table->setItem(int(i), c, item = c <= colSize ? FixedItem(values[c]) : new QTableWidgetItem(values[c]));
      } else if (item->text() != values[c]) {
        item->setText(values[c]);
      }
    }
    // A cell without an image has no format; a quality means something to lossy formats alone.
    // Flags set only where they change: each change tells the table's model.
    const Qt::ItemFlags editable = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable;
    const auto flag = [&](int c, bool canEdit) {
      QTableWidgetItem* const item = Table->item(int(i), c);
      const Qt::ItemFlags wanted = canEdit ? editable : editable & ~Qt::ItemIsEditable;
      if (item->flags() != wanted) item->setFlags(wanted);
    };
    for (const int c : {colName, colFormat}) flag(c, !FSkips[i]);
    flag(colQuality, lossy && !FSkips[i]);
    if (pictures) {
      const bool drawn = Picture && FCells.size() <= std::size_t(MaxPictures);
      const QImage picture = drawn ? Picture(cell, PictureHeight) : QImage();
      Table->item(int(i), colSlice)->setIcon(picture.isNull() ? QIcon() : QIcon(QPixmap::fromImage(picture)));
    }
  }
  ShowRows();
  // Fitted to the contents until the user's own widths were kept.
  if (!FSized) {
    header->setSectionResizeMode(colSlice, QHeaderView::ResizeToContents);
    header->setSectionResizeMode(colSize, QHeaderView::ResizeToContents);
  }
  if (!sameCells) PickChanged();
}

void TSlicesPanel::Edited(QTableWidgetItem* item) {
  const int row = item->row();
  if (row < 0 || row >= int(FCells.size()) || item->column() < colName) return;
  const TGridCell& cell = FCells[std::size_t(row)];
  const std::pair<int, int> key{cell.Column, cell.Row};
  TGridData after = FDocument.Data();
  if (item->column() == colName) {
    const std::string name = item->text().trimmed().toStdString();
    if (name.empty()) {
      after.Cells.Names.erase(key);
    } else {
      after.Cells.Names[key] = name;
      std::string problem = SliceNameProblem(name);
      if (problem.empty() && SameSliceNames(after.Cells.Names))
        problem = "the slice name \"" + name + "\" is another slice's already";
      if (!problem.empty()) {
        Refresh();
        emit EditRefused(QString::fromStdString(problem));
        return;
      }
    }
    Commit(QStringLiteral("Name of Slice %1, %2").arg(cell.Column).arg(cell.Row), after);
    return;
  }
  if (item->column() == colFormat || item->column() == colQuality) {
    TCellFormat own = after.Cells.Formats.count(key) ? after.Cells.Formats.at(key) : TCellFormat{};
    if (item->column() == colFormat) {
      const TOutputFormat* format = FindOutputFormat(item->text().toStdString());
      own.Format = format ? format->Name : std::string();
      // A quality carries over between lossy formats only.
      if (!LossyFormatNamed(own.Format)) own.Quality = TCellFormat::NoQuality;
    } else {
      bool number = false;
      const int quality = item->text().trimmed().toInt(&number);
      // Empty: the export's quality; anything else outside 1..100 is not taken.
      if (number && quality >= 1 && quality <= 100)
        own.Quality = quality;
      else if (item->text().trimmed().isEmpty())
        own.Quality = TCellFormat::NoQuality;
    }
    if (own.Format.empty())
      after.Cells.Formats.erase(key);
    else
      after.Cells.Formats[key] = own;
    Commit(QStringLiteral("Format of Slice %1, %2").arg(cell.Column).arg(cell.Row), after);
    return;
  }
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
  // A tab or line break the field could not keep shows as it is saved.
  Commit(QStringLiteral("Edit %1 of Slice %2, %3").arg(what).arg(cell.Column).arg(cell.Row), after);
}

// A change reaches the table through the document's Changed, which
// refreshes it; an edit that changes nothing puts the cell back as it was.
void TSlicesPanel::Commit(const QString& text, const TGridData& after) {
  if (after == FDocument.Data())
    Refresh();
  else
    FDocument.Apply(text, after);
}

void TSlicesPanel::PickChanged() {
  const QList<QTableWidgetItem*> picked = Table->selectedItems();
  const int row = picked.isEmpty() ? -1 : picked.front()->row();
  emit CellPicked(row >= 0 && row < int(FCells.size()) ? std::optional(FCells[std::size_t(row)]) : std::nullopt);
}
