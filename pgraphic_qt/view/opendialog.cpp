#include "pgraphic_qt/view/opendialog.h"

#include <QApplication>
#include <QFileInfo>
#include <QGridLayout>

#include "pgraphic/core/uihooks.h"
#include "pgraphic/formats/registry.h"
#include "pgraphic_qt/view/openpreview.h"
#include "platform/display.h"

QStringList PGQtNameFilters(const std::string& filter) {
  const QStringList parts = QString::fromStdString(filter).split(QLatin1Char('|'));
  QStringList filters;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    QStringList patterns;
    for (const QString& part : parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
      const QString pattern = part.trimmed();
      if (!pattern.isEmpty())
        patterns << (pattern == QLatin1String("*.*") ? QStringLiteral("*") : pattern);
    }
    if (!patterns.isEmpty())
      filters << QStringLiteral("%1 (%2)").arg(parts[i].trimmed(), patterns.join(QLatin1Char(' ')));
  }
  return filters;
}

// ---------------------------------------------------------------- component

TPGOpenDialog::TPGOpenDialog(QObject* parent) : QObject(parent) {}

TPGOpenDialog::~TPGOpenDialog() = default;

std::string TPGOpenDialog::DefaultFilter() const { return BuildOpenFilter(); }

void TPGOpenDialog::SetOptions(TOpenOptions options) {
  if (!(options & OfBit(ofShareAware))) {
    PGWarningBox("TPGOpenDialog.Options and TPGSaveDialog.Options must include ofShareAware!",
                 TPGMsgButtons::mbOK, QCoreApplication::applicationName().toStdString());
    options |= OfBit(ofShareAware);
  }
  FOptions = options;
}

bool TPGOpenDialog::Execute() {
  if (UseDefaultFilter) Filter = DefaultFilter();
  TPGPreviewFileDialog form(*this, QApplication::activeWindow());
  FFileDialog = &form;
  struct TClear {
    TPGPreviewFileDialog*& Form;
    ~TClear() { Form = nullptr; }
  } clear{FFileDialog};
  if (form.exec() != QDialog::Accepted) return false;
  Files = form.selectedFiles();
  FileName = Files.value(0);
  const qsizetype type = form.nameFilters().indexOf(form.selectedNameFilter());
  if (type >= 0) FilterIndex = int(type) + 1;
  return true;
}

// ---------------------------------------------------------------- form

TPGPreviewFileDialog::TPGPreviewFileDialog(const TPGOpenDialog& owner, QWidget* parent)
    : QFileDialog(parent) {
  setOption(QFileDialog::DontUseNativeDialog, true);
  setAcceptMode(QFileDialog::AcceptOpen);
  const TOpenOptions options = owner.Options();
  setFileMode(options & OfBit(ofAllowMultiSelect) ? QFileDialog::ExistingFiles
              : options & OfBit(ofFileMustExist)  ? QFileDialog::ExistingFile
                                                  : QFileDialog::AnyFile);
  setOption(QFileDialog::DontResolveSymlinks, (options & OfBit(ofNoDereferenceLinks)) != 0);
  if (!owner.Title.isEmpty()) setWindowTitle(owner.Title);
  const QStringList filters = PGQtNameFilters(owner.Filter);
  if (!filters.isEmpty()) {
    setNameFilters(filters);
    selectNameFilter(filters.value(owner.FilterIndex - 1, filters.first()));
  }
  if (!owner.InitialDir.isEmpty())
    setDirectory(owner.InitialDir);
  else if (!owner.FileName.isEmpty())
    setDirectory(QFileInfo(owner.FileName).absolutePath());
  if (!owner.FileName.isEmpty()) selectFile(owner.FileName);

  FPanel = new TPGOpenPreviewPanel(
      owner, [this] { return PreviewPath(); }, this);
  if (auto* grid = qobject_cast<QGridLayout*>(layout()))
    grid->addWidget(FPanel, 0, grid->columnCount(), grid->rowCount(), 1, Qt::AlignTop);
  else if (layout())
    layout()->addWidget(FPanel);
  connect(this, &QFileDialog::currentChanged, this, [this](const QString& path) {
    FCurrent = path;
    FPanel->SelectionChanged();
  });
}

QString TPGPreviewFileDialog::PreviewPath() const {
  const QStringList selected = selectedFiles();
  if (selected.size() > 1 || FCurrent.isEmpty()) return selected.value(0);
  return FCurrent;
}

void TPGPreviewFileDialog::showEvent(QShowEvent* e) {
  QFileDialog::showEvent(e);
  if (FPlaced) return;
  FPlaced = true;
  PGPlaceOnScreen(*this, 3);
}
