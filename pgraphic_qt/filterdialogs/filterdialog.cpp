#include "pgraphic_qt/filterdialogs/filterdialog.h"

#include <QApplication>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QStyleOptionSlider>

#include "pgraphic/core/messages.h"
#include "pgraphic_qt/view/pgcontrols.h"
#include "pgraphic_qt/view/pgimage.h"
#include "platform/display.h"

namespace {

constexpr int kMargin = 10;
constexpr int kPreviewSide = 140;
// Labels keep the toolkit's default height; they never size themselves.
constexpr int kLabelHeight = 13;
constexpr int kSliderLeftOffset = 14;
constexpr int kSliderWidth = 240;
constexpr int kSliderHeight = 32;
constexpr int kScaleLabelWidth = 80;
constexpr int kButtonWidth = 85;
constexpr int kButtonHeight = 24;
constexpr int kButtonTop = 172;

// The pixels of a 100-per-inch design on this screen.
constexpr int kDesignPixelsPerInch = 100;

QString Text(const std::string& s) { return QString::fromStdString(s); }

}  // namespace

// ---------------------------------------------------------------- threads

TCreateSrcPGThread::TCreateSrcPGThread(bool doNothing, TPixelGraphic& orig, TPixelGraphic& srcPG)
    : TPGJobThread(doNothing), OrigPixelGraphic(orig), FSrcPG(srcPG) {
  Reads(orig);
}

void TCreateSrcPGThread::Execute() {
  if (Terminated()) return;
  FSrcPG.OnProgress = [this](void*, int, int, bool& abort) { abort = Terminated(); };
  struct TUnhook {
    TPixelGraphic& Image;
    ~TUnhook() { Image.OnProgress = nullptr; }
  } unhook{FSrcPG};
  FSrcPG.CopyFrom(OrigPixelGraphic);
  Deliver(nullptr);
}

TCreateDestPGThread::TCreateDestPGThread(bool doNothing, TPixelGraphic* srcPG,
                                         std::unique_ptr<TPGFilter> filter)
    : TPGJobThread(doNothing), FSrcPG(srcPG), FFilter(std::move(filter)) {
  if (srcPG) Reads(*srcPG);
}

void TCreateDestPGThread::Execute() {
  if (!FSrcPG || !FFilter) return;
  auto result = std::make_unique<TPixelGraphic>();
  // A result nobody wants any more is not finished.
  result->OnProgress = [this](void*, int, int, bool& abort) { abort = Terminated(); };
  result->ApplyFilter(*FFilter, *FSrcPG);
  FFilter.reset();
  Deliver(std::move(result));
}

// ---------------------------------------------------------------- track bar

TPGMarkedSlider::TPGMarkedSlider(QWidget* parent) : QSlider(Qt::Horizontal, parent) {
  setTickPosition(QSlider::TicksBelow);
}

void TPGMarkedSlider::SetNeutralMark(int value) {
  if (value == FNeutralMark) return;
  FNeutralMark = value;
  update();
}

void TPGMarkedSlider::paintEvent(QPaintEvent* e) {
  QSlider::paintEvent(e);
  if (FNeutralMark < minimum() || FNeutralMark > maximum()) return;
  QStyleOptionSlider option;
  initStyleOption(&option);
  const QRect groove =
      style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderGroove, this);
  const QRect handle =
      style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, this);
  const int span = groove.width() - handle.width();
  const int x = groove.left() + handle.width() / 2 +
                QStyle::sliderPositionFromValue(minimum(), maximum(), FNeutralMark, span);
  // In the row of the tick marks, where the handle never covers it.
  const int base = height() - 2;
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing, false);
  painter.setPen(Qt::NoPen);
  painter.setBrush(palette().color(QPalette::WindowText));
  const QPoint tip[3] = {{x, base - 4}, {x - 3, base}, {x + 3, base}};
  painter.drawPolygon(tip, 3);
}

// ---------------------------------------------------------------- form

