// The input dialog driven through its real window, and the link label with
// the desktop's address handlers replaced by a recorder.

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include <chrono>
#include <functional>

#include "platform/shellopen.h"
#include "support/watchdog.h"
#include "widgets/autourllabel.h"
#include "widgets/inputdlg.h"

using namespace std::chrono_literals;

namespace {

// Stands in for the desktop's viewers while installed.
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

// Runs Execute and, once the window is up, lets act work on it. Returns
// Execute's result; seen reports whether the window appeared at all.
bool RunDialog(Tinputdlg& dialog, const std::function<void(Tinputdlgform&)>& act, bool& seen) {
  TWatchdog watchdog("the input dialog", 60s);
  seen = false;
  QTimer::singleShot(0, [&] {
    auto* form = qobject_cast<Tinputdlgform*>(QApplication::activeModalWidget());
    seen = form != nullptr;
    if (form)
      act(*form);
    else if (QWidget* other = QApplication::activeModalWidget())
      other->close();
  });
  return dialog.Execute();
}

void TypeOver(Tinputdlgform& form, const QString& text) {
  form.Edit1->selectAll();
  QTest::keyClick(form.Edit1, Qt::Key_Backspace);
  QTest::keyClicks(form.Edit1, text);
}

}  // namespace

class TInputDlgUrlLabelTest : public QObject {
  Q_OBJECT

 private slots:
  void InputWindowLayoutAndConfirmedText() {
    Tinputdlg dialog;
    dialog.SetCaption(QStringLiteral("Enter position (0-640)"));
    QVERIFY(dialog.Text().isEmpty());
    bool seen = false;
    bool laidOut = false;
    QVERIFY(RunDialog(dialog, [&](Tinputdlgform& form) {
      laidOut = form.size() == QSize(278, 72) && form.windowTitle() == dialog.caption() &&
                form.Edit1->geometry() == QRect(7, 8, 265, 21) &&
                form.BitBtn1->geometry() == QRect(62, 40, 75, 25) &&
                form.BitBtn2->geometry() == QRect(142, 39, 75, 25) &&
                form.BitBtn1->text() == QLatin1String("OK") &&
                form.BitBtn2->text() == QLatin1String("Cancel") && form.Edit1->text().isEmpty();
      QTest::keyClicks(form.Edit1, QStringLiteral("123"));
      QTest::mouseClick(form.BitBtn1, Qt::LeftButton);
    }, seen));
    QVERIFY(seen);
    QVERIFY(laidOut);
    QCOMPARE(dialog.Text(), QStringLiteral("123"));

    // The next run starts with the confirmed text; Return confirms too.
    QString prefilled;
    QVERIFY(RunDialog(dialog, [&](Tinputdlgform& form) {
      prefilled = form.Edit1->text();
      QTest::keyClicks(form.Edit1, QStringLiteral("45"));  // replaces the selection
      QTest::keyClick(form.Edit1, Qt::Key_Return);
    }, seen));
    QCOMPARE(prefilled, QStringLiteral("123"));
    QCOMPARE(dialog.Text(), QStringLiteral("45"));
  }

  void CancelKeepsTextAndAnEmptyConfirmClearsIt() {
    Tinputdlg dialog;
    dialog.SetText(QStringLiteral("300"));
    bool seen = false;
    QVERIFY(!RunDialog(dialog, [](Tinputdlgform& form) {
      TypeOver(form, QStringLiteral("999"));
      QTest::mouseClick(form.BitBtn2, Qt::LeftButton);
    }, seen));
    QVERIFY(seen);
    QCOMPARE(dialog.Text(), QStringLiteral("300"));
    QVERIFY(!RunDialog(dialog, [](Tinputdlgform& form) {
      TypeOver(form, QStringLiteral("7"));
      QTest::keyClick(form.Edit1, Qt::Key_Escape);
    }, seen));
    QCOMPARE(dialog.Text(), QStringLiteral("300"));

    QVERIFY(RunDialog(dialog, [](Tinputdlgform& form) {
      TypeOver(form, QString());
      QTest::mouseClick(form.BitBtn1, Qt::LeftButton);
    }, seen));
    QVERIFY(dialog.Text().isEmpty());
    QString prefilled = QStringLiteral("unset");
    QVERIFY(!RunDialog(dialog, [&](Tinputdlgform& form) {
      prefilled = form.Edit1->text();
      form.reject();
    }, seen));
    QVERIFY(prefilled.isEmpty());
  }

