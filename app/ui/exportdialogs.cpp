#include "app/ui/exportdialogs.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRegularExpressionValidator>
#include <QPushButton>
#include <QSpinBox>
#include <QHeaderView>
#include <QShowEvent>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <tuple>

#include "app/export/csscolor.h"
#include "app/export/htmltable.h"
#include "app/ui/errorreport.h"
#include "app/ui/lossyformat.h"
#include "app/ui/qsettingsstore.h"
#include "app/ui/selectionpaste.h"
#include "pgraphic_qt/view/pgimage.h"
#include "platform/display.h"

namespace {

// What each style is for, as the dialog offers them.
const char* PageStyleCaption(TPageStyle style) {
  switch (style) {
    case TPageStyle::Html5: return "html5: pages with <!DOCTYPE html>";
    case TPageStyle::Email: return "email: HTML mail";
    case TPageStyle::Fluid: return "fluid: scales down with the page";
    case TPageStyle::Classic: break;
  }
  return "classic: pages without a doctype";
}

QPushButton* MakeOKButton(QDialog& dialog) {
  auto* button = new QPushButton(QStringLiteral("OK"));
  button->setObjectName(QStringLiteral("OKButton"));
  button->setDefault(true);
  QObject::connect(button, &QPushButton::clicked, &dialog, &QDialog::accept);
  return button;
}

QPushButton* MakeCancelButton(QDialog& dialog) {
  auto* button = new QPushButton(QStringLiteral("Cancel"));
  button->setObjectName(QStringLiteral("CancelButton"));
  QObject::connect(button, &QPushButton::clicked, &dialog, &QDialog::reject);
  return button;
}

// OK and Cancel side by side, centred under the dialog's fields.
QHBoxLayout* OkCancelRow(QPushButton* ok, QPushButton* cancel) {
  auto* row = new QHBoxLayout;
  row->addStretch(1);
  row->addWidget(ok);
  row->addWidget(cancel);
  row->addStretch(1);
  return row;
}

// A dialog is centred when it first shows; after that it opens where the
// user left it, which matters for the per-slice dialog shown once per slice.
void CentreOnFirstShow(QDialog& dialog, QShowEvent* event, bool& placed) {
  if (placed || event->spontaneous()) return;
  placed = true;
  PGPlaceOnScreen(dialog, 2);
}

}  // namespace

// ---------------------------------------------------------------- Texportdialog

