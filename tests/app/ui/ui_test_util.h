#pragma once
// Helpers of the main window tests: a private settings directory, dialogs
// that answer from a script, image files made in the test, the window shown
// with an image, and mouse steps on its picture.

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMenu>
#include <QTemporaryDir>
#include <QtTest>

#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "app/ui/dialogs.h"
#include "app/ui/errorreport.h"
#include "app/ui/mainwindow.h"
#include "app/ui/rulers.h"
#include "pgraphic/filters/filters.h"
#include "pgraphic/view/view_test_util.h"
#include "support/expected_image.h"
#include "widgets/inputdlg.h"

// Answers every modal question from queues and remembers what was shown.
class TScriptedDialogs : public TMainWindowDialogs {
 public:
  std::deque<QString> Positions;  // texts typed into Add Splitline; empty: Cancel
  std::vector<QString> PositionCaptions, Errors, Infos, Opened;
  QString ImageToOpen;
  bool FilterAccepted = false;

  bool ChooseImageFile(QWidget*, QString& path) override {
    path = ImageToOpen;
    return !path.isEmpty();
  }
  std::unique_ptr<TPGFilter> RunColorFilter(QWidget*, TColorFilterKind, TPixelGraphic&) override {
    if (!FilterAccepted) return nullptr;
    // Cyan table turned upside down: red becomes its complement.
    auto filter = std::make_unique<TRGBFilter>();
    for (int i = 0; i < 256; ++i) filter->Tables[0][std::size_t(i)] = std::uint8_t(255 - i);
    return filter;
  }
  bool AskPosition(Tinputdlg& dialog) override {
    PositionCaptions.push_back(dialog.caption());
    if (Positions.empty()) return false;
    dialog.SetText(Positions.front());
    Positions.pop_front();
    return true;
  }
  void ErrorBox(QWidget*, const QString& text) override { Errors.push_back(text); }
  void InfoBox(QWidget*, const QString& text) override { Infos.push_back(text); }
  void ShowAbout(QWidget*) override {}
  void ShellOpen(const QString& target) override { Opened.push_back(target); }
};

// The application's error report, collected.
inline std::vector<QString>& ReportedErrors() {
  static std::vector<QString> errors;
  return errors;
}

// A settings directory of the test's own, set before the application object
// exists (Qt takes the configuration path once), plus the program's set-up.
#define TESSEL_UI_TEST_MAIN(TestClass)                                     \
  int main(int argc, char** argv) {                                        \
    QTemporaryDir config;                                                  \
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));          \
    QApplication app(argc, argv);                                          \
    PrepareTesselApplication();                                            \
    SetErrorSink([](const QString& m) { ReportedErrors().push_back(m); }); \
    TestClass test;                                                        \
    return QTest::qExec(&test, argc, argv);                                \
  }

inline QByteArray FileBytes(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline void WriteFile(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  QVERIFY(file.open(QIODevice::WriteOnly));
  file.write(bytes);
}

inline QString SettingsFile() {
  return qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/Corvane Mill/Tessel.ini");
}

// Writes a w x h picture of position colours as a file (the type from the
// name's extension).
inline QString WriteImage(const QTemporaryDir& dir, const QString& name, int w, int h) {
  const QString path = dir.filePath(name);
  MakeImage(w, h, PositionColor)->SaveToFile(QFile::encodeName(path).toStdString());
  return path;
}

// The window with its own scripted dialogs, shown, with an image when given.
struct TShownWindow {
  TScriptedDialogs Dialogs;
  std::unique_ptr<TForm1> Form = std::make_unique<TForm1>(Dialogs);
  explicit TShownWindow(const QString& image = QString()) {
    Form->show();
    if (!image.isEmpty()) Form->OpenImage(image);
  }
  TForm1* operator->() { return Form.get(); }
  QWidget* Picture() { return Form->PGImage1->PicBox(); }
  void Move(QPoint p) { QTest::mouseMove(Picture(), p); }
  void Press(QPoint p, Qt::MouseButton b = Qt::LeftButton) {
    QTest::mousePress(Picture(), b, Qt::NoModifier, p);
  }
  void Release(QPoint p, Qt::MouseButton b = Qt::LeftButton) {
    QTest::mouseRelease(Picture(), b, Qt::NoModifier, p);
  }
  void Drag(QPoint from, QPoint to) {
    Move(from);
    Press(from);
    Move(to);
    Release(to);
  }
};

inline std::vector<std::int32_t> Horz(TForm1& f) { return f.Grid().HorzSplits.Values(); }
inline std::vector<std::int32_t> Vert(TForm1& f) { return f.Grid().VertSplits.Values(); }
using TPositions = std::vector<std::int32_t>;
