#include "pgraphic_qt/view/openpreview.h"

#include <QCoreApplication>
#include <QFile>
#include <QFontMetrics>
#include <QPaintEvent>
#include <QPainter>
#include <algorithm>

#include "pgraphic_qt/view/opendialog.h"
#include "pgraphic_qt/view/progressclock.h"
#include "platform/display.h"
#include "platform/qtcanvas.h"

// ---------------------------------------------------------------- rules

QRect PGOpenPreviewRect(int width, int height, const QRect& client) {
  const int l = client.left(), t = client.top();
  const int r = l + client.width(), b = t + client.height();
  const int W = r - l - 4, H = b - t - 4;
  int w = width, h = height;
  if (w > 0 && h > 0 && W > 0 && H > 0 && (W < w || H < h)) {
    const long double aspect = static_cast<long double>(w) / h;
    if (static_cast<long double>(W) / H >= aspect) {
      w = int(static_cast<long double>(H) * width / height);
      h = H;
    } else {
      w = W;
      h = int(W / aspect);
    }
  }
  return QRect((l + r - w) / 2, (t + b - h) / 2, w, h);
}

// ---------------------------------------------------------------- boxes

TPGPaintedBox::TPGPaintedBox(QWidget* parent) : QWidget(parent) {
  // Boxes to look at, like disabled buttons: no focus, no clicks.
  setFocusPolicy(Qt::NoFocus);
  setAttribute(Qt::WA_TransparentForMouseEvents);
}

void TPGPaintedBox::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  if (OnDraw) OnDraw(painter);
}

// ---------------------------------------------------------------- panel