Texportdialog::Texportdialog(QWidget* parent)
    : QDialog(parent),
      incalttags(new QCheckBox(QStringLiteral("Include ALT-Tags and/or Links"))),
      editcode(new QCheckBox(QStringLiteral("Edit HTML Code before Export"))),
      alwaysgrid(new QCheckBox(QStringLiteral("Save grid on export"))),
      doublequote(new QCheckBox(QStringLiteral("Double quoted tags (\" instead of ')"))),
      uppercase(new QCheckBox(QStringLiteral("Upper case tags (<TAG> instead of <tag>)"))),
      showoptions(new QCheckBox(QStringLiteral("Show this Dialog on export"))),
      style(new QComboBox),
      baseurl(new QLineEdit),
      pagecolor(new QLineEdit),
      slicenames(new QLineEdit),
      retina(new QCheckBox(QStringLiteral("Retina slices (design at twice the page size: @2x files)"))),
      page(new QCheckBox(QStringLiteral("Write a whole page"))),
      title(new QLineEdit),
      background(new QLineEdit),
      preheader(new QLineEdit),
      emailfixedwidth(new QCheckBox(QStringLiteral("Mail table of fixed width (does not shrink on phones)"))),
      pagebudget(new QSpinBox),
      OKButton(MakeOKButton(*this)),
      CancelButton(MakeCancelButton(*this)) {
  setObjectName(QStringLiteral("exportdialog"));
  setWindowTitle(QStringLiteral("Export Options"));
  setModal(true);
  incalttags->setObjectName(QStringLiteral("incalttags"));
  editcode->setObjectName(QStringLiteral("editcode"));
  alwaysgrid->setObjectName(QStringLiteral("alwaysgrid"));
  doublequote->setObjectName(QStringLiteral("doublequote"));
  uppercase->setObjectName(QStringLiteral("uppercase"));
  showoptions->setObjectName(QStringLiteral("showoptions"));
  style->setObjectName(QStringLiteral("style"));
  baseurl->setObjectName(QStringLiteral("baseurl"));
  pagecolor->setObjectName(QStringLiteral("pagecolor"));
  pagecolor->setPlaceholderText(QStringLiteral("#ffffff: what transparency shows on JPEG, BMP and TIFF slices"));
  pagecolor->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("#[0-9A-Fa-f]{6}")), pagecolor));
  slicenames->setObjectName(QStringLiteral("slicenames"));
  retina->setObjectName(QStringLiteral("retina"));
  const std::pair<QWidget*, const char*> named[] = {{page, "page"},           {title, "title"},
                                                     {background, "background"}, {preheader, "preheader"},
                                                     {emailfixedwidth, "emailfixedwidth"}, {pagebudget, "pagebudget"}};
  for (const auto& [field, name] : named) field->setObjectName(QLatin1String(name));
  title->setPlaceholderText(QStringLiteral("the HTML file's name"));
  background->setPlaceholderText(QStringLiteral("#RRGGBB; none: the design's edge, else white"));
  preheader->setPlaceholderText(QStringLiteral("email: the line shown beside the subject"));
  pagebudget->setRange(0, 1 << 30);
  pagebudget->setSuffix(QStringLiteral(" KB"));
  pagebudget->setSingleStep(100);
  connect(page, &QCheckBox::toggled, this, &Texportdialog::UpdatePageFields);
  connect(style, &QComboBox::currentIndexChanged, this, &Texportdialog::UpdatePageFields);
  for (const TPageStyle pageStyle : PageStyles)
    style->addItem(QString::fromLatin1(PageStyleCaption(pageStyle)));
  baseurl->setPlaceholderText(QStringLiteral("none: slice names relative to the page"));
  // Two pages in one folder (mail.en.html, mail.de.html) need names of their own.
  slicenames->setPlaceholderText(QStringLiteral("the HTML file's name up to its first dot"));
  auto* layout = new QVBoxLayout(this);
  for (QCheckBox* box : {incalttags, editcode, alwaysgrid, doublequote, uppercase})
    layout->addWidget(box);
  auto* table = new QFormLayout;
  auto* whole = new QFormLayout;
  const std::tuple<QFormLayout*, const char*, const char*, QWidget*> rows[] = {
      {table, "styleLabel", "Page &style:", style},
      {table, "pagecolorLabel", "Page &colour:", pagecolor},
      {table, "baseurlLabel", "&Base URL:", baseurl},
      {table, "slicenamesLabel", "Slice &names:", slicenames},
      {table, "pagebudgetLabel", "Warn when slices weigh &over:", pagebudget},
      {whole, "titleLabel", "&Title:", title},
      {whole, "backgroundLabel", "Bac&kground:", background},
      {whole, "preheaderLabel", "Pre&header:", preheader}};
  for (const auto& [form, name, caption, field] : rows) {
    auto* label = new QLabel(QLatin1String(caption));
    label->setObjectName(QLatin1String(name));
    label->setBuddy(field);
    form->addRow(label, field);
  }
  layout->addLayout(table);
  layout->addWidget(emailfixedwidth);
  layout->addWidget(retina);
  layout->addWidget(page);
  layout->addLayout(whole);
  layout->addWidget(showoptions);
  layout->addSpacing(8);
  layout->addLayout(OkCancelRow(OKButton, CancelButton));
  SetOptions(TExportOptions{});
  setFixedSize(sizeHint());
}

TExportOptions Texportdialog::Options() const {
  TExportOptions options;
  options.IncAltTags = incalttags->isChecked();
  options.EditCode = editcode->isChecked();
  options.AlwaysGrid = alwaysgrid->isChecked();
  options.DoubleQuote = doublequote->isChecked();
  options.UpperCase = uppercase->isChecked();
  options.ShowOptions = showoptions->isChecked();
  const int index = style->currentIndex();
  options.Style = index >= 0 && index < int(std::size(PageStyles)) ? PageStyles[index] : TPageStyle::Classic;
  options.BaseUrl = baseurl->text().toStdString();
  options.Retina = retina->isChecked();
  TRGB color;
  if (CssColorOf(pagecolor->text().toStdString(), color)) options.PageColor = color;
  options.Page = page->isChecked();
  options.PageTitle = title->text().toStdString();
  options.PageBackground = background->text().trimmed().toStdString();
  options.Preheader = preheader->text().toStdString();
  options.EmailFixedWidth = emailfixedwidth->isChecked();
  // A budget the KB cannot say stays as set while they are left alone.
  options.PageBudget = std::uint64_t(pagebudget->value()) == FPageBudget / 1024 ? FPageBudget
                                                                                : std::uint64_t(pagebudget->value()) * 1024;
  return options;
}

