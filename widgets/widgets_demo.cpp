// Tries the small components by hand: the magnifier (left click zooms in,
// other buttons zoom out), the input dialog, a link label, and the
// see-through controls over a picture (drag the slider to move the check box
// across it).

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>

#include "pgraphic_qt/view/pgcontrols.h"
#include "widgets/autourllabel.h"
#include "widgets/inputdlg.h"
#include "widgets/qv_loupe.h"

namespace {

// Draws a picture for the see-through controls to sit on.
class TPicture : public QWidget {
 public:
  explicit TPicture(QWidget* parent) : QWidget(parent) { setMinimumSize(420, 260); }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    QLinearGradient gradient(0, 0, width(), height());
    gradient.setColorAt(0.0, QColor(250, 200, 80));
    gradient.setColorAt(1.0, QColor(60, 120, 200));
    painter.fillRect(rect(), gradient);
    painter.setPen(QPen(Qt::white, 3));
    for (int x = -height(); x < width(); x += 24) painter.drawLine(x, height(), x + height(), 0);
  }
};

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QWidget window;
  window.setWindowTitle(QStringLiteral("Tessel widgets"));
  auto* column = new QVBoxLayout(&window);

  auto* toolbar = new QHBoxLayout;
  auto* ask = new QPushButton(QStringLiteral("Add splitline..."), &window);
  auto* answer = new QLabel(&window);
  auto* loupe = new TQV_Loupe(&window);
  loupe->setFixedSize(100, 33);
  loupe->SetZoomLevel(2.0);
  loupe->SetInterval(100);
  loupe->SetActive(true);
  QObject::connect(loupe, &TQV_Loupe::MouseReleased, loupe, [loupe](Qt::MouseButton button) {
    if (button == Qt::LeftButton)
      loupe->SetZoomLevel(loupe->ZoomLevel() + 1.0);
    else if (loupe->ZoomLevel() > 1.0)
      loupe->SetZoomLevel(loupe->ZoomLevel() - 1.0);
  });
  toolbar->addWidget(ask);
  toolbar->addWidget(answer, 1);
  toolbar->addWidget(loupe);
  column->addLayout(toolbar);

  auto* input = new Tinputdlg(&window);
  input->SetCaption(QStringLiteral("Enter position (0-640)"));
  QObject::connect(ask, &QPushButton::clicked, input, [input, answer] {
    answer->setText(input->Execute() ? QStringLiteral("OK: ") + input->Text()
                                     : QStringLiteral("Cancelled"));
  });

  auto* picture = new TPicture(&window);
  column->addWidget(picture, 1);
  auto* label = new TPGLabel(QStringLiteral("TPGLabel over the picture"), picture);
  label->move(12, 10);
  auto* check = new TPGCheckBox(QStringLiteral("TPGCheckBox"), picture);
  check->move(12, 40);
  auto* radio = new TPGRadioButton(QStringLiteral("TPGRadioButton"), picture);
  radio->move(12, 70);
  auto* group = new TPGGroupBox(QStringLiteral("TPGGroupBox"), picture);
  group->setGeometry(200, 10, 200, 150);
  auto* panel = new TPGPanel(group);
  panel->SetCaption(QStringLiteral("TPGPanel"));
  panel->setGeometry(12, 30, 176, 50);
  auto* inGroup = new TPGCheckBox(QStringLiteral("Transparent"), group);
  inGroup->setChecked(true);
  inGroup->move(12, 100);
  auto* bevel = new TPGBevel(picture);
  bevel->setGeometry(12, 110, 170, 60);
  QObject::connect(inGroup, &QCheckBox::toggled, group, [=](bool on) {
    group->SetTransparent(on);
    panel->SetTransparent(on);
    check->SetTransparent(on);
    radio->SetTransparent(on);
    label->SetTransparent(on);
  });

  auto* slider = new QSlider(Qt::Horizontal, &window);
  slider->setRange(0, 300);
  slider->setValue(12);
  QObject::connect(slider, &QSlider::valueChanged, check, [check](int x) { check->move(x, 40); });
  column->addWidget(slider);

  auto* link = new TAutoURLLabel(QStringLiteral("https://example.org/"), &window);
  link->setMinimumWidth(200);
  column->addWidget(link);

  window.show();
  return app.exec();
}
