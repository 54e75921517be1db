#include "widgets/inputdlg.h"

#include <QApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>

Tinputdlgform::Tinputdlgform(QWidget* parent)
    : QDialog(parent),
      Edit1(new QLineEdit(this)),
      BitBtn1(new QPushButton(tr("OK"), this)),
      BitBtn2(new QPushButton(tr("Cancel"), this)),
      Label1(new QLabel(this)) {
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

  Label1->setObjectName(QStringLiteral("Label1"));
  Label1->hide();

  connect(BitBtn1, &QPushButton::clicked, this, &QDialog::accept);
  connect(BitBtn2, &QPushButton::clicked, this, &QDialog::reject);
}

void Tinputdlgform::SetPrompt(const QString& prompt) {
  if (prompt.isEmpty()) return;
  constexpr int kLine = 18;
  Label1->setText(prompt);
  Label1->setGeometry(7, 6, 265, kLine - 4);
  Label1->show();
  for (QWidget* below : {static_cast<QWidget*>(Edit1), static_cast<QWidget*>(BitBtn1), static_cast<QWidget*>(BitBtn2)})
    below->move(below->x(), below->y() + kLine);
  setFixedSize(278, 72 + kLine);
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
  form.SetPrompt(FPrompt);
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