TPGOpenPreviewPanel::TPGOpenPreviewPanel(const TPGOpenDialog& owner,
                                         std::function<QString()> currentPath, QWidget* parent)
    : QWidget(parent),
      FOwner(owner),
      FCurrentPath(std::move(currentPath)),
      FPreviewBox(new TPGPaintedBox(this)),
      FFactsBox(new TPGPaintedBox(this)) {
  setObjectName(QStringLiteral("TPGOpenDialog"));
  // The dialog base units of the font: average letter width and line height.
  const QFontMetrics metrics(parent ? parent->font() : font());
  const int letters = metrics.horizontalAdvance(
      QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
  FCharWidth = std::max(1, (letters / 26 + 1) / 2);
  FCharHeight = std::max(1, metrics.height());

  // The panel covers the dialog units 192..288 across and 0..144 down; the
  // dialog's own controls keep the part left of it.
  const QRect area = DialogUnitsToPixels(QRect(192, 0, 96, 144));
  setFixedSize(area.size());
  const auto place = [&](QWidget* box, const QRect& units) {
    box->setGeometry(DialogUnitsToPixels(units).translated(-area.left(), 0));
  };
  FPreviewBox->setObjectName(QStringLiteral("PreviewBox"));
  FFactsBox->setObjectName(QStringLiteral("FactsBox"));
  place(FPreviewBox, QRect(192, 20, 92, 85));
  place(FFactsBox, QRect(193, 110, 92, 33));
  FPreviewBox->OnDraw = [this](QPainter& p) { DrawPreviewBox(p); };
  FFactsBox->OnDraw = [this](QPainter& p) { DrawFactsBox(p); };

  FTimer.setInterval(150);
  // Never early: nothing may be decoded before the selection has rested.
  FTimer.setTimerType(Qt::PreciseTimer);
  connect(&FTimer, &QTimer::timeout, this, [this] {
    FTimer.stop();
    QMetaObject::invokeMethod(this, [this] { StartPreview(); }, Qt::QueuedConnection);
  });
  FDecoding.OnResult = [this](std::unique_ptr<TPixelGraphic> preview) {
    PreviewReady(std::move(preview));
  };
  FDecoding.OnProgress = [this](int stage, int percent) { PreviewProgress(stage, percent); };
}

TPGOpenPreviewPanel::~TPGOpenPreviewPanel() {
  FTimer.stop();
  FDecoding.Drop();
  FPreview.reset();
}

QRect TPGOpenPreviewPanel::DialogUnitsToPixels(const QRect& units) const {
  const int left = PGScaleRounded(units.left(), FCharWidth, 4),
            top = PGScaleRounded(units.top(), FCharHeight, 8);
  const int right = PGScaleRounded(units.left() + units.width(), FCharWidth, 4);
  const int bottom = PGScaleRounded(units.top() + units.height(), FCharHeight, 8);
  return QRect(left, top, right - left, bottom - top);
}

QRect TPGOpenPreviewPanel::PreviewInterior() const {
  return FPreviewBox->rect().adjusted(2, 2, -2, -2);
}

void TPGOpenPreviewPanel::SelectionChanged() {
  FTimer.stop();
  FDecoding.Drop();
  FPreview.reset();
  FFactsValid = false;
  FClockShown = false;
  FPreviewBox->update(PreviewInterior());
  FFactsBox->update();
  FTimer.start();
}

void TPGOpenPreviewPanel::StartPreview() {
  FPreview.reset();
  FDecoding.Drop();
  FClockShown = false;
  const QString path = FCurrentPath ? FCurrentPath() : QString();
  const std::string fileName = QFile::encodeName(path).toStdString();
  FInfo = TFileInfo();
  FDescription.clear();
  FFactsValid = !fileName.empty() && GetFileInfo(fileName, 0, FInfo, FDescription);
  FFactsBox->update();
  FPreviewBox->update(PreviewInterior());
  if (!FFactsValid) return;

  TCreateOpenSaveDialogPaintPGThread::TJob job;
  job.FileName = fileName;
  job.MaxWidth = FPreviewBox->width() - 4;
  job.MaxHeight = FPreviewBox->height() - 4;
  job.StretchMode = FOwner.StretchMode;
  job.Palette8BitSys24BitGraphic = FOwner.Palette8BitSys24BitGraphic;
  job.Palette8BitSys8BitGraphic = FOwner.Palette8BitSys8BitGraphic;
  job.ScreenDepth = PGScreenDepth();
  FDecoding.Start(PGMakeJob<TCreateOpenSaveDialogPaintPGThread>(false, std::move(job)));
  emit DecodingStarted(path);
}

void TPGOpenPreviewPanel::PreviewReady(std::unique_ptr<TPixelGraphic> preview) {
  if (!preview) return;
  FPreview = std::move(preview);
  FClockShown = false;
  FPreviewBox->update(PreviewInterior());
  emit PreviewShown();
}

void TPGOpenPreviewPanel::PreviewProgress(int stage, int percent) {
  if (!FOwner.ProgressClockVisible || FPreview) return;
  FClockShown = true;
  FClockStep = stage;
  FClockPercent = percent;
  FPreviewBox->update(PreviewInterior());
}

QStringList TPGOpenPreviewPanel::FactsLines() const {
  QStringList lines;
  if (FFactsValid)
    for (const std::string& line : FileInfoLines(FInfo, FDescription))
      lines << QString::fromStdString(line);
  return lines;
}

void TPGOpenPreviewPanel::DrawPreviewBox(QPainter& painter) {
  TQtPainterCanvas canvas(painter);
  const QColor face = palette().color(QPalette::Window);
  const QColor shadow = palette().color(QPalette::Dark);
  const QRect client = FPreviewBox->rect();
  const int l = client.left(), t = client.top(), r = l + client.width(), b = t + client.height();
  painter.fillRect(QRect(l + 2, t + 2, r - l - 4, b - t - 4), face);
  // The sunken border, two lines deep; each line leaves out its end point.
  const auto polyline = [&](const QColor& color, std::initializer_list<QPoint> points) {
    canvas.Pen = QPen(color, 1);
    auto p = points.begin();
    canvas.MoveTo(p->x(), p->y());
    for (++p; p != points.end(); ++p) canvas.LineTo(p->x(), p->y());
  };
  polyline(shadow, {{l, b - 2}, {l, t}, {r - 1, t}});
  polyline(Qt::black, {{l + 1, b - 3}, {l + 1, t + 1}, {r - 2, t + 1}});
  polyline(Qt::white, {{l, b - 1}, {r - 1, b - 1}, {r - 1, t - 1}});
  polyline(face, {{l + 1, b - 2}, {r - 2, b - 2}, {r - 2, t}});

  if (FPreview && !FPreview->Empty()) {
    const QRect drawn = PGOpenPreviewRect(FPreview->Width(), FPreview->Height(), client);
    FPreview->Draw(canvas, TRect{drawn.left(), drawn.top(), drawn.left() + drawn.width(),
                                 drawn.top() + drawn.height()});
  } else if (FClockShown) {
    const QPoint centre(l + client.width() / 2, t + client.height() / 2);
    const QColor line =
        FOwner.ProgressClockLineColor.isValid() ? FOwner.ProgressClockLineColor : shadow;
    const QColor clockFace =
        FOwner.ProgressClockBkColor.isValid() ? FOwner.ProgressClockBkColor : face;
    const QPoint origin = centre - QPoint(8, 8);
    painter.fillRect(QRect(origin, QSize(PGProgressClockSize, PGProgressClockSize)), face);
    PGDrawProgressClock(painter, origin, FClockStep, FClockPercent, line, clockFace);
  }
}

void TPGOpenPreviewPanel::DrawFactsBox(QPainter& painter) {
  painter.fillRect(FFactsBox->rect(), palette().color(QPalette::Window));
  if (!FOwner.ShowInfo) return;
  const QStringList lines = FactsLines();
  if (lines.isEmpty()) return;
  QFont font(QStringLiteral("MS Sans Serif"));
  font.setStyleHint(QFont::SansSerif);
  font.setPointSize(8);
  font.setWeight(QFont::Normal);
  painter.setFont(font);
  painter.setPen(palette().color(QPalette::WindowText));
  const int n = int(lines.size()), height = FFactsBox->height();
  for (int k = 0; k < n; ++k) {
    const int top = k * height / n;
    painter.drawText(QRect(0, top, FFactsBox->width(), height - top),
                     Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, lines[k]);
  }
}
