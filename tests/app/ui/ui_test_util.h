#pragma once
// Helpers of the main window tests: a private settings directory, dialogs
// that answer from a script, image files made in the test, the window shown
// with an image, and mouse steps on its picture.

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/ui/dialogs.h"
#include "app/ui/errorreport.h"
#include "app/ui/exportdialogs.h"
#include "app/ui/gridhistory.h"
#include "app/ui/mainwindow.h"
#include "app/ui/rulers.h"
#include "pgraphic/filters/filters.h"
#include "pgraphic_qt/view/view_test_util.h"
#include "support/expected_image.h"
#include "support/file_contents.h"
#include "widgets/inputdlg.h"

// Answers every modal question from queues and remembers what was shown.
class TScriptedDialogs : public TMainWindowDialogs {
 public:
  std::deque<QString> Positions;  // texts typed into Add Splitline; empty: Cancel
  std::vector<QString> PositionCaptions, Errors, Opened;
  QString ImageToOpen;
  bool FilterAccepted = false;
  // File dialogs: the paths chosen, in turn (none left: Cancel), and the
  // filters and default extensions they were shown with.
  std::deque<QString> SavePaths, OpenPaths;
  std::vector<QString> FileFilters;
  // OK/Cancel questions: the answers in turn (none left: Cancel), and
  // "caption: text" of each question asked.
  std::deque<bool> OkCancelAnswers;
  std::vector<QString> Questions;
  // Yes/No questions likewise (none left: No).
  std::deque<bool> YesNoAnswers;
  // The program's own dialogs are shown, handed to OnModal (which may work
  // their widgets) and closed with accept unless OnModal closed them.
  std::function<void(QDialog&)> OnModal;
  std::vector<QString> ModalTitles;

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
  bool ChooseSaveFile(QWidget*, const QString& filter, const QString& extension,
                      QString& path) override {
    return NextPath(SavePaths, filter, extension, path);
  }
  bool ChooseOpenFile(QWidget*, const QString& filter, const QString& extension,
                      QString& path) override {
    return NextPath(OpenPaths, filter, extension, path);
  }
  void RunModal(QDialog& dialog) override {
    ModalTitles.push_back(dialog.windowTitle());
    dialog.show();
    if (OnModal) OnModal(dialog);
    if (dialog.isVisible()) dialog.accept();
  }
  bool AskOkCancel(QWidget*, const QString& text, const QString& caption) override {
    return NextAnswer(OkCancelAnswers, text, caption);
  }
  bool AskYesNo(QWidget*, const QString& text, const QString& caption) override {
    return NextAnswer(YesNoAnswers, text, caption);
  }
  bool AskPosition(Tinputdlg& dialog) override {
    PositionCaptions.push_back(dialog.caption());
    if (Positions.empty()) return false;
    dialog.SetText(Positions.front());
    Positions.pop_front();
    return true;
  }
  void ErrorBox(QWidget*, const QString& text) override { Errors.push_back(text); }
  void ShowAbout(QWidget*) override {}
  void ShellOpen(const QString& target) override { Opened.push_back(target); }

 private:
  bool NextAnswer(std::deque<bool>& answers, const QString& text, const QString& caption) {
    Questions.push_back(caption + QStringLiteral(": ") + text);
    if (answers.empty()) return false;
    const bool answer = answers.front();
    answers.pop_front();
    return answer;
  }
  bool NextPath(std::deque<QString>& paths, const QString& filter, const QString& extension,
                QString& path) {
    FileFilters.push_back(filter + QStringLiteral(" / ") + extension);
    if (paths.empty()) return false;
    path = paths.front();
    paths.pop_front();
    return true;
  }
};

// The application's error report, collected.
inline std::vector<QString>& ReportedErrors() {
  static std::vector<QString> errors;
  return errors;
}

// A settings directory of the test's own, set before the application object
// exists (Qt takes the configuration path once), plus the program's set-up.
// The temporary folder is the program's own too: the JPEG page writes a
// file of a fixed name there, which test programs run side by side (and
// anyone else's on the machine) would otherwise share.
#define TESSEL_UI_TEST_MAIN(TestClass)                                     \
  int main(int argc, char** argv) {                                        \
    QTemporaryDir config, temp;                                            \
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));          \
    qputenv("TMPDIR", QFile::encodeName(temp.path()));                     \
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
  QVERIFY(support::WriteFile(path.toStdString(), bytes.toStdString()));
}

