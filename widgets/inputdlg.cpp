#include "widgets/inputdlg.h"

#include <QApplication>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>

Tinputdlgform::Tinputdlgform(QWidget* parent)
    : QDialog(parent),
      Edit1(new QLineEdit(this)),
      BitBtn1(new QPushButton(tr("OK"), this)),
      BitBtn2(new QPushButton(tr("Cancel"), this)) {
  QFont small = font();
  small.setPointSize(8);
  setFont(small);
  setFixedSize(278, 72);

  Edit1->setObjectName(QStringLiteral("Edit1"));
  Edit1->setGeometry(7, 8, 265, 21);
  BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
  BitBtn1->setGeometry(62, 40, 75, 25);
  BitBtn1->setDefault(true);
  BitBtn2->setObjectName(QStringLiteral("BitBtn2"));
  BitBtn2->setGeometry(142, 39, 75, 25);

  connect(BitBtn1, &QPushButton::clicked, this, &QDialog::accept);
  connect(BitBtn2, &QPushButton::clicked, this, &QDialog::reject);
}

bool Tinputdlg::Execute() {
  // The active window only keeps the dialog above it; the placement is the
  // screen's centre either way.
  Tinputdlgform form(QApplication::activeWindow());
  if (!FText.isEmpty()) {
    form.Edit1->setText(FText);
    // Selected, so typing replaces the old value at once.
    form.Edit1->selectAll();
  }
  form.setWindowTitle(FCaption);
  QScreen* screen = form.parentWidget() ? form.parentWidget()->screen()
                                        : QGuiApplication::primaryScreen();
  if (screen) {
    QRect frame = form.frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    form.move(frame.topLeft());
  }
  if (form.exec() != QDialog::Accepted) return false;
  FText = form.Edit1->text();
  return true;
}
