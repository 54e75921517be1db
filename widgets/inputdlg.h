#pragma once
// Asks the user for one line of text in a small modal window. The text last
// confirmed is kept and pre-fills the field the next time.

#include <QDialog>
#include <QObject>
#include <QString>

class QLabel;
class QLineEdit;
class QPushButton;

// The input window: a fixed 278 x 72 client area with the field Edit1 across
// the top and the buttons BitBtn1 ("OK") and BitBtn2 ("Cancel") below it;
// with a prompt, the line Label1 goes above them all and the window grows.
class Tinputdlgform : public QDialog {
  Q_OBJECT

 public:
  explicit Tinputdlgform(QWidget* parent = nullptr);

  QLineEdit* Edit1;
  QPushButton* BitBtn1;
  QPushButton* BitBtn2;
  QLabel* Label1;

  void SetPrompt(const QString& prompt);
};

class Tinputdlg : public QObject {
  Q_OBJECT

 public:
  explicit Tinputdlg(QObject* parent = nullptr) : QObject(parent) {}

  // The text last confirmed with OK; empty at start.
  const QString& Text() const { return FText; }
  void SetText(const QString& text) { FText = text; }
  // The input window's title.
  const QString& caption() const { return FCaption; }
  void SetCaption(const QString& caption) { FCaption = caption; }
  // A line above the field saying what is asked (not every window manager
  // shows the title); none when empty.
  const QString& Prompt() const { return FPrompt; }
  void SetPrompt(const QString& prompt) { FPrompt = prompt; }

  // Shows the window modally, centred on the screen. True when the user
  // confirmed with OK; Text then holds the field's content. Otherwise Text
  // is left as it was.
  bool Execute();

 private:
  QString FText;
  QString FCaption;
  QString FPrompt;
};
