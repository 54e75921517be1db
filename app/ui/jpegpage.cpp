#include "app/ui/jpegpage.h"

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

#include <QMetaObject>

#include "app/ui/errorreport.h"
#include "pgraphic/core/settings.h"
#include "pgraphic_qt/view/pgimage.h"

namespace {

TPGImage* MakePreviewView() {
  auto* view = new TPGImage;
  view->SetStretch(sZoomKAR);
  view->SetZoomFactor(1.0L);
  return view;
}

}  // namespace

TJpegPage::TJpegPage(QWidget* parent)
    : QWidget(parent),
      Label1(new QLabel(QStringLiteral("-"))),
      PGImage2(MakePreviewView()),
      PGImage3(MakePreviewView()),
      RxSplitter1(new QSplitter(Qt::Horizontal)),
      ZoomInButton(new QPushButton(QStringLiteral("Zoom In"))),
      ZoomOutButton(new QPushButton(QStringLiteral("Zoom Out"))),
      ActualSizeButton(new QPushButton(QStringLiteral("Actual Size"))),
      TrackBar1(new QSlider(Qt::Horizontal)),
      SpinEdit1(new QSpinBox),
      CheckBox1(new QCheckBox(QStringLiteral("Progressive Encoding"))),
      Timer1(new QTimer(this)),
      PageWeightLabel(new QLabel(QStringLiteral("-"))),
      FTopStrip(new QWidget),
      FTempDir(QDir::tempPath()) {
  FTopStrip->setFixedHeight(19);
  Label1->setParent(FTopStrip);
  Label1->setAlignment(Qt::AlignCenter);

  RxSplitter1->setHandleWidth(5);
  RxSplitter1->setChildrenCollapsible(false);
  RxSplitter1->addWidget(PGImage2);
  RxSplitter1->addWidget(PGImage3);

  auto* panel = new QWidget;
  panel->setFixedHeight(94);
  auto* grid = new QGridLayout(panel);
  grid->addWidget(ZoomInButton, 0, 0);
  grid->addWidget(ZoomOutButton, 1, 0);
  grid->addWidget(ActualSizeButton, 2, 0);
  TrackBar1->setRange(0, 100);
  TrackBar1->setTickInterval(5);
  TrackBar1->setTickPosition(QSlider::TicksBelow);
  grid->addWidget(TrackBar1, 0, 1, 2, 2);
  grid->addWidget(new QLabel(QStringLiteral("Best Compression")), 2, 1, Qt::AlignLeft);
  grid->addWidget(new QLabel(QStringLiteral("Best Quality")), 2, 2, Qt::AlignRight);
  grid->addWidget(new QLabel(QStringLiteral("Quality (0-100%):")), 0, 3);
  SpinEdit1->setRange(0, 100);
  grid->addWidget(SpinEdit1, 1, 3);
  grid->addWidget(CheckBox1, 2, 3);
  PageWeightLabel->setObjectName(QStringLiteral("PageWeightLabel"));
  grid->addWidget(PageWeightLabel, 0, 4, 3, 1);
  grid->setColumnStretch(1, 1);
  grid->setColumnStretch(2, 1);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(FTopStrip);
  layout->addWidget(RxSplitter1, 1);
  layout->addWidget(panel);

  Timer1->setInterval(1000);
  // Set from the library without counting as a change of quality.
  ShowSettings(PGSettings().JpegQuality, PGSettings().JpegProgressive);
  connect(TrackBar1, &QSlider::valueChanged, this, [this] {
    if (!FSettingUp) QualityChange();
  });
  // The number box drives the slider, which drives the rest.
  connect(SpinEdit1, &QSpinBox::valueChanged, this, [this](int quality) {
    if (!FSettingUp) TrackBar1->setValue(quality);
  });
  connect(Timer1, &QTimer::timeout, this, [this] { RunReported([this] { Preview(); }); });
  connect(CheckBox1, &QCheckBox::clicked, this, [this] {
    PGSettings().JpegProgressive = CheckBox1->isChecked();
    RunReported([this] { Preview(); });
  });
  connect(ZoomInButton, &QPushButton::clicked, this, [this] { Zoom(PGImage2->ZoomFactor() * 2); });
  connect(ZoomOutButton, &QPushButton::clicked, this, [this] { Zoom(PGImage2->ZoomFactor() / 2); });
  connect(ActualSizeButton, &QPushButton::clicked, this, [this] { Zoom(1.0L); });
  connect(RxSplitter1, &QSplitter::splitterMoved, this, [this] { AlignLabel(); });
  FSettingUp = false;
}

void TJpegPage::ShowSettings(int quality, bool progressive) {
  const bool settingUp = FSettingUp;
  FSettingUp = true;
  TrackBar1->setValue(quality);
  SpinEdit1->setValue(quality);
  CheckBox1->setChecked(progressive);
  FSettingUp = settingUp;
}

int TJpegPage::Quality() const { return TrackBar1->value(); }

bool TJpegPage::Progressive() const { return CheckBox1->isChecked(); }

void TJpegPage::PageChanged(const TPixelGraphic* source) {
  if (source) {
    PGImage2->AssignPixelGraphic(source);
    QualityChange();
  }
  SetHalfWidth();
}

void TJpegPage::QualityChange() {
  const bool settingUp = FSettingUp;
  FSettingUp = true;
  SpinEdit1->setValue(TrackBar1->value());
  FSettingUp = settingUp;
  // What the page shows is what an export uses, preview or not.
  SetQuality(TrackBar1->value());
  // A running timer keeps its interval, so a series of moves gives one preview.
  if (!Timer1->isActive()) Timer1->start();
}

