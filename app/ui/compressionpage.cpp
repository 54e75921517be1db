#include "app/ui/compressionpage.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QSplitter>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <stdexcept>

#include "app/ui/errorreport.h"
#include "app/ui/lossyformat.h"
#include "pgraphic/core/settings.h"
#include "pgraphic_qt/view/pgimage.h"

namespace {

TPGImage* MakePreviewView(const QString& name) {
  auto* view = new TPGImage;
  view->setObjectName(name);
  view->SetStretch(sZoomKAR);
  view->SetZoomFactor(1.0L);
  return view;
}

template <class TWidget>
TWidget* Named(TWidget* widget, const char* name) {
  widget->setObjectName(QLatin1String(name));
  return widget;
}

}  // namespace

TCompressionPage::TCompressionPage(QWidget* parent)
    : QWidget(parent),
      FSizeLabel(Named(new QLabel(QStringLiteral("-")), "Label1")),
      FSourceView(MakePreviewView(QStringLiteral("PGImage2"))),
      FResultView(MakePreviewView(QStringLiteral("PGImage3"))),
      FSplitter(Named(new QSplitter(Qt::Horizontal), "RxSplitter1")),
      FQualitySlider(Named(new QSlider(Qt::Horizontal), "TrackBar1")),
      FQualityBox(Named(new QSpinBox, "SpinEdit1")),
      FProgressiveBox(Named(new QCheckBox(QStringLiteral("Progressive Encoding")), "CheckBox1")),
      FPreviewTimer(Named(new QTimer(this), "Timer1")),
      FWeightLabel(Named(new QLabel(QStringLiteral("-")), "PageWeightLabel")),
      FTopStrip(Named(new QWidget, "SizeStrip")),
      FTempDir(QDir::tempPath()),
      FFormat(&JpegFormat()) {
  setObjectName(QStringLiteral("CompressionPage"));
  FTopStrip->setFixedHeight(19);
  FSizeLabel->setParent(FTopStrip);
  FSizeLabel->setAlignment(Qt::AlignCenter);

  FSplitter->setHandleWidth(5);
  FSplitter->setChildrenCollapsible(false);
  FSplitter->addWidget(FSourceView);
  FSplitter->addWidget(FResultView);

  auto* zoomIn = Named(new QPushButton(QStringLiteral("Zoom In")), "ZoomInButton");
  auto* zoomOut = Named(new QPushButton(QStringLiteral("Zoom Out")), "ZoomOutButton");
  auto* actualSize = Named(new QPushButton(QStringLiteral("Actual Size")), "ActualSizeButton");
  auto* panel = Named(new QWidget, "QualityPanel");
  panel->setFixedHeight(94);
  auto* grid = new QGridLayout(panel);
  grid->addWidget(zoomIn, 0, 0);
  grid->addWidget(zoomOut, 1, 0);
  grid->addWidget(actualSize, 2, 0);
  FQualitySlider->setRange(0, 100);
  FQualitySlider->setTickInterval(5);
  FQualitySlider->setTickPosition(QSlider::TicksBelow);
  grid->addWidget(FQualitySlider, 0, 1, 2, 2);
  grid->addWidget(Named(new QLabel(QStringLiteral("Best Compression")), "BestCompressionLabel"), 2, 1, Qt::AlignLeft);
  grid->addWidget(Named(new QLabel(QStringLiteral("Best Quality")), "BestQualityLabel"), 2, 2, Qt::AlignRight);
  grid->addWidget(Named(new QLabel(QStringLiteral("Quality (0-100%):")), "QualityLabel"), 0, 3);
  FQualityBox->setRange(0, 100);
  grid->addWidget(FQualityBox, 1, 3);
  grid->addWidget(FProgressiveBox, 2, 3);
  grid->addWidget(FWeightLabel, 0, 4, 3, 1);
  grid->setColumnStretch(1, 1);
  grid->setColumnStretch(2, 1);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(FTopStrip);
  layout->addWidget(FSplitter, 1);
  layout->addWidget(panel);

  FPreviewTimer->setInterval(1000);
  // Set from the library without counting as a change of quality.
  ShowSettings(PGSettings().JpegQuality, PGSettings().JpegProgressive);
  connect(FQualitySlider, &QSlider::valueChanged, this, [this] {
    if (!FSettingUp) QualityChange();
  });
  // The number box drives the slider, which drives the rest.
  connect(FQualityBox, &QSpinBox::valueChanged, this, [this](int quality) {
    if (!FSettingUp) FQualitySlider->setValue(quality);
  });
  connect(FPreviewTimer, &QTimer::timeout, this, [this] { RunReported([this] { Preview(); }); });
  connect(FProgressiveBox, &QCheckBox::clicked, this, [this] {
    PGSettings().JpegProgressive = FProgressiveBox->isChecked();
    RunReported([this] { Preview(); });
  });
  connect(zoomIn, &QPushButton::clicked, this, [this] { Zoom(FSourceView->ZoomFactor() * 2); });
  connect(zoomOut, &QPushButton::clicked, this, [this] { Zoom(FSourceView->ZoomFactor() / 2); });
  connect(actualSize, &QPushButton::clicked, this, [this] { Zoom(1.0L); });
  connect(FSplitter, &QSplitter::splitterMoved, this, [this] { AlignLabel(); });
  FWeighing.OnResult = [this](std::unique_ptr<TPixelGraphic>) { ShowWeight(*FWeighing.Job()); };
  FSettingUp = false;
}

