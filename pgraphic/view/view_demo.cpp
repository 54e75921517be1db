// tessel-view-demo FILE: one image in a TPGImage, with a zoom box, a sizing
// rule box and an action-mode box, for trying the view by hand.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QVBoxLayout>
#include <QWidget>

#include "pgraphic/view/pgimage.h"
#include "platform/platform.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  PGInstallPlatform();
  if (argc < 2) {
    QMessageBox::information(nullptr, "tessel-view-demo", "Usage: tessel-view-demo FILE");
    return 2;
  }

  QWidget window;
  window.setWindowTitle(QString("tessel-view-demo - %1").arg(QString::fromLocal8Bit(argv[1])));
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

  auto* tools = new QHBoxLayout;
  for (QWidget* w : std::initializer_list<QWidget*>{new QLabel("Zoom"), zoom, stretch, mode, tiling,
                                                    precise, center})
    tools->addWidget(w);
  tools->addStretch();
  auto* layout = new QVBoxLayout(&window);
  layout->addLayout(tools);
  layout->addWidget(view, 1);
  layout->addWidget(status);
  window.resize(900, 700);
  window.show();

  try {
    view->LoadFromFile(argv[1]);
  } catch (const std::exception& e) {
    QMessageBox::critical(&window, "tessel-view-demo", QString::fromLocal8Bit(e.what()));
  }
  report(nullptr);
  return app.exec();
}
