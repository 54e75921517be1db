#pragma once
// Helpers of the main window tests: a private settings directory, dialogs
// that answer from a script, image files made in the test, the window shown
// with an image, its widgets found by their object names, and mouse steps
// on its picture.

#include <QActionGroup>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <QtTest>

#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/ui/compressionpage.h"
#include "app/ui/dialogs.h"
#include "app/ui/document.h"
#include "app/ui/errorreport.h"
#include "app/ui/exportdialogs.h"
#include "app/ui/mainwindow.h"
#include "app/ui/rulers.h"
#include "app/ui/slicespanel.h"
#include "app/ui/sourcepage.h"
#include "pgraphic/core/settings.h"
#include "pgraphic/filters/filters.h"
#include "pgraphic_qt/view/view_test_util.h"
#include "support/expected_image.h"
#include "support/file_contents.h"
#include "widgets/inputdlg.h"
#include "widgets/qv_loupe.h"

// Answers every modal question from queues and remembers what was shown.
class TScriptedDialogs : public TMainWindowDialogs {
 public:
  std::deque<QString> Positions;  // texts typed into Add Splitline; empty: Cancel
  std::vector<QString> PositionCaptions, PositionPrompts, Errors, Opened;
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
  // "Save the grid?" likewise (none left: Don't Save, so that windows of
  // tests about other things close).
  std::deque<TSaveAnswer> SaveAnswers;
  std::vector<QString> Warnings;
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
    PositionPrompts.push_back(dialog.Prompt());
    if (Positions.empty()) return false;
    dialog.SetText(Positions.front());
    Positions.pop_front();
    return true;
  }
  TSaveAnswer AskSave(QWidget*, const QString& text, const QString& caption) override {
    Questions.push_back(caption + QStringLiteral(": ") + text);
    if (SaveAnswers.empty()) return TSaveAnswer::DontSave;
    const TSaveAnswer answer = SaveAnswers.front();
    SaveAnswers.pop_front();
    return answer;
  }
  void ErrorBox(QWidget*, const QString& text) override { Errors.push_back(text); }
  void WarningBox(QWidget*, const QString& text) override { Warnings.push_back(text); }
  void ShowAbout(QWidget*) override {}
  bool ShellOpen(const QString& target) override {
    Opened.push_back(target);
    return true;
  }
  void ShowText(QWidget*, const QString&, const QString&) override {}

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

// What the window tests start from: a picture of 300 x 200 in a folder of
// their own, made once for all of a program's tests.
class TWindowTest : public QObject {
 protected:
  QTemporaryDir FDir;
  QString FImage = WriteImage(FDir, QStringLiteral("picture.png"), 300, 200);
};

// Before each window test: no settings file, nothing reported, and the
// library's JPEG and WebP settings as each run of the program starts with.
inline void StartWindowTest() {
  QDir(SettingsFile()).removeRecursively();
  QFile::remove(SettingsFile());
  ReportedErrors().clear();
  PGSettings().JpegQuality = 80;
  PGSettings().JpegProgressive = false;
  PGSettings().WebpQuality = 80;
}

// A widget, menu entry or timer below parent by its object name; a test
// that looks for one that is not there stops at once.
template <class T>
T* ChildOf(const QObject& parent, const QString& name) {
  T* child = parent.findChild<T*>(name);
  if (!child) qFatal("%s has no %s named %s", qPrintable(parent.objectName()), T::staticMetaObject.className(),
                     qPrintable(name));
  return child;
}

