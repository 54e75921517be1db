// The export dialogs in an export from the window: the per-slice dialog
// builds each cell from its fields in the chosen style, the code dialog's
// text is written however it closes, and the options (page style, base URL,
// retina, the whole page) are kept between runs; the preview writes
// nothing beside the design.
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QFileInfo>
#include <QSettings>
#include <QUrl>

#include "export_test_util.h"
#include "pgraphic_qt/view/pgimage.h"

class TExportDialogsTest : public TWindowTest {
  Q_OBJECT

 private slots:
  void init() { StartWindowTest(); }

  void ThePerSliceDialogBuildsEachCellFromItsFields() {
    const QString dir = MakeDir(FDir, QStringLiteral("tags"));
    TShownWindow w(FImage);
    w.Grid().VertSplits.Add(100);
    Taddtagsdialog& tags = *w.TagsDialog;
    int slice = 0;
    QStringList memos;
    w.Dialogs.OnModal = [&](QDialog& dialog) {
      if (auto* options = qobject_cast<Texportdialog*>(&dialog)) {
        options->incalttags->setChecked(true);
        return;
      }
      QCOMPARE(&dialog, static_cast<QDialog*>(&tags));
      ++slice;
      QCOMPARE(tags.aslice->PixelGraphicWidth(), slice == 1 ? 100 : 200);
      QVERIFY(tags.edit_href->text().isEmpty() && tags.edit_alt->text().isEmpty());
      QVERIFY(!tags.edit_target->isEnabled() && !tags.edit_target_label->isEnabled());
      if (slice == 1) {
        QTest::keyClicks(tags.edit_target, QStringLiteral("ignored"));  // disabled: takes nothing
        QTest::keyClicks(tags.edit_href, QStringLiteral("page2.html"));
        QVERIFY(tags.edit_target->isEnabled() && tags.edit_target_label->isEnabled());
        QTest::keyClicks(tags.edit_target, QStringLiteral("main"));
        QTest::keyClicks(tags.edit_alt, QStringLiteral("Say \"Ahoi\" "));
        QTest::sendKeyEvent(QTest::Click, tags.edit_alt, Qt::Key_Eacute, QStringLiteral("\u00e9"), Qt::NoModifier);
      } else {
        // The target stays from the last slice, but without a link it is not written.
        QCOMPARE(tags.edit_target->text(), QStringLiteral("main"));
        QTest::keyClicks(tags.edit_alt, QStringLiteral("Logo"));
      }
      memos << tags.Memo1->toPlainText();
      QVERIFY(tags.Memo1->isReadOnly());
      QCOMPARE(tags.SliceCounter->text(), QStringLiteral("Slice %1 of 2").arg(slice));
      QTest::mouseClick(tags.OKButton, Qt::LeftButton);
    };
    w.Dialogs.SavePaths = {dir + QStringLiteral("/index.html")};
    w.Action("ExportAction")->trigger();
    QVERIFY(ReportedErrors().empty());
    QCOMPARE(slice, 2);
    QCOMPARE(memos[0], QStringLiteral("<A HREF=\"page2.html\" TARGET=\"main\"><img src='index_1_1.jpg' "
                                      "width=100 height=200 ALT=\"Say &quot;Ahoi&quot; &#233;\" BORDER=0></A>"));
    QCOMPARE(memos[1], QStringLiteral("<img src='index_2_1.jpg' width=200 height=200 ALT=\"Logo\">"));
    QCOMPARE(FileBytes(dir + QStringLiteral("/index.html")),
             (QStringLiteral("<table cellspacing = 0 cellpadding = 0 border = 0>\r\n<tr><td>") + memos[0] +
              QStringLiteral("</td><td>") + memos[1] + QStringLiteral("</td></tr>\r\n</table>\r\n"))
                 .toLatin1());
  }

  // The per-slice dialog builds the code of the chosen style.
  void ThePerSliceDialogWritesTheChosenStyle() {
    const QString dir = MakeDir(FDir, QStringLiteral("tags-html5"));
    TShownWindow w(FImage);
    Taddtagsdialog& tags = *w.TagsDialog;
    QString first;
    w.Dialogs.OnModal = [&](QDialog& dialog) {
      if (auto* options = qobject_cast<Texportdialog*>(&dialog)) {
        options->SetOptions({.IncAltTags = true, .DoubleQuote = true, .Style = TPageStyle::Html5});
        return;
      }
      first = tags.Memo1->toPlainText();
      QTest::keyClicks(tags.edit_href, QStringLiteral("page2.html"));
    };
    w.Dialogs.SavePaths = {dir + QStringLiteral("/index.html")};
    w.Action("ExportAction")->trigger();
    QVERIFY(ReportedErrors().empty());
    QCOMPARE(first, QStringLiteral("<img src=\"index_1_1.jpg\" width=\"300\" height=\"200\" alt=\"\" "
                                   "style=\"display:block\">"));
    QCOMPARE(FileBytes(dir + QStringLiteral("/index.html")),
             QByteArray("<table role=\"presentation\" style=\"border-collapse:collapse\">\r\n<tr><td "
                        "style=\"padding:0\"><a href=\"page2.html\"><img src=\"index_1_1.jpg\" width=\"300\" "
                        "height=\"200\" alt=\"\" style=\"display:block\"></a></td></tr>\r\n</table>\r\n"));
  }