void Texportdialog::SetOptions(const TExportOptions& options) {
  incalttags->setChecked(options.IncAltTags);
  editcode->setChecked(options.EditCode);
  alwaysgrid->setChecked(options.AlwaysGrid);
  doublequote->setChecked(options.DoubleQuote);
  uppercase->setChecked(options.UpperCase);
  showoptions->setChecked(options.ShowOptions);
  for (std::size_t i = 0; i < std::size(PageStyles); ++i)
    if (PageStyles[i] == options.Style) style->setCurrentIndex(int(i));
  baseurl->setText(QString::fromStdString(options.BaseUrl));
  retina->setChecked(options.Retina);
  pagecolor->setText(QString::fromStdString(CssColor(options.PageColor)));
  page->setChecked(options.Page);
  title->setText(QString::fromStdString(options.PageTitle));
  background->setText(QString::fromStdString(options.PageBackground));
  preheader->setText(QString::fromStdString(options.Preheader));
  emailfixedwidth->setChecked(options.EmailFixedWidth);
  FPageBudget = options.PageBudget;
  pagebudget->setValue(int(std::min<std::uint64_t>(options.PageBudget / 1024, std::uint64_t(pagebudget->maximum()))));
  UpdatePageFields();
}

void Texportdialog::UpdatePageFields() {
  const bool whole = page->isChecked();
  const bool mail = style->currentIndex() >= 0 && style->currentIndex() < int(std::size(PageStyles)) &&
                    PageStyles[style->currentIndex()] == TPageStyle::Email;
  title->setEnabled(whole);
  background->setEnabled(whole);
  preheader->setEnabled(whole && mail);
  emailfixedwidth->setEnabled(mail);
}

TExportOptions Texportdialog::KeptOptions() const {
  TExportOptions options = Options();
  if (!FLoaded) {
    TQSettingsStore store(ExportOptionsKeyPath);
    LoadExportOptions(store, options);
  }
  return options;
}

void Texportdialog::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  CentreOnFirstShow(*this, event, FPlaced);
  if (event->spontaneous()) return;
  FShown = true;
  RunReported([this] {
    TQSettingsStore store(ExportOptionsKeyPath);
    TExportOptions options = Options();
    LoadExportOptions(store, options);
    SetOptions(options);
    FOpened = options;
    FLoaded = true;
  });
}

void Texportdialog::hideEvent(QHideEvent* event) {
  QDialog::hideEvent(event);
  if (!FShown || event->spontaneous()) return;
  FShown = false;
  // Cancelled: what was changed in the fields is dropped, nothing is kept.
  if (result() != QDialog::Accepted) {
    SetOptions(FOpened);
    return;
  }
  RunReported([this] {
    TQSettingsStore store(ExportOptionsKeyPath);
    SaveExportOptions(store, Options());
    store.Flush();
  });
}

// ---------------------------------------------------------------- Taddtagsdialog