  void LabelLinksToItsCaptionUntilTheUrlIsSetApart() {
    TAutoURLLabel label;
    QCOMPARE(label.width(), 100);
    QVERIFY(label.font().underline());
    QCOMPARE(label.palette().color(QPalette::WindowText), QColor(Qt::blue));
    QCOMPARE(label.cursor().shape(), Qt::ArrowCursor);

    label.SetCaption(QStringLiteral("https://a.example/"));
    QCOMPARE(label.URL(), QStringLiteral("https://a.example/"));
    QCOMPARE(label.cursor().shape(), Qt::PointingHandCursor);
    label.setText(QStringLiteral("https://b.example/"));
    QCOMPARE(label.URL(), QStringLiteral("https://b.example/"));

    label.SetURL(QStringLiteral("https://c.example/"));
    label.SetCaption(QStringLiteral("Feel free to visit my site for other downloads!"));
    QCOMPARE(label.URL(), QStringLiteral("https://c.example/"));

    label.SetCaption(QString());
    QCOMPARE(label.cursor().shape(), Qt::ArrowCursor);
  }

  void PressOpensTheUrlOnlyOverACaption() {
    TOpenRecorder recorder;
    TAutoURLLabel label(QStringLiteral("Feel free to visit my site for other downloads!"));
    label.SetURL(QStringLiteral("https://c.example/page"));
    label.show();
    QVERIFY(QTest::qWaitForWindowExposed(&label));
    QTest::mousePress(&label, Qt::LeftButton);
    QTest::mouseRelease(&label, Qt::LeftButton);
    QCOMPARE(recorder.Opened, QList<QUrl>{QUrl(QStringLiteral("https://c.example/page"))});

    label.SetCaption(QString());
    QTest::mousePress(&label, Qt::LeftButton);
    QCOMPARE(recorder.Opened.size(), 1);
  }

  void ShellOpenTellsFilesFromAddresses() {
    TOpenRecorder recorder;
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    QFile readme(folder.filePath(QStringLiteral("readme.txt")));
    QVERIFY(readme.open(QIODevice::WriteOnly));
    readme.close();
    const QString before = QDir::currentPath();
    QDir::setCurrent(folder.path());
    ShellOpen(QStringLiteral("readme.txt"));
    ShellOpen(QStringLiteral("missing.txt"));
    ShellOpen(QStringLiteral("http://www.example.org/donate"));
    ShellOpen(QStringLiteral("www.example.org"));
    ShellOpen(QStringLiteral("  "));
    QDir::setCurrent(before);
    const QString here = QDir(folder.path()).canonicalPath();
    QCOMPARE(recorder.Opened.size(), 4);
    QCOMPARE(QDir(recorder.Opened[0].toLocalFile()).canonicalPath(),
             here + QStringLiteral("/readme.txt"));
    QVERIFY(recorder.Opened[1].isLocalFile());
    QCOMPARE(recorder.Opened[1].fileName(), QStringLiteral("missing.txt"));
    QCOMPARE(recorder.Opened[2], QUrl(QStringLiteral("http://www.example.org/donate")));
    QCOMPARE(recorder.Opened[3], QUrl(QStringLiteral("http://www.example.org")));
  }
};

QTEST_MAIN(TInputDlgUrlLabelTest)
#include "inputdlg_urllabel_test.moc"