  void TheCodeDialogsTextIsWrittenHoweverItCloses() {
    const QString dir = MakeDir(FDir, QStringLiteral("code"));
    TShownWindow w(FImage);
    Tdlg_code& code = *w.CodeDialog;
    w.Dialogs.OnModal = [&](QDialog& dialog) {
      if (auto* options = qobject_cast<Texportdialog*>(&dialog)) {
        options->editcode->setChecked(true);
        return;
      }
      QCOMPARE(dialog.windowTitle(), QStringLiteral("Edit HTML Code"));
      QCOMPARE(code.Memo1->toPlainText(),
               QStringLiteral("<table cellspacing = 0 cellpadding = 0 border = 0>\n<tr><td><img "
                              "src='index_1_1.jpg' width=300 height=200></td></tr>\n</table>"));
      code.Memo1->moveCursor(QTextCursor::Start);
      QTest::keyClicks(code.Memo1, QStringLiteral("<!-- cut -->"));
      QTest::keyClick(code.Memo1, Qt::Key_Return);
      code.Memo1->moveCursor(QTextCursor::End);
      QTest::keyClick(code.Memo1, Qt::Key_Return);
      dialog.close();
    };
    w.Dialogs.SavePaths = {dir + QStringLiteral("/index.html")};
    w.Action("ExportAction")->trigger();
    QCOMPARE(FileBytes(dir + QStringLiteral("/index.html")),
             QByteArray("<!-- cut -->\r\n<table cellspacing = 0 cellpadding = 0 border = 0>\r\n<tr><td><img "
                        "src='index_1_1.jpg' width=300 height=200></td></tr>\r\n</table>\r\n"));
  }

  void ExportOptionsPersistAcrossARestart() {
    const QString dir = MakeDir(FDir, QStringLiteral("options"));
    const QString key = QStringLiteral("Corvane Mill/Tessel/");
    {
      TShownWindow w(FImage);
      w->close();
    }
    QVERIFY(!QSettings(SettingsFile(), QSettings::IniFormat).contains(key + QStringLiteral("showoptions_Checked")));
    {
      TShownWindow w(FImage);
      w.Dialogs.OnModal = [&](QDialog& dialog) {
        auto& options = dynamic_cast<Texportdialog&>(dialog);
        QVERIFY(options.showoptions->isChecked());
        // On the box itself: the rows are as wide as the longest caption.
        for (QCheckBox* box : {options.showoptions, options.alwaysgrid})
          QTest::mouseClick(box, Qt::LeftButton, Qt::NoModifier, {8, box->height() / 2});
        QTest::mouseClick(options.OKButton, Qt::LeftButton);
      };
      w.Dialogs.SavePaths = {dir + QStringLiteral("/a.html"), dir + QStringLiteral("/b.html")};
      w.Action("ExportAction")->trigger();
      QSettings ini(SettingsFile(), QSettings::IniFormat);
      QCOMPARE(ini.value(key + QStringLiteral("showoptions_Checked")).toString(), QStringLiteral("0"));
      QCOMPARE(ini.value(key + QStringLiteral("alwaysgrid_Checked")).toString(), QStringLiteral("1"));
      // Unchecked, the next export asks nothing; the grid goes beside the page.
      w.Action("ExportAction")->trigger();
      QCOMPARE(w.Dialogs.ModalTitles.size(), std::size_t(1));
      QVERIFY(QFile::exists(dir + QStringLiteral("/b.grd")));
      QCOMPARE(QString::fromStdString(w->MRUManager2().Items(0)), dir + QStringLiteral("/b.grd"));
      w->close();
    }
    TShownWindow w(FImage);
    QVERIFY(w.ExportDialog->showoptions->isChecked());  // the defaults until shown
    bool shownUnchecked = false;
    w.Dialogs.OnModal = [&](QDialog&) {
      shownUnchecked = !w.ExportDialog->showoptions->isChecked() && w.ExportDialog->alwaysgrid->isChecked();
    };
    w.Action("OptionsAction")->trigger();  // Tools > Options: the dialog only
    QVERIFY(shownUnchecked);
    QCOMPARE(w.Dialogs.ModalTitles, std::vector<QString>{QStringLiteral("Export Options")});
    QCOMPARE(DirectoryFiles(dir).size(), std::size_t(8));  // and the pages' lists of their files
    w.Dialogs.SavePaths = {dir + QStringLiteral("/c.html")};
    w.Action("ExportAction")->trigger();
    QCOMPARE(w.Dialogs.ModalTitles.size(), std::size_t(1));
    QVERIFY(QFile::exists(dir + QStringLiteral("/c.grd")));
  }