void TJpegPage::Preview() {
  if (!PGImage2->PixelGraphic()) return;
  Timer1->stop();
  PGSettings().JpegProgressive = CheckBox1->isChecked();
  SetQuality(TrackBar1->value());
  WeighPage();
  if (FTempFile.isEmpty())
    FTempFile = FTempDir.Path() + (FWriter == "webp" ? QStringLiteral("/~tessel.webp") : QStringLiteral("/~tessel.jpg"));
  PGImage2->SaveToFile(FTempFile.toStdString());
  const QFileInfo written(FTempFile);
  if (!written.isFile()) throw std::runtime_error("Cannot open file " + FTempFile.toStdString());
  const qint64 bytes = written.size();
  Label1->setText(QStringLiteral("Compressed file size : %1 bytes").arg(bytes));
  PGImage3->LoadFromFile(FTempFile.toStdString());
  QApplication::beep();
  emit Previewed(bytes);
}

void TJpegPage::SetQuality(int quality) {
  (FWriter == "webp" ? PGSettings().WebpQuality : PGSettings().JpegQuality) = static_cast<std::uint8_t>(quality);
}

void TJpegPage::SetFormat(const std::string& writer) {
  if (writer == FWriter) return;
  FWriter = writer;
  const bool webp = writer == "webp";
  FTempFile.clear();  // the next preview names the file after the format
  CheckBox1->setVisible(!webp);
  const bool settingUp = FSettingUp;
  FSettingUp = true;
  TrackBar1->setValue(webp ? PGSettings().WebpQuality : PGSettings().JpegQuality);
  SpinEdit1->setValue(TrackBar1->value());
  FSettingUp = settingUp;
  Label1->setText(QStringLiteral("-"));
  PageWeightLabel->setText(QStringLiteral("-"));
  if (PGImage2->PixelGraphic() && !Timer1->isActive()) Timer1->start();
}

// Weighings that have finished are joined; with stop, those still running
// are told to stop too (a new one replaces them).
void TJpegPage::Retire(bool stop) {
  for (auto it = FWeighings.begin(); it != FWeighings.end();) {
    if (stop) (*it)->Stop = true;
    if (!(*it)->Done) {
      ++it;
      continue;
    }
    (*it)->Thread.join();
    it = FWeighings.erase(it);
  }
}

void TJpegPage::WeighPage() {
  Retire(true);
  const unsigned generation = ++FGeneration;
  TSplitGrid grid;
  TPageWeighing weighing;
  const TPixelGraphic* source = PGImage2->PixelGraphic();
  if (!source || !PageToWeigh || !PageToWeigh(grid, weighing)) {
    PageWeightLabel->setText(QStringLiteral("-"));
    return;
  }
  // The thread works on a copy of its own: the views may change meanwhile.
  auto image = std::make_shared<TPixelGraphic>();
  image->Assign(source);
  PageWeightLabel->setText(QStringLiteral("Page: weighing..."));
  auto job = std::make_unique<TWeighing>();
  TWeighing* const own = job.get();
  weighing.Stop = &own->Stop;
  job->Thread = std::thread([this, own, image, grid, weighing, generation] {
    std::uint64_t bytes = 0;
    int slices = 0;
    QString failure;
    try {
      const TPGThreadSettings scope(weighing.Settings);
      const TPixelGraphic slice;
      const std::vector<TSliceOutcome> outcomes = WeighSlices(*image, grid, slice, weighing);
      bytes = TotalBytes(outcomes);
      slices = int(outcomes.size());
    } catch (const std::exception& e) {
      failure = QString::fromStdString(e.what());
    }
    if (!own->Stop)
      QMetaObject::invokeMethod(
          this, [this, generation, bytes, slices, failure] { ShowWeight(generation, bytes, slices, failure); },
          Qt::QueuedConnection);
    own->Done = true;
  });
  FWeighings.push_back(std::move(job));
}

// Only the latest weighing is shown; an older one that arrives late is not.
void TJpegPage::ShowWeight(unsigned generation, std::uint64_t bytes, int slices, const QString& failure) {
  Retire(false);
  if (generation != FGeneration) return;
  if (!failure.isEmpty()) {
    PageWeightLabel->setText(QStringLiteral("Page: ") + failure);
    return;
  }
  PageWeightLabel->setText(QStringLiteral("Page: %1 bytes in %2 %3")
                               .arg(bytes)
                               .arg(slices)
                               .arg(slices == 1 ? QStringLiteral("slice") : QStringLiteral("slices")));
  emit PageWeighed(qint64(bytes), slices);
}

TJpegPage::~TJpegPage() {
  for (const auto& weighing : FWeighings) weighing->Stop = true;
  for (const auto& weighing : FWeighings) weighing->Thread.join();
}

void TJpegPage::Zoom(long double factor) {
  PGImage2->SetZoomFactor(factor);
  PGImage3->SetZoomFactor(PGImage2->ZoomFactor());
}

void TJpegPage::SetHalfWidth() {
  const int half = width() / 2;
  RxSplitter1->setSizes({half, std::max(0, width() - half - RxSplitter1->handleWidth())});
  AlignLabel();
}

void TJpegPage::AlignLabel() {
  const QRect right = PGImage3->geometry();
  const int left = PGImage3->mapTo(this, QPoint(0, 0)).x();
  Label1->setGeometry(left, 0, right.width(), FTopStrip->height());
}

void TJpegPage::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  SetHalfWidth();
}