TFilterDialogForm::TFilterDialogForm(TFilterDialog& dialog, TPixelGraphic& image, QWidget* parent)
    : QDialog(parent), FDialog(dialog) {
  setWindowTitle(Text(FDialog.Caption()));
  BuildForm();
  ScaleBy(PGScreenPixelsPerInch(), kDesignPixelsPerInch);
  QFont small = font();
  small.setPointSize(8);
  setFont(small);

  FDialog.OnChange = [this] { PreviewTrigger(); };
  FTimer.setInterval(100);
  // Never early: no pass may start before the sliders have rested.
  FTimer.setTimerType(Qt::PreciseTimer);
  connect(&FTimer, &QTimer::timeout, this, &TFilterDialogForm::TimerTick);
  FSrcThread.OnResult = [this](std::unique_ptr<TPixelGraphic>) {
    FSourceReady = true;
    PreviewTrigger();
  };
  FDestThread.OnResult = [this](std::unique_ptr<TPixelGraphic> result) {
    PassReady(std::move(result));
  };
  StartSourceCopy(image);
}

TFilterDialogForm::~TFilterDialogForm() {
  FDialog.OnChange = nullptr;
  FTimer.stop();
  // Both threads read the source copy (the source thread also the caller's
  // image): they end before either goes.
  FDestThread.Drop();
  FSrcThread.Drop();
  FSrcPG.reset();
}

QLabel* TFilterDialogForm::AddLabel(const std::string& text, const QRect& rect,
                                    Qt::Alignment alignment) {
  auto* label = new QLabel(Text(text), this);
  label->setGeometry(rect);
  label->setAlignment(alignment | Qt::AlignTop);
  return label;
}

void TFilterDialogForm::BuildForm() {
  const int b = kMargin;
  int captionWidth = 0, valueWidth = 0;
  for (int k = 0; k < 3; ++k) {
    captionWidth = std::max(captionWidth, FDialog.Channel(k).CaptionWidth);
    valueWidth = std::max(valueWidth, FDialog.Channel(k).ValueLabelWidth);
  }
  const int clientWidth = b + captionWidth + valueWidth + b + 390;
  for (int k = 0; k < 3; ++k) {
    const TFilterChannel& c = FDialog.Channel(k);
    if (!c.Present) continue;
    const int t = 50 * k;
    TFilterChannelControls& controls = FChannels[k];
    auto* slider = new TPGMarkedSlider(this);
    slider->setObjectName(QStringLiteral("TrackBar%1").arg(k + 1));
    slider->setGeometry(b + kSliderLeftOffset, 10 + t, kSliderWidth, kSliderHeight);
    slider->setRange(c.Minimum, c.Maximum);
    slider->setTickInterval(c.Frequency);
    slider->setPageStep(c.Frequency);
    slider->setValue(c.Value);
    slider->SetNeutralMark(c.NeutralMark);
    connect(slider, &QSlider::valueChanged, this, &TFilterDialogForm::SlidersMoved);
    controls.Slider = slider;
    const int scaleTop = 42 + t, x = b + kSliderLeftOffset;
    controls.Caption =
        AddLabel(c.Caption, {b, 16 + t, c.CaptionWidth, kLabelHeight}, Qt::AlignLeft);
    controls.MinLabel =
        AddLabel(c.MinLabel, {x, scaleTop, kScaleLabelWidth, kLabelHeight}, Qt::AlignLeft);
    controls.MiddleLabel =
        AddLabel(c.MiddleLabel, {x + kScaleLabelWidth, scaleTop, kScaleLabelWidth, kLabelHeight},
                 Qt::AlignHCenter);
    controls.MaxLabel =
        AddLabel(c.MaxLabel, {x + 2 * kScaleLabelWidth, scaleTop, kScaleLabelWidth, kLabelHeight},
                 Qt::AlignRight);
    controls.ValueLabel =
        AddLabel(FDialog.ValueLabel(k),
                 {b + kSliderLeftOffset + kSliderWidth, 16 + t, c.ValueLabelWidth, kLabelHeight},
                 Qt::AlignRight);
  }

  FPreview = new TPGImage(this);
  FPreview->setObjectName(QStringLiteral("Preview"));
  FPreview->setGeometry(clientWidth - b - kPreviewSide, 12, kPreviewSide, kPreviewSide);
  FPreview->SetPalette8BitSys24BitGraphic(FDialog.Palette8BitSys24BitGraphic);
  FPreview->SetPalette8BitSys8BitGraphic(FDialog.Palette8BitSys8BitGraphic);
  FPreview->SetProgressClockVisible(FDialog.ProgressClockVisible);
  FPreview->SetProgressClockBkColor(palette().color(QPalette::Window));
  FPreview->SetProgressClockLineColor(palette().color(QPalette::Dark));
  FPreview->SetKeepOldPaintPixelGraphic(true);
  FPreview->SetCenter(true);

  FBevel = new TPGBevel(this);
  FBevel->setFrameStyle(QFrame::HLine | QFrame::Sunken);
  FBevel->setGeometry(5, 160, clientWidth - 10, 3);

  FOK = new QPushButton(Text(GetLangStr(msgOK)), this);
  FOK->setGeometry(clientWidth / 2 - 95, kButtonTop, kButtonWidth, kButtonHeight);
  FOK->setDefault(true);
  connect(FOK, &QPushButton::clicked, this, &QDialog::accept);
  FCancel = new QPushButton(Text(GetLangStr(msgCancel)), this);
  FCancel->setGeometry(clientWidth / 2 + 10, kButtonTop, kButtonWidth, kButtonHeight);
  // Escape closes a QDialog as Cancel already.
  connect(FCancel, &QPushButton::clicked, this, &QDialog::reject);
  setFixedSize(clientWidth, kButtonTop + kButtonHeight + 10);
}