  // Style, base URL and retina are set in the dialog with keyboard and
  // mouse, kept in the settings like the other options, and give the files
  // the command line tool writes with the same options.
  void PageStyleBaseUrlAndRetinaFromTheDialog() {
    const QString mine = MakeDir(FDir, QStringLiteral("page/window"));
    const QString cli = MakeDir(FDir, QStringLiteral("page/cli"));
    const QString key = QStringLiteral("Corvane Mill/Tessel/");
    {
      TShownWindow w(FImage);
      w.Grid().VertSplits.Add(100);
      w.Dialogs.OnModal = [&](QDialog& dialog) {
        auto& options = dynamic_cast<Texportdialog&>(dialog);
        QCOMPARE(options.style->currentIndex(), 0);  // classic until chosen
        QCOMPARE(options.style->count(), 4);
        options.style->setFocus();
        QTest::keyClick(options.style, Qt::Key_Down);
        QTest::keyClick(options.style, Qt::Key_Down);  // email
        QTest::keyClicks(options.baseurl, QStringLiteral("https://cdn.example.com/m"));
        QTest::sendKeyEvent(QTest::Click, options.baseurl, Qt::Key_Adiaeresis, QStringLiteral("\u00e4"),
                            Qt::NoModifier);
        QTest::keyClicks(options.baseurl, QStringLiteral("il"));
        QTest::mouseClick(options.retina, Qt::LeftButton, Qt::NoModifier, {8, options.retina->height() / 2});
        QTest::mouseClick(options.OKButton, Qt::LeftButton);
      };
      w.Dialogs.SavePaths = {mine + QStringLiteral("/index.html")};
      w.Action("ExportAction")->trigger();
      QVERIFY(ReportedErrors().empty());
      QCOMPARE(w.Status()->text(),
               QStringLiteral("Exported 4 slices and ") + mine + QStringLiteral("/index.html"));
      QSettings ini(SettingsFile(), QSettings::IniFormat);
      QCOMPARE(ini.value(key + QStringLiteral("style_Text")).toString(), QStringLiteral("email"));
      QCOMPARE(ini.value(key + QStringLiteral("baseurl_Text")).toString(),
               QStringLiteral("https://cdn.example.com/m\u00e4il"));
      QCOMPARE(ini.value(key + QStringLiteral("retina_Checked")).toString(), QStringLiteral("1"));
      w->close();
    }
    QCOMPARE(CliSlice(FImage, cli + QStringLiteral("/index.html"),
                      {QStringLiteral("--vert"), QStringLiteral("100"), QStringLiteral("--style"),
                       QStringLiteral("email"), QStringLiteral("--base-url"),
                       QStringLiteral("https://cdn.example.com/m\u00e4il"), QStringLiteral("--retina")}),
             0);
    const auto written = DirectoryFiles(mine);
    QCOMPARE(written.size(), std::size_t(6));  // and the page's list of its files
    QVERIFY(written == DirectoryFiles(cli));
    QVERIFY(written.at(QStringLiteral("index.html")).contains("src='https://cdn.example.com/m%C3%A4il/index_1_1.jpg'"));

    TShownWindow again(FImage);
    bool shown = false;
    again.Dialogs.OnModal = [&](QDialog&) {
      shown = again.ExportDialog->style->currentIndex() == 2 && again.ExportDialog->retina->isChecked() &&
              again.ExportDialog->baseurl->text() == QStringLiteral("https://cdn.example.com/m\u00e4il");
    };
    again.Action("OptionsAction")->trigger();
    QVERIFY(shown);
  }

