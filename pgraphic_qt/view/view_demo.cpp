// tessel-view-demo [FILE]: one image in a TPGImage, with a zoom box, a sizing
// rule box and an action-mode box, for trying the view by hand; "Open..."
// chooses the image through TPGOpenDialog, and the filter buttons run the
// colour adjustment dialogs on the shown image.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>
#include <QWidget>

#include "pgraphic/filters/filtermodel.h"
#include "pgraphic_qt/view/opendialog.h"
#include "pgraphic_qt/view/pgimage.h"
#include "platform/platform.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  PGInstallPlatform();
  QWidget window;
  window.setWindowTitle(QStringLiteral("tessel-view-demo"));
  auto* view = new TPGImage(&window);
  view->SetStretch(sZoomKAR);
  view->SetStretchMode(smPrecise);
  view->SetKeepOldPaintPixelGraphic(true);

  auto* zoom = new QComboBox(&window);
  for (const char* z : {"0.125", "0.25", "0.5", "1", "1.5", "2", "4", "8"}) zoom->addItem(z);
  zoom->setCurrentText("1");
  auto* stretch = new QComboBox(&window);
  for (const char* s : {"sNeverKAR", "sAlways", "sAlwaysKAR", "sShrink", "sShrinkKAR", "sEnlarge",
                        "sEnlargeKAR", "sAlwaysLongerEdgeKAR", "sShrinkLongerEdgeKAR",
                        "sEnlargeShrinkLongerEdgeKAR", "sEnlargeLongerEdgeKAR", "sZoomKAR"})
    stretch->addItem(s);
  stretch->setCurrentIndex(sZoomKAR);
  auto* mode = new QComboBox(&window);
  for (const char* m : {"amMoveImage", "amMoveResizeCreateSelection", "amMoveSelection",
                        "amMoveSelectionMoveImage", "amCreateSelection", "amNone"})
    mode->addItem(m);
  auto* tiling = new QComboBox(&window);
  for (const char* t : {"tNone", "tRepeat", "tMirrorHorizontal", "tMirrorVertical", "tMirror"})
    tiling->addItem(t);
  auto* precise = new QCheckBox("smPrecise", &window);
  precise->setChecked(true);
  auto* center = new QCheckBox("Center", &window);
  auto* status = new QLabel(&window);
  auto* open = new QPushButton("Open...", &window);
  auto* rgb = new QPushButton("RGB...", &window);
  auto* cmy = new QPushButton("CMY...", &window);
  auto* hls = new QPushButton("HLS...", &window);

  QObject::connect(zoom, &QComboBox::currentTextChanged, view,
                   [view](const QString& z) { view->SetZoomFactor(z.toDouble()); });
  QObject::connect(stretch, &QComboBox::currentIndexChanged, view,
                   [view](int i) { view->SetStretch(TStretch(i)); });
  QObject::connect(mode, &QComboBox::currentIndexChanged, view,
                   [view](int i) { view->SetActionMode(TActionMode(i)); });
  QObject::connect(tiling, &QComboBox::currentIndexChanged, view,
                   [view](int i) { view->SetTiling(TTiling(i)); });
  QObject::connect(precise, &QCheckBox::toggled, view,
                   [view](bool on) { view->SetStretchMode(on ? smPrecise : smFast); });
  QObject::connect(center, &QCheckBox::toggled, view, [view](bool on) { view->SetCenter(on); });

  const auto report = [view, status](void*) {
    status->setText(QString("%1 x %2, zoom %3, selection %4,%5 %6x%7")
                        .arg(view->PixelGraphicWidth())
                        .arg(view->PixelGraphicHeight())
                        .arg(double(view->ActualZoomFactor()))
                        .arg(view->SelectionLeft())
                        .arg(view->SelectionTop())
                        .arg(view->SelectionWidth())
                        .arg(view->SelectionHeight()));
  };
  view->OnZoomFactorChange = report;
  view->OnSelectionMade = report;

  const auto load = [&window, view, report](const QString& file) {
    try {
      view->LoadFromFile(QFile::encodeName(file).toStdString());
      window.setWindowTitle(QStringLiteral("tessel-view-demo - %1").arg(file));
    } catch (const std::exception& e) {
      QMessageBox::critical(&window, "tessel-view-demo", QString::fromLocal8Bit(e.what()));
    }
    report(nullptr);
  };
  TPGOpenDialog openDialog;
  QObject::connect(open, &QPushButton::clicked, view, [&openDialog, load] {
    if (openDialog.Execute()) load(openDialog.FileName);
  });
  // The dialogs keep their values between runs, as the main window's do.
  TRGBFilterDialog rgbDialog;
  TCMYFilterDialog cmyDialog;
  THLSFilterDialog hlsDialog;
  const auto adjust = [view](TFilterDialog& dialog) {
    TPixelGraphic* image = view->PixelGraphic();
    if (!image || !dialog.Execute(*image)) return;
    // The view may have started a display copy meanwhile: stop it before the change.
    image = view->PixelGraphic();
    image->ApplyFilter(dialog.Filter(), *image);
  };
  QObject::connect(rgb, &QPushButton::clicked, view, [&] { adjust(rgbDialog); });
  QObject::connect(cmy, &QPushButton::clicked, view, [&] { adjust(cmyDialog); });
  QObject::connect(hls, &QPushButton::clicked, view, [&] { adjust(hlsDialog); });

  auto* tools = new QHBoxLayout;
  for (QWidget* w : std::initializer_list<QWidget*>{open, rgb, cmy, hls, new QLabel("Zoom"), zoom,
                                                    stretch, mode, tiling, precise, center})
    tools->addWidget(w);
  tools->addStretch();
  auto* layout = new QVBoxLayout(&window);
  layout->addLayout(tools);
  layout->addWidget(view, 1);
  layout->addWidget(status);
  window.resize(900, 700);
  window.show();

  if (argc > 1)
    load(QFile::decodeName(argv[1]));
  else
    report(nullptr);
  return app.exec();
}
