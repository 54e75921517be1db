// The program's command line: --help and --version without a display, and
// an unknown option refused.
#include <QProcess>

#include "app/ui/aboutbox.h"
#include "ui_test_util.h"

class TMainTest : public QObject {
  Q_OBJECT

 private slots:
  void TheCommandLineAnswersWithoutADisplay() {
    QProcess tessel;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    tessel.setProcessEnvironment(env);
    tessel.start(QStringLiteral(TESSEL_GUI_PATH), {QStringLiteral("--help")});
    QVERIFY(tessel.waitForFinished(30000));
    QCOMPARE(tessel.exitCode(), 0);
    QVERIFY(tessel.readAllStandardOutput().startsWith("usage: tessel [IMAGE]"));
    tessel.start(QStringLiteral(TESSEL_GUI_PATH), {QStringLiteral("--version")});
    QVERIFY(tessel.waitForFinished(30000));
    // The about box's version, and the command line twin's.
    QCOMPARE(tessel.readAllStandardOutput(), QByteArray("tessel 1.51\n"));
    QCOMPARE(TAboutBox().Version->text(), QStringLiteral("Version 1.51"));
    QProcess cli;
    cli.start(QStringLiteral(TESSEL_CLI_PATH), {QStringLiteral("--version")});
    QVERIFY(cli.waitForFinished(30000));
    QCOMPARE(cli.readAllStandardOutput(), QByteArray("tessel-cli 1.51\n"));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    tessel.setProcessEnvironment(env);
    tessel.start(QStringLiteral(TESSEL_GUI_PATH), {QStringLiteral("--frobnicate")});
    QVERIFY(tessel.waitForFinished(30000));
    QCOMPARE(tessel.exitCode(), 2);
  }
};

TESSEL_UI_TEST_MAIN(TMainTest)
#include "main_test.moc"