void TFilterDialogForm::ScaleBy(int m, int d) {
  for (QWidget* child : findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
    const QRect r = child->geometry();
    const int left = PGScaleRounded(r.left(), m, d), top = PGScaleRounded(r.top(), m, d);
    child->setGeometry(left, top, PGScaleRounded(r.left() + r.width(), m, d) - left,
                       PGScaleRounded(r.top() + r.height(), m, d) - top);
  }
  setFixedSize(PGScaleRounded(width(), m, d), PGScaleRounded(height(), m, d));
}

void TFilterDialogForm::showEvent(QShowEvent* e) {
  QDialog::showEvent(e);
  if (FPlaced) return;
  FPlaced = true;
  PGPlaceOnScreen(*this, 2);
}

void TFilterDialogForm::StartSourceCopy(TPixelGraphic& image) {
  const TPreviewSize size = PreviewSourceSize(FPreview->ClientWidth(), FPreview->ClientHeight(),
                                              image.Width(), image.Height());
  FSrcPG = std::make_unique<TPixelGraphic>();
  FSrcPG->SetSizeAndFormat(size.Width, size.Height, pgpf24Bit);
  FSrcThread.Start(PGMakeJob<TCreateSrcPGThread>(false, image, *FSrcPG));
}

void TFilterDialogForm::SlidersMoved() {
  std::array<int, 3> positions{};
  for (int k = 0; k < 3; ++k)
    positions[k] = FChannels[k].Slider ? FChannels[k].Slider->value() : FDialog.Value(k);
  FDialog.SlidersChanged(positions);
  for (int k = 0; k < 3; ++k)
    if (FChannels[k].ValueLabel) FChannels[k].ValueLabel->setText(Text(FDialog.ValueLabel(k)));
}

void TFilterDialogForm::PreviewTrigger() {
  // Never wait for a pass while the sliders move: tell it to stop, and start
  // the next one once they have rested.
  FDestThread.Cancel();
  FTimer.stop();
  FTimer.start();
}

void TFilterDialogForm::TimerTick() {
  FTimer.stop();
  if (!FSourceReady) return;
  FDestThread.Start(
      PGMakeJob<TCreateDestPGThread>(false, FSrcPG.get(), FDialog.CreateCurrentFilter()));
  emit PassStarted();
}

void TFilterDialogForm::PassReady(std::unique_ptr<TPixelGraphic> result) {
  // Only the newest pass, made with the current values, gets here.
  if (!result) return;
  FPreview->SetPixelGraphic(std::move(result));
  emit PassShown();
}

// ---------------------------------------------------------------- component

bool TFilterDialog::Execute(TPixelGraphic& image) {
  BeginRun();
  bool accepted = false;
  {
    TFilterDialogForm form(*this, image, QApplication::activeWindow());
    accepted = form.exec() == QDialog::Accepted;
    EndRun(accepted);
  }
  return accepted;
}
