#pragma once
// The about box: product name, version, a line about the program, the link
// to the author's site and an OK button.

#include <QDialog>
#include <QPixmap>

class QLabel;
class QPushButton;
class TAutoURLLabel;

// The program's picture: an image cut into tiles by split lines. Also the
// window icon.
QPixmap TesselPicture(int side);

class TAboutBox : public QDialog {
  Q_OBJECT

 public:
  explicit TAboutBox(QWidget* parent = nullptr);

  QLabel* ProductName;
  QLabel* Version;
  QLabel* Comments;
  TAutoURLLabel* AutoURLLabel1;
  QPushButton* OKButton;

 protected:
  void showEvent(QShowEvent* event) override;
};