// A weighing still running is told to stop between slices, not waited for
// to the end.
TCompressionPage::~TCompressionPage() {
  if (TPageWeighingJob* running = FWeighing.Job()) running->Abandon();
}

void TCompressionPage::ShowSettings(int quality, bool progressive) {
  const bool settingUp = FSettingUp;
  FSettingUp = true;
  FQualitySlider->setValue(quality);
  FQualityBox->setValue(quality);
  FProgressiveBox->setChecked(progressive);
  FSettingUp = settingUp;
}

int TCompressionPage::Quality() const { return FQualitySlider->value(); }

bool TCompressionPage::Progressive() const { return FProgressiveBox->isChecked(); }

void TCompressionPage::PageChanged(const TPixelGraphic* source) {
  if (source) {
    FSourceView->AssignPixelGraphic(source);
    QualityChange();
  }
  SetHalfWidth();
}

void TCompressionPage::QualityChange() {
  const bool settingUp = FSettingUp;
  FSettingUp = true;
  FQualityBox->setValue(FQualitySlider->value());
  FSettingUp = settingUp;
  // What the page shows is what an export uses, preview or not.
  SetQuality(FQualitySlider->value());
  // A running timer keeps its interval, so a series of moves gives one preview.
  if (!FPreviewTimer->isActive()) FPreviewTimer->start();
}

void TCompressionPage::Preview() {
  if (!FSourceView->PixelGraphic()) return;
  FPreviewTimer->stop();
  PGSettings().JpegProgressive = FProgressiveBox->isChecked();
  SetQuality(FQualitySlider->value());
  WeighPage();
  if (FTempFile.isEmpty())
    FTempFile = FTempDir.Path() + QStringLiteral("/~tessel") + QString::fromStdString(FFormat->Extension);
  FSourceView->SaveToFile(FTempFile.toStdString());
  const QFileInfo written(FTempFile);
  if (!written.isFile()) throw std::runtime_error("Cannot open file " + FTempFile.toStdString());
  const qint64 bytes = written.size();
  FSizeLabel->setText(QStringLiteral("Compressed file size : %1 bytes").arg(bytes));
  FResultView->LoadFromFile(FTempFile.toStdString());
  QApplication::beep();
  emit Previewed(bytes);
}

void TCompressionPage::SetQuality(int quality) {
  QualitySetting(PGSettings(), *FFormat) = static_cast<std::uint8_t>(quality);
}

void TCompressionPage::SetFormat(const TOutputFormat& format) {
  if (&format == FFormat) return;
  FFormat = &format;
  FTempFile.clear();  // the next preview names the file after the format
  FProgressiveBox->setVisible(&format == &JpegFormat());
  const bool settingUp = FSettingUp;
  FSettingUp = true;
  FQualitySlider->setValue(QualitySetting(PGSettings(), format));
  FQualityBox->setValue(FQualitySlider->value());
  FSettingUp = settingUp;
  FSizeLabel->setText(QStringLiteral("-"));
  FWeightLabel->setText(QStringLiteral("-"));
  if (FSourceView->PixelGraphic() && !FPreviewTimer->isActive()) FPreviewTimer->start();
}

void TCompressionPage::WeighPage() {
  // The weighing shown so far is overtaken, finished or not.
  if (TPageWeighingJob* running = FWeighing.Job()) running->Abandon();
  FWeighing.Cancel();
  TSplitGrid grid;
  TPageWeighing weighing;
  const TPixelGraphic* source = FSourceView->PixelGraphic();
  if (!source || !PageToWeigh || !PageToWeigh(grid, weighing)) {
    FWeightLabel->setText(QStringLiteral("-"));
    return;
  }
  FWeightLabel->setText(QStringLiteral("Page: weighing..."));
  FWeighing.Start(PGMakeJob<TPageWeighingJob>(*source, std::move(grid), std::move(weighing)));
}

void TCompressionPage::ShowWeight(const TPageWeighingJob& job) {
  if (!job.Failure().isEmpty()) {
    FWeightLabel->setText(QStringLiteral("Page: ") + job.Failure());
    return;
  }
  const int slices = job.Slices();
  FWeightLabel->setText(QStringLiteral("Page: %1 bytes in %2 %3")
                            .arg(job.Bytes())
                            .arg(slices)
                            .arg(slices == 1 ? QStringLiteral("slice") : QStringLiteral("slices")));
  emit PageWeighed(qint64(job.Bytes()), slices);
}

void TCompressionPage::Zoom(long double factor) {
  FSourceView->SetZoomFactor(factor);
  FResultView->SetZoomFactor(FSourceView->ZoomFactor());
}

void TCompressionPage::SetHalfWidth() {
  const int half = width() / 2;
  FSplitter->setSizes({half, std::max(0, width() - half - FSplitter->handleWidth())});
  AlignLabel();
}

void TCompressionPage::AlignLabel() {
  const QRect right = FResultView->geometry();
  const int left = FResultView->mapTo(this, QPoint(0, 0)).x();
  FSizeLabel->setGeometry(left, 0, right.width(), FTopStrip->height());
}

void TCompressionPage::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  SetHalfWidth();
}
