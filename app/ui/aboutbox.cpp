#include "app/ui/aboutbox.h"

#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include <algorithm>

#include "app/ui/links.h"
#include "widgets/autourllabel.h"

QPixmap TesselPicture(int side) {
  QPixmap picture(side, side);
  picture.fill(Qt::transparent);
  QPainter painter(&picture);
  const int cells = 3;
  const double cell = side / double(cells);
  // A warm picture behind three by three tiles with light seams between them.
  static const QColor colours[] = {QColor(0xE8, 0x8D, 0x2A), QColor(0xD2, 0x5A, 0x3C),
                                   QColor(0x4F, 0x86, 0xC6), QColor(0x3C, 0xA5, 0x7A),
                                   QColor(0xF2, 0xC1, 0x4E), QColor(0x7A, 0x5C, 0xB8)};
  for (int row = 0; row < cells; ++row)
    for (int column = 0; column < cells; ++column) {
      const QRectF tile(column * cell, row * cell, cell, cell);
      painter.fillRect(tile.adjusted(1, 1, -1, -1), colours[(row * 2 + column) % 6]);
    }
  painter.setPen(QPen(QColor(0x20, 0x20, 0x20), std::max(1, side / 32)));
  painter.setBrush(Qt::NoBrush);
  painter.drawRect(QRectF(0.5, 0.5, side - 1.0, side - 1.0));
  return picture;
}

TAboutBox::TAboutBox(QWidget* parent)
    : QDialog(parent),
      ProductName(new QLabel(QStringLiteral("Tessel!"))),
      Version(new QLabel(QStringLiteral("Version 1.51"))),
      Comments(new QLabel(QStringLiteral("Cuts one image into slices for a web page."))),
      AutoURLLabel1(new TAutoURLLabel(QStringLiteral("Feel free to visit my site for other downloads!"))),
      OKButton(new QPushButton(QStringLiteral("OK"))) {
  setWindowTitle(QStringLiteral("About Tessel!"));
  setModal(true);
  AutoURLLabel1->SetURL(QLatin1String(AuthorSiteUrl));

  QFont big = ProductName->font();
  big.setPointSize(20);
  big.setBold(true);
  ProductName->setFont(big);

  auto* frame = new QFrame;
  frame->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  auto* picture = new QLabel;
  picture->setPixmap(TesselPicture(64));
  auto* texts = new QVBoxLayout;
  texts->addWidget(ProductName);
  texts->addWidget(Version);
  texts->addWidget(Comments);
  texts->addSpacing(8);
  texts->addWidget(AutoURLLabel1);
  auto* inFrame = new QHBoxLayout(frame);
  inFrame->addWidget(picture, 0, Qt::AlignTop);
  inFrame->addSpacing(8);
  inFrame->addLayout(texts, 1);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(frame);
  layout->addWidget(OKButton, 0, Qt::AlignHCenter);
  OKButton->setDefault(true);
  connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);
  setFixedSize(sizeHint());
}

void TAboutBox::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  QScreen* screen = QGuiApplication::primaryScreen();
  if (!screen) return;
  QRect frame = frameGeometry();
  frame.moveCenter(screen->availableGeometry().center());
  move(frame.topLeft());
}