Taddtagsdialog::Taddtagsdialog(QWidget* parent)
    : QDialog(parent),
      aslice(new TPGImage),
      SliceCounter(new QLabel),
      edit_href_label(new QLabel(QStringLiteral("Link URL for this Image? (leave blank for none)"))),
      edit_href(new QLineEdit),
      edit_target_label(new QLabel(QStringLiteral("Target Frame?"))),
      edit_target(new QLineEdit),
      edit_alt_label(new QLabel(QStringLiteral("ALT Text for this Image? (leave blank for none)"))),
      edit_alt(new QLineEdit),
      Memo1_label(new QLabel(QStringLiteral("Resulting Code:"))),
      Memo1(new QPlainTextEdit),
      SliceFormat(new QComboBox),
      SliceQuality(new QSpinBox),
      OKButton(MakeOKButton(*this)),
      CancelButton(MakeCancelButton(*this)) {
  setObjectName(QStringLiteral("addtagsdialog"));
  setWindowTitle(QStringLiteral("HTML Export..."));
  SliceFormat->setObjectName(QStringLiteral("SliceFormat"));
  SliceFormat->addItem(QStringLiteral("The export's format"));
  for (const TOutputFormat& format : OutputFormats())
    SliceFormat->addItem(QString::fromStdString(format.MenuText), QString::fromStdString(format.Name));
  SliceQuality->setObjectName(QStringLiteral("SliceQuality"));
  SliceQuality->setRange(TCellFormat::NoQuality, 100);
  SliceQuality->setSpecialValueText(QStringLiteral("as the export"));
  SliceCounter->setObjectName(QStringLiteral("SliceCounter"));
  setModal(true);
  aslice->setObjectName(QStringLiteral("aslice"));
  aslice->SetStretch(sShrinkKAR);
  aslice->SetCenter(true);
  aslice->setFixedSize(200, 200);
  edit_href->setObjectName(QStringLiteral("edit_href"));
  edit_target->setObjectName(QStringLiteral("edit_target"));
  edit_alt->setObjectName(QStringLiteral("edit_alt"));
  Memo1->setObjectName(QStringLiteral("Memo1"));
  Memo1->setReadOnly(true);
  Memo1->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  PasteSelectionAsText(*Memo1);
  edit_href_label->setObjectName(QStringLiteral("edit_href_label"));
  edit_target_label->setObjectName(QStringLiteral("edit_target_label"));
  edit_alt_label->setObjectName(QStringLiteral("edit_alt_label"));
  Memo1_label->setObjectName(QStringLiteral("Memo1_label"));
  edit_href_label->setBuddy(edit_href);
  edit_target_label->setBuddy(edit_target);
  edit_alt_label->setBuddy(edit_alt);
  edit_target->setEnabled(false);
  edit_target_label->setEnabled(false);

  auto* fields = new QVBoxLayout;
  for (QWidget* w : std::initializer_list<QWidget*>{edit_href_label, edit_href, edit_target_label,
                                                    edit_target, edit_alt_label, edit_alt,
                                                    Memo1_label, Memo1})
    fields->addWidget(w);
  // The slice in hand is written already: its format counts from the next export.
  auto* formatRow = new QHBoxLayout;
  auto* formatLabel = new QLabel(QStringLiteral("Format from the next export:"));
  formatLabel->setObjectName(QStringLiteral("SliceFormatLabel"));
  formatLabel->setBuddy(SliceFormat);
  auto* qualityLabel = new QLabel(QStringLiteral("Quality:"));
  qualityLabel->setObjectName(QStringLiteral("SliceQualityLabel"));
  qualityLabel->setBuddy(SliceQuality);
  formatRow->addWidget(formatLabel);
  formatRow->addWidget(SliceFormat, 1);
  formatRow->addWidget(qualityLabel);
  formatRow->addWidget(SliceQuality);
  fields->addLayout(formatRow);
  auto* picture = new QVBoxLayout;
  picture->addWidget(aslice);
  picture->addWidget(SliceCounter, 0, Qt::AlignHCenter);
  picture->addStretch(1);
  auto* top = new QHBoxLayout;
  top->addLayout(picture);
  top->addLayout(fields, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(OKButton);
  buttons->addWidget(CancelButton);
  buttons->addStretch(1);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top, 1);
  layout->addLayout(buttons);
  setTabOrder(edit_href, edit_target);
  setTabOrder(edit_target, edit_alt);
  setTabOrder(edit_alt, SliceFormat);
  setTabOrder(SliceFormat, SliceQuality);
  setTabOrder(SliceQuality, OKButton);
  setTabOrder(OKButton, CancelButton);
  resize(560, 300);

  connect(edit_href, &QLineEdit::textChanged, this, [this](const QString& href) {
    edit_target->setEnabled(!href.isEmpty());
    edit_target_label->setEnabled(!href.isEmpty());
    UpdateResultingCode();
  });
  connect(edit_target, &QLineEdit::textChanged, this, [this] { UpdateResultingCode(); });
  connect(edit_alt, &QLineEdit::textChanged, this, [this] { UpdateResultingCode(); });
  // A quality means something to lossy formats alone.
  connect(SliceFormat, &QComboBox::currentIndexChanged, this, [this, qualityLabel] {
    const TOutputFormat* format = FindOutputFormat(SliceFormat->currentData().toString().toStdString());
    const bool lossy = format && QualityFormatOf(*format);
    SliceQuality->setEnabled(lossy);
    qualityLabel->setEnabled(lossy);
  });
  SliceQuality->setEnabled(false);
  qualityLabel->setEnabled(false);
}

void Taddtagsdialog::BeginSlice(const TPixelGraphic& slice, const TSliceTag& tag,
                                const TCellTags* stored, int number, int count,
                                const TCellFormat* format) {
  FTag = tag;
  const int item = format ? SliceFormat->findData(QString::fromStdString(format->Format)) : 0;
  SliceFormat->setCurrentIndex(std::max(0, item));
  SliceQuality->setValue(format ? format->Quality : TCellFormat::NoQuality);
  edit_href->setText(stored ? QString::fromStdString(stored->Link) : QString());
  if (stored) edit_target->setText(QString::fromStdString(stored->Target));
  edit_alt->setText(stored ? QString::fromStdString(stored->Alt) : QString());
  aslice->AssignPixelGraphic(&slice);
  SliceCounter->setText(QStringLiteral("Slice %1 of %2").arg(number).arg(count));
  UpdateResultingCode();
}

