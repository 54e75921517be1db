// The input dialog driven through its real window, and the link label with
// the desktop's address handlers replaced by a recorder.

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include <chrono>

#include "platform/shellopen.h"
#include "support/watchdog.h"
#include "widgets/autourllabel.h"
#include "widgets/inputdlg.h"

using namespace std::chrono_literals;

namespace {

// Stands in for the desktop's viewers while it exists.
class TOpenRecorder : public QObject {
  Q_OBJECT

 public:
  TOpenRecorder() {
    for (const char* scheme : {"https", "http", "file"})
      QDesktopServices::setUrlHandler(QLatin1String(scheme), this, "Open");
  }
  ~TOpenRecorder() override {
    for (const char* scheme : {"https", "http", "file"})
      QDesktopServices::unsetUrlHandler(QLatin1String(scheme));
  }
  QList<QUrl> Opened;

 public slots:
  void Open(const QUrl& url) { Opened << url; }
};

enum TEnding { ClickOK, ClickCancel, PressReturn };
QString LastTitle;

// Runs Execute; once the window is up, notes its title and the field's text
// (in prefilled), types text over the field and closes the window as told.
bool RunDialog(Tinputdlg& dialog, const QString& text, TEnding ending, QString& prefilled,
               QList<QRect>* layout = nullptr) {
  TWatchdog watchdog("the input dialog", 60s);
  QTimer::singleShot(0, [&] {
    auto* form = qobject_cast<Tinputdlgform*>(QApplication::activeModalWidget());
    if (!form) return;  // Execute then waits for the watchdog
    prefilled = form->Edit1->text();
    LastTitle = form->windowTitle();
    if (layout)
      *layout << form->rect() << form->Edit1->geometry() << form->BitBtn1->geometry()
              << form->BitBtn2->geometry();
    form->Edit1->selectAll();
    QTest::keyClick(form->Edit1, Qt::Key_Backspace);
    QTest::keyClicks(form->Edit1, text);
    if (ending == PressReturn)
      QTest::keyClick(form->Edit1, Qt::Key_Return);
    else
      QTest::mouseClick(ending == ClickOK ? form->BitBtn1 : form->BitBtn2, Qt::LeftButton);
  });
  return dialog.Execute();
}

}  // namespace

class TInputDlgUrlLabelTest : public QObject {
  Q_OBJECT

 private slots:
  void InputDialogKeepsTheConfirmedText() {
    Tinputdlg dialog;
    dialog.SetCaption(QStringLiteral("Enter position (0-640)"));
    QString prefilled;
    QList<QRect> layout;
    QVERIFY(RunDialog(dialog, QStringLiteral("123"), ClickOK, prefilled, &layout));
    QVERIFY(prefilled.isEmpty());
    QCOMPARE(layout, QList<QRect>({{0, 0, 278, 72}, {7, 8, 265, 21}, {62, 40, 75, 25},
                                   {142, 39, 75, 25}}));
    QCOMPARE(dialog.Text(), QStringLiteral("123"));
    QCOMPARE(LastTitle, dialog.caption());

    // Cancel leaves Text alone; the field starts with it.
    QVERIFY(!RunDialog(dialog, QStringLiteral("999"), ClickCancel, prefilled));
    QCOMPARE(prefilled, QStringLiteral("123"));
    QCOMPARE(dialog.Text(), QStringLiteral("123"));

    // An empty confirm empties Text, and the next run starts empty.
    QVERIFY(RunDialog(dialog, QString(), PressReturn, prefilled));
    QVERIFY(dialog.Text().isEmpty());
    QVERIFY(RunDialog(dialog, QStringLiteral("45"), ClickOK, prefilled));
    QVERIFY(prefilled.isEmpty());
    QCOMPARE(dialog.Text(), QStringLiteral("45"));
  }

  void LabelLinksToItsCaptionUntilTheUrlIsSetApart() {
    TOpenRecorder recorder;
    TAutoURLLabel label;
    QCOMPARE(label.width(), 100);
    QVERIFY(label.font().underline());
    QCOMPARE(label.palette().color(QPalette::WindowText), QColor(Qt::blue));
    label.show();
    QVERIFY(QTest::qWaitForWindowExposed(&label));
    QTest::mousePress(&label, Qt::LeftButton);  // no caption: nothing opens
    QCOMPARE(label.cursor().shape(), Qt::ArrowCursor);

    label.SetCaption(QStringLiteral("https://a.example/"));
    label.setText(QStringLiteral("https://b.example/"));
    QCOMPARE(label.cursor().shape(), Qt::PointingHandCursor);
    QTest::mousePress(&label, Qt::LeftButton);
    label.SetURL(QStringLiteral("https://c.example/"));
    label.SetCaption(QStringLiteral("Feel free to visit my site for other downloads!"));
    QTest::mousePress(&label, Qt::LeftButton);
    QCOMPARE(recorder.Opened, QList<QUrl>({QUrl(QStringLiteral("https://b.example/")),
                                           QUrl(QStringLiteral("https://c.example/"))}));
    label.SetCaption(QString());
    QCOMPARE(label.cursor().shape(), Qt::ArrowCursor);
  }

  void ShellOpenTellsFilesFromAddresses() {
    TOpenRecorder recorder;
    ShellOpen(QStringLiteral("readme.txt"));
    ShellOpen(QStringLiteral("www.example.org"));
    ShellOpen(QStringLiteral("  "));
    QCOMPARE(recorder.Opened, QList<QUrl>({QUrl::fromLocalFile(QDir::current().filePath("readme.txt")),
                                           QUrl(QStringLiteral("http://www.example.org"))}));
  }
};

QTEST_MAIN(TInputDlgUrlLabelTest)
#include "inputdlg_urllabel_test.moc"