// The compression page's widgets.
struct TCompressionWidgets {
  explicit TCompressionWidgets(TCompressionPage& page) : Page(page) {}
  TCompressionPage& Page;
  QLabel* Label1 = ChildOf<QLabel>(Page, QStringLiteral("Label1"));
  TPGImage* PGImage2 = ChildOf<TPGImage>(Page, QStringLiteral("PGImage2"));
  TPGImage* PGImage3 = ChildOf<TPGImage>(Page, QStringLiteral("PGImage3"));
  QSlider* TrackBar1 = ChildOf<QSlider>(Page, QStringLiteral("TrackBar1"));
  QSpinBox* SpinEdit1 = ChildOf<QSpinBox>(Page, QStringLiteral("SpinEdit1"));
  QCheckBox* CheckBox1 = ChildOf<QCheckBox>(Page, QStringLiteral("CheckBox1"));
  QTimer* Timer1 = ChildOf<QTimer>(Page, QStringLiteral("Timer1"));
  QPushButton* ZoomInButton = ChildOf<QPushButton>(Page, QStringLiteral("ZoomInButton"));
  QPushButton* ZoomOutButton = ChildOf<QPushButton>(Page, QStringLiteral("ZoomOutButton"));
  QPushButton* ActualSizeButton = ChildOf<QPushButton>(Page, QStringLiteral("ActualSizeButton"));
  QLabel* PageWeightLabel = ChildOf<QLabel>(Page, QStringLiteral("PageWeightLabel"));
};

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
  template <class T>
  T* Child(const QString& name) {
    return ChildOf<T>(*Form, name);
  }
  QAction* Action(const QString& name) { return Child<QAction>(name); }
  TPGImage* View() { return Child<TPGImage>(QStringLiteral("PGImage1")); }
  TSourcePage& Source() { return *Child<TSourcePage>(QStringLiteral("SourcePage")); }
  TSplitEditor& Editor() { return Source().Editor(); }
  TSourceZoom& Zoom() { return Source().Zoom(); }
  TCompressionWidgets Compression() {
    return TCompressionWidgets(*Child<TCompressionPage>(QStringLiteral("CompressionPage")));
  }
  TCutDocument& Document() { return Form->Document(); }
  TGridData& Data() { return Document().Data(); }
  TSplitGrid& Grid() { return Document().Grid(); }
  QTabWidget* Pages() { return Child<QTabWidget>(QStringLiteral("PageControl1")); }
  QLabel* Status() { return Child<QLabel>(QStringLiteral("StatusBar")); }
  QTableWidget* SlicesTable() { return Child<QTableWidget>(QStringLiteral("SlicesTable")); }
  QWidget* Picture() { return View()->PicBox(); }
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

inline std::vector<std::int32_t> Horz(TForm1& f) { return f.Document().Grid().HorzSplits.Values(); }
inline std::vector<std::int32_t> Vert(TForm1& f) { return f.Document().Grid().VertSplits.Values(); }
using TPositions = std::vector<std::int32_t>;

// The tone of a dashed line at distance d from the picture's edge.
inline QRgb Dash(const unsigned tones[2], int d) { return tones[((d % 8) + 8) % 8 < 4 ? 0 : 1]; }

// The viewport at 100 % as it must look: the image at the picture box's
// place on the view's colour, each line dashed across it (horizontal lines
// first, then vertical ones), the selected or dragged line last in its own
// tones.
inline QImage ExpectedViewport(TShownWindow& window, const std::function<TRGB(int, int)>& image) {
  TPGImage& view = *window.View();
  const QPoint origin = view.PicBox()->pos();
  const int w = view.PixelGraphicWidth(), h = view.PixelGraphicHeight();
  const QRgb background = view.Color().rgb();
  const TSplitEditor& editor = window.Editor();
  std::optional<TLineRef> chosen = editor.Selected();
  if (editor.DraggingHorz() && editor.LastHorzLine() != -1) chosen = TLineRef{true, editor.LastHorzLine()};
  if (editor.DraggingVert() && editor.LastVertLine() != -1) chosen = TLineRef{false, editor.LastVertLine()};
  const TPositions rows = Horz(*window.Form), columns = Vert(*window.Form);
  // Lines run over the image and its frame only; those at 0 lie on the
  // frame, beside the first row or column.
  const auto on = [](const TPositions& lines, int at) {
    return std::any_of(lines.begin(), lines.end(), [at](std::int32_t p) { return (p <= 0 ? -1 : p) == at; });
  };
  return Expected(view.viewport()->size(), [&](int vx, int vy) {
    const int x = vx - origin.x(), y = vy - origin.y();
    QRgb c = (x >= 0 && y >= 0 && x < w && y < h) ? ToQRgb(image(x, y)) : background;
    const bool across = x >= -1 && x <= w, down = y >= -1 && y <= h;
    if (across && on(rows, y)) c = Dash(TSplitEditor::LineTones, x);
    if (down && on(columns, x)) c = Dash(TSplitEditor::LineTones, y);
    if (chosen && (chosen->Horizontal ? across && on({chosen->Position}, y) : down && on({chosen->Position}, x)))
      c = Dash(TSplitEditor::SelectedTones, chosen->Horizontal ? x : y);
    return c;
  });
}
