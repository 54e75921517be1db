// The settings file: a damaged one is kept aside and the program starts
// with defaults; an unreadable one is reported and nothing is lost.
#include "app/ui/placement.h"
#include "ui_test_util.h"

namespace {

bool ContainsText(const std::vector<QString>& messages, const char* text) {
  return std::any_of(messages.begin(), messages.end(),
                     [text](const QString& m) { return m.contains(QLatin1String(text)); });
}

}  // namespace

class TQSettingsStoreTest : public TWindowTest {
  Q_OBJECT

 private slots:
  void init() { StartWindowTest(); }
  void initTestCase() { QDir().mkpath(QFileInfo(SettingsFile()).path()); }

  void ADamagedFileIsKeptAsideAndTheProgramStartsWithDefaults() {
    QByteArray garbage;
    for (int i = 0; i < 4000; ++i) garbage.append(char((i * 7919) % 251));
    WriteFile(SettingsFile(), garbage);
    {
      TShownWindow w(FImage);
      QVERIFY(ContainsText(ReportedErrors(), "is damaged"));
      QCOMPARE(w->MRUManager1().Count(), 1);
      QCOMPARE(w->geometry(), FirstPlacement(QGuiApplication::primaryScreen()->availableGeometry()));
      w->close();
    }
    QCOMPARE(FileBytes(SettingsFile() + QStringLiteral(".damaged")), garbage);
    ReportedErrors().clear();
    TShownWindow again;
    QVERIFY(ReportedErrors().empty());
    QCOMPARE(QString::fromStdString(again->MRUManager1().Items(0)), FImage);
  }

  void AnUnreadableFileIsReportedAndNothingIsLost() {
    QVERIFY(QDir().mkpath(SettingsFile()));  // a directory where the file belongs
    TShownWindow w(FImage);
    QVERIFY(ContainsText(ReportedErrors(), "cannot be read"));
    w.Grid().VertSplits.Add(100);
    w->close();
    QVERIFY(ContainsText(ReportedErrors(), "cannot be written"));
    QVERIFY(w->ImageLoaded());
    QCOMPARE(Vert(*w.Form), (TPositions{0, 300, 100}));
  }
};

TESSEL_UI_TEST_MAIN(TQSettingsStoreTest)
#include "qsettingsstore_test.moc"