  // The whole page with its title, background and preheader, and the mail
  // table of fixed width, set in the dialog: kept in the settings, the
  // files those of the command line, the warnings on the status line.
  void WholePageFromTheDialog() {
    const QString mine = MakeDir(FDir, QStringLiteral("whole/window"));
    const QString cli = MakeDir(FDir, QStringLiteral("whole/cli"));
    const QString key = QStringLiteral("Corvane Mill/Tessel/");
    {
      TShownWindow w(FImage);
      w.Grid().VertSplits.Add(100);
      w.Dialogs.OnModal = [&](QDialog& dialog) {
        auto& options = dynamic_cast<Texportdialog&>(dialog);
        QVERIFY(!options.title->isEnabled() && !options.preheader->isEnabled());
        options.style->setCurrentIndex(2);  // email
        QTest::mouseClick(options.page, Qt::LeftButton, Qt::NoModifier, {8, options.page->height() / 2});
        QVERIFY(options.title->isEnabled() && options.preheader->isEnabled());
        QTest::keyClicks(options.title, QStringLiteral("Spring"));
        QTest::keyClicks(options.background, QStringLiteral("#102030"));
        QTest::keyClicks(options.preheader, QStringLiteral("This week"));
        QTest::mouseClick(options.emailfixedwidth, Qt::LeftButton, Qt::NoModifier,
                          {8, options.emailfixedwidth->height() / 2});
        QTest::mouseClick(options.OKButton, Qt::LeftButton);
      };
      w.Dialogs.SavePaths = {mine + QStringLiteral("/index.html")};
      w.Action("ExportAction")->trigger();
      QVERIFY(ReportedErrors().empty());
      QVERIFY(w.Status()->text().contains(QStringLiteral("; warning: ")));
      QSettings ini(SettingsFile(), QSettings::IniFormat);
      const std::pair<const char*, const char*> kept[] = {{"page_Checked", "1"},
                                                          {"title_Text", "Spring"},
                                                          {"background_Text", "#102030"},
                                                          {"preheader_Text", "This week"},
                                                          {"emailfixedwidth_Checked", "1"}};
      for (const auto& [name, value] : kept)
        QCOMPARE(ini.value(key + QLatin1String(name)).toString(), QLatin1String(value));
      w->close();
    }
    QCOMPARE(CliSlice(FImage, cli + QStringLiteral("/index.html"),
                      {QStringLiteral("--vert"), QStringLiteral("100"), QStringLiteral("--style"), QStringLiteral("email"),
                       QStringLiteral("--page"), QStringLiteral("--title"), QStringLiteral("Spring"),
                       QStringLiteral("--background"), QStringLiteral("#102030"), QStringLiteral("--preheader"),
                       QStringLiteral("This week"), QStringLiteral("--set"), QStringLiteral("EmailFixedWidth=true")}),
             0);
    const auto written = DirectoryFiles(mine);
    QVERIFY(written == DirectoryFiles(cli));
    QVERIFY(written.at(QStringLiteral("index.html")).contains("<title>Spring</title>"));

    TShownWindow again(FImage);
    bool shown = false;
    again.Dialogs.OnModal = [&](QDialog&) {
      shown = again.ExportDialog->page->isChecked() && again.ExportDialog->emailfixedwidth->isChecked() &&
              again.ExportDialog->preheader->text() == QStringLiteral("This week");
    };
    again.Action("OptionsAction")->trigger();
    QVERIFY(shown);
  }

  // File > Preview in Browser: no dialog, nothing beside the design, and
  // a page opened that frames the export at the design's width and a
  // phone's, once as it is and once with images blocked.
  void PreviewWritesNothingBesideTheDesign() {
    TShownWindow w(FImage);
    w.Grid().VertSplits.Add(100);
    const auto before = DirectoryFiles(QFileInfo(FImage).path());
    w.Action("PreviewAction")->trigger();
    QVERIFY(ReportedErrors().empty());
    QVERIFY(w.Dialogs.ModalTitles.empty());
    QVERIFY(DirectoryFiles(QFileInfo(FImage).path()) == before);
    QCOMPARE(w.Dialogs.Opened.size(), std::size_t(1));
    const QString preview = QUrl(w.Dialogs.Opened[0]).toLocalFile();
    QVERIFY(!preview.startsWith(QFileInfo(FImage).path() + QLatin1Char('/')));
    const auto files = DirectoryFiles(QFileInfo(preview).path());
    const QByteArray page = files.at(QStringLiteral("preview.html"));
    QCOMPARE(page.count("<iframe"), 4);
    QVERIFY(page.contains("width=\"300\"") && page.contains("width=\"375\""));
    QVERIFY(files.count(QStringLiteral("picture_2_1.jpg")));
    QVERIFY(files.at(QStringLiteral("picture-images-off.html")).contains("img-src 'none'"));
    QVERIFY(!files.at(QStringLiteral("picture-view.html")).contains("img-src"));
    QVERIFY(w.Status()->text().startsWith(QStringLiteral("Preview of ")));
  }
};

TESSEL_UI_TEST_MAIN(TExportDialogsTest)
#include "exportdialogs_test.moc"