inline QString SettingsFile() {
  return qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/Corvane Mill/Tessel.ini");
}

// Writes a w x h picture (of position colours unless told otherwise) as a
// file, the type from the name's extension.
inline QString WriteImage(const QTemporaryDir& dir, const QString& name, int w, int h,
                          const std::function<TRGB(int, int)>& color = PositionColor) {
  const QString path = dir.filePath(name);
  MakeImage(w, h, color)->SaveToFile(QFile::encodeName(path).toStdString());
  return path;
}

// The window with its own scripted dialogs and the export dialogs made after
// it, as the program makes them; shown, with an image when given.
struct TShownWindow {
  TScriptedDialogs Dialogs;
  std::unique_ptr<TForm1> Form = std::make_unique<TForm1>(Dialogs);
  std::unique_ptr<Texportdialog> ExportDialog = std::make_unique<Texportdialog>(Form.get());
  std::unique_ptr<Taddtagsdialog> TagsDialog = std::make_unique<Taddtagsdialog>(Form.get());
  std::unique_ptr<Tdlg_code> CodeDialog = std::make_unique<Tdlg_code>(Form.get());
  explicit TShownWindow(const QString& image = QString()) {
    Form->SetExportDialogs(*ExportDialog, *TagsDialog, *CodeDialog);
    Form->show();
    if (!image.isEmpty()) Form->OpenImage(image);
  }
  TForm1* operator->() { return Form.get(); }
  QWidget* Picture() { return Form->PGImage1->PicBox(); }
  // Held with the mouse steps below. Alt places lines exactly where the
  // mouse is: the position colours change sharply every dozen pixels or
  // so, and snapping would follow those edges.
  Qt::KeyboardModifiers Keys = Qt::AltModifier;
  void Move(QPoint p) {
    // QTest sends moves without modifiers; this one carries them.
    QMouseEvent move(QEvent::MouseMove, p, Picture()->mapToGlobal(p), Qt::NoButton,
                     QGuiApplication::mouseButtons(), Keys);
    QApplication::sendEvent(Picture(), &move);
  }
  void Press(QPoint p, Qt::MouseButton b = Qt::LeftButton) { QTest::mousePress(Picture(), b, Keys, p); }
  void Release(QPoint p, Qt::MouseButton b = Qt::LeftButton) { QTest::mouseRelease(Picture(), b, Keys, p); }
  void Drag(QPoint from, QPoint to) {
    Move(from);
    Press(from);
    Move(to);
    Release(to);
  }
};

// Types into a cell of a table as a user does: a click on it, F2, the text
// (plain ASCII, then an optional key sent as itself), Enter.
inline void TypeIntoCell(QTableWidget& table, int row, int column, const QString& text,
                         const QString& more = QString()) {
  table.scrollToItem(table.item(row, column));
  QTest::mouseClick(table.viewport(), Qt::LeftButton, Qt::NoModifier,
                    table.visualItemRect(table.item(row, column)).center());
  QTest::keyClick(&table, Qt::Key_F2);
  // Editors closed before wait for their deletion, hidden.
  QLineEdit* field = nullptr;
  for (QLineEdit* open : table.viewport()->findChildren<QLineEdit*>())
    if (open->isVisible()) field = open;
  QVERIFY(field);
  QTest::keyClicks(field, text);
  if (!more.isEmpty()) QTest::sendKeyEvent(QTest::Click, field, Qt::Key_unknown, more, Qt::NoModifier);
  QTest::keyClick(field, Qt::Key_Return);
  QCoreApplication::processEvents();  // the view takes the text after the key
}

inline std::vector<std::int32_t> Horz(TForm1& f) { return f.Grid().HorzSplits.Values(); }
inline std::vector<std::int32_t> Vert(TForm1& f) { return f.Grid().VertSplits.Values(); }
using TPositions = std::vector<std::int32_t>;