TCellTags Taddtagsdialog::Texts() const {
  // A target without a link is not written, and is kept only with one.
  const std::string link = edit_href->text().toStdString();
  return {link, link.empty() ? std::string() : edit_target->text().toStdString(),
          edit_alt->text().toStdString()};
}

TCellFormat Taddtagsdialog::Format() const {
  if (SliceFormat->currentIndex() <= 0) return {};
  return {SliceFormat->currentData().toString().toStdString(),
          SliceQuality->isEnabled() ? SliceQuality->value() : TCellFormat::NoQuality};
}

void Taddtagsdialog::UpdateResultingCode() {
  // The memo shows the code as the file gets it: the texts escaped and
  // everything beyond ASCII as character references.
  const std::string code = FTag.Code(edit_href->text().toStdString(), edit_target->text().toStdString(),
                                     edit_alt->text().toStdString());
  Memo1->setPlainText(QString::fromStdString(AsciiHtml(code)));
}

std::string Taddtagsdialog::ResultingCode() const { return Memo1->toPlainText().toStdString(); }

void Taddtagsdialog::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  CentreOnFirstShow(*this, event, FPlaced);
  if (!event->spontaneous()) edit_href->setFocus();
}

// ---------------------------------------------------------------- Tdlg_code

Tdlg_code::Tdlg_code(QWidget* parent)
    : QDialog(parent),
      Memo1(new QPlainTextEdit),
      SliceTable(new QTableWidget(0, 4)),
      OKButton(MakeOKButton(*this)),
      CancelButton(MakeCancelButton(*this)),
      Warnings(new QLabel) {
  setObjectName(QStringLiteral("dlg_code"));
  setWindowTitle(QStringLiteral("Edit HTML Code"));
  setModal(true);
  Memo1->setObjectName(QStringLiteral("Memo1"));
  Memo1->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  PasteSelectionAsText(*Memo1);
  SliceTable->setObjectName(QStringLiteral("SliceTable"));
  SliceTable->setHorizontalHeaderLabels(
      {QStringLiteral("File"), QStringLiteral("Format"), QStringLiteral("Bytes"), QStringLiteral("Why")});
  SliceTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
  SliceTable->verticalHeader()->hide();
  SliceTable->horizontalHeader()->setStretchLastSection(true);
  SliceTable->hide();
  Warnings->setObjectName(QStringLiteral("Warnings"));
  Warnings->setWordWrap(true);
  Warnings->hide();
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(Warnings);
  layout->addWidget(Memo1, 1);
  layout->addWidget(SliceTable, 1);
  layout->addLayout(OkCancelRow(OKButton, CancelButton));
  resize(600, 400);
}

void Tdlg_code::SetLines(const std::vector<std::string>& lines) {
  QStringList text;
  for (const std::string& line : lines) text << QString::fromStdString(line);
  Memo1->setPlainText(text.join(QLatin1Char('\n')));
}

void Tdlg_code::SetSlices(const std::vector<TSliceOutcome>& slices) {
  const bool chosen = std::any_of(slices.begin(), slices.end(), [](const TSliceOutcome& s) { return !s.Reason.empty(); });
  SliceTable->setRowCount(chosen ? int(slices.size()) : 0);
  SliceTable->setVisible(chosen);
  if (!chosen) return;
  for (int row = 0; row < int(slices.size()); ++row) {
    const TSliceOutcome& slice = slices[std::size_t(row)];
    const QString cells[] = {QFileInfo(QFile::decodeName(slice.Path.c_str())).fileName(),
                             QString::fromStdString(FormatAndQuality(slice)), QString::number(slice.Bytes),
                             QString::fromStdString(slice.Reason)};
    for (int column = 0; column < 4; ++column) {
      auto* item = new QTableWidgetItem(cells[column]);
      if (column == 2) item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
      SliceTable->setItem(row, column, item);
    }
  }
  SliceTable->resizeColumnsToContents();
}

void Tdlg_code::SetWarnings(const std::vector<TExportWarning>& warnings) {
  QStringList lines;
  for (const TExportWarning& warning : warnings) lines << QStringLiteral("Warning: ") + QString::fromStdString(warning.Text);
  Warnings->setText(lines.join(QLatin1Char('\n')));
  Warnings->setVisible(!warnings.empty());
}

std::vector<std::string> Tdlg_code::Lines() const {
  QStringList text = Memo1->toPlainText().split(QLatin1Char('\n'));
  if (!text.isEmpty() && text.back().isEmpty()) text.removeLast();
  std::vector<std::string> lines;
  for (const QString& line : text) lines.push_back(line.toStdString());
  return lines;
}

void Tdlg_code::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  CentreOnFirstShow(*this, event, FPlaced);
}
