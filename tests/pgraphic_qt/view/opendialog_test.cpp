// The image open dialog driven through its real window: facts and previews of
// files from the project's own writers, the 150 ms rest before decoding,
// files it cannot read, closing while a preview is decoded, and the option
// rule.
#include "pgraphic_qt/view/opendialog.h"

#include <QAbstractItemView>
#include <QDialogButtonBox>
#include <QElapsedTimer>
#include <QFileSystemModel>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>
#include <functional>

#include "pgraphic/core/settings.h"
#include "pgraphic/core/stream.h"
#include "pgraphic/formats/registry.h"
#include "pgraphic_qt/view/openpreview.h"
#include "platform/display.h"
#include "platform/platform.h"
#include "support/box_recorder.h"
#include "support/modal.h"
#include "view_test_util.h"

namespace {

std::string Local(const QString& path) { return QFile::encodeName(path).toStdString(); }

void WriteMultiImageTiff(const QString& path, std::initializer_list<TPixelGraphic*> images) {
  TFileFormatWriter& writer = FindWriter("tif");
  TFileStream stream(Local(path), TFileStream::fmCreate);
  writer.BeginFile(stream);
  for (TPixelGraphic* image : images) writer.AppendImage(stream, *image);
  writer.EndFile(stream);
  stream.Close();
}

bool Run(TPGOpenDialog& dialog, const std::function<void(TPGPreviewFileDialog&)>& steps) {
  return DriveModal<TPGPreviewFileDialog>(
      "the open dialog", [&] { return dialog.FileDialog(); }, steps, [&] { return dialog.Execute(); });
}

QString RowPath(QAbstractItemView& list, int row) {
  return list.model()
      ->index(row, 0, list.rootIndex())
      .data(QFileSystemModel::FilePathRole)
      .toString();
}

// The file view the dialog shows (list or details), once it lists the given
// number of files in name order: the directory is read and sorted in the
// background, and rows may move until then.
QAbstractItemView* FileList(TPGPreviewFileDialog& form, int files) {
  QAbstractItemView* list = nullptr;
  for (const char* name : {"listView", "treeView"})
    if (auto* view = form.findChild<QAbstractItemView*>(QLatin1String(name));
        view && view->isVisible())
      list = view;
  if (!list) return nullptr;
  const auto sorted = [&] {
    if (list->model()->rowCount(list->rootIndex()) != files) return false;
    for (int row = 1; row < files; ++row)
      if (!(RowPath(*list, row - 1) < RowPath(*list, row))) return false;
    return true;
  };
  return QTest::qWaitFor(sorted, 10000) ? list : nullptr;
}

void ClickRow(QAbstractItemView& list, int row) {
  const QModelIndex index = list.model()->index(row, 0, list.rootIndex());
  list.scrollTo(index);
  QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, list.visualRect(index).center());
}

void ClickOpen(TPGPreviewFileDialog& form) {
  auto* buttons = form.findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"));
  QVERIFY(buttons && buttons->button(QDialogButtonBox::Open));
  QTest::mouseClick(buttons->button(QDialogButtonBox::Open), Qt::LeftButton);
}

}  // namespace

class TOpenDialogTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { PGInstallPlatform(); }
  void cleanup() { PGSetScreenDepthOverride(0); }

  void ShowsFactsAndPreviewsOfOwnFiles() {
    QTemporaryDir dir;
    const auto small = MakeImage(40, 30, PositionColor);
    small->SaveToFile(Local(dir.filePath("a.bmp")));
    MakeImage(400, 300, [](int x, int y) {
      return RGBColor(x / 2, y / 2, 90);
    })->SaveToFile(Local(dir.filePath("b.png")));
    SolidImage(16, 8, RGBColor(30, 60, 90))->SaveToFile(Local(dir.filePath("c.jpg")));
    WriteMultiImageTiff(dir.filePath("d.tif"),
                        {MakeImage(6, 5, PositionColor).get(), SolidImage(3, 3, 0).get()});
    const QList<QStringList> facts = {
        {"Bitmap", "Windows, RGB", "40x30x16.7M 24 bit"},
        {"Portable Network Graphics", "RGB", "(gama)", "400x300x16.7M 24 bit"},
        {"JPEG (JFIF compliant)", "JFIF, YCbCr", "16x8x16.7M 24 bit"},
        {"Tagged Image File Format", "I, Uncompr., RGB", "6x5x16.7 M 24 bit, 2"}};

    const bool counted = PGSettings().TiffCountImages;
    PGSettings().TiffCountImages = true;
    struct TRestore {
      bool Value;
      ~TRestore() { PGSettings().TiffCountImages = Value; }
    } restore{counted};
    TPGOpenDialog dialog;
    dialog.InitialDir = dir.path();
    dialog.SetOptions(dialog.Options() | OfBit(ofAllowMultiSelect));
    const bool chosen = Run(dialog, [&](TPGPreviewFileDialog& form) {
      // Placed centred across and a third of the way down.
      const QRect screen = QGuiApplication::primaryScreen()->geometry(),
                  frame = form.frameGeometry();
      QCOMPARE(frame.topLeft(), QPoint((screen.width() - frame.width()) / 2,
                                       (screen.height() - frame.height()) / 3));
      // The registry's file types in its order, the last matching every name.
      const QStringList types = form.nameFilters();
      const QString first = QString::fromStdString(ListedReaderExtension(2));
      QCOMPARE(types.size(), ListedReaderCount() + 2);
      QVERIFY(types[0].startsWith("Image files (*." + first + " *."));
      QVERIFY(types[1].startsWith(first.toUpper() + " - ") &&
              types[1].endsWith(" (*." + first + ")"));
      QCOMPARE(types.last(), QStringLiteral("All files (*)"));

      QAbstractItemView* list = FileList(form, 4);
      QVERIFY(list);
      TPGOpenPreviewPanel& panel = *form.Panel();
      QSignalSpy shown(&panel, &TPGOpenPreviewPanel::PreviewShown);
      const QSize box = panel.PreviewBox()->size() - QSize(4, 4);
      // Rows 1..3 then 0, so that every click moves the current file.
      for (int row : {1, 2, 3, 0}) {
        PGSetScreenDepthOverride(row == 1 ? 4 : 0);
        ClickRow(*list, row);
        QTRY_COMPARE_WITH_TIMEOUT(int(shown.count()), row == 0 ? 4 : row, 10000);
        QCOMPARE(panel.FactsLines(), facts[row]);
        TPixelGraphic& preview = *panel.Preview();
        // Reduced into the box less its border, in the 16 colours of a 4-bit screen.
        QCOMPARE(preview.PixelFormat(), row == 1 ? pgpf4Bit : pgpf24Bit);
        if (row == 1) {
          QCOMPARE(QSize(preview.Width(), preview.Height()),
                   PGOpenPreviewSize(400, 300, box.width(), box.height()));
          QVERIFY(preview.Width() == box.width() || preview.Height() == box.height());
          QCOMPARE(preview.PaletteIdent(), pSys16);
        }
        for (int y = 0; row == 0 && y < 30; ++y)
          for (int x = 0; x < 40; ++x) QCOMPARE(preview.GetPixelColor(x, y), PositionColor(x, y));
      }
      // With the TIFF added to the selection, the first selected stays previewed.
      const QModelIndex tiff = list->model()->index(3, 0, list->rootIndex());
      QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::ControlModifier,
                        list->visualRect(tiff).center());
      QTRY_COMPARE(shown.count(), 5);
      QCOMPARE(panel.Preview()->Width(), 40);
      ClickOpen(form);
    });
    QVERIFY(chosen);
    QCOMPARE(dialog.Files, QStringList({dir.filePath("a.bmp"), dir.filePath("d.tif")}));
    QCOMPARE(dialog.FileName, dir.filePath("a.bmp"));
  }

  void ReducesAsTheExamplesSay() {
    QCOMPARE(PGOpenPreviewSize(1600, 1200, 150, 140), QSize(150, 112));
    QCOMPARE(PGOpenPreviewSize(1200, 1600, 150, 140), QSize(105, 140));
    QCOMPARE(PGOpenPreviewSize(100, 80, 150, 140), QSize(100, 80));
    QCOMPARE(PGOpenPreviewSize(5000, 2, 150, 140), QSize(150, 1));
    // Shown at its own size, centred in the box (2 pixels of border around 150 x 140).
    QCOMPARE(PGOpenPreviewRect(100, 80, QRect(0, 0, 154, 144)), QRect(27, 32, 100, 80));
    // A preview larger than the box (which shrank meanwhile) is fitted again.
    QCOMPARE(PGOpenPreviewRect(150, 112, QRect(0, 0, 104, 144)), QRect(2, 35, 100, 74));
  }

  void DecodesOnlyAfterTheSelectionRested() {
    QTemporaryDir dir;
    for (int i = 0; i < 6; ++i)
      SolidImage(8, 8, RGBColor(i * 40, 0, 0))
          ->SaveToFile(Local(dir.filePath(QString("f%1.bmp").arg(i))));
    TPGOpenDialog dialog;
    dialog.InitialDir = dir.path();
    Run(dialog, [&](TPGPreviewFileDialog& form) {
      QAbstractItemView* list = FileList(form, 6);
      QVERIFY(list);
      TPGOpenPreviewPanel& panel = *form.Panel();
      QElapsedTimer clock;
      clock.start();
      QList<qint64> keys;
      QList<QPair<qint64, QString>> decodes;
      connect(&panel, &TPGOpenPreviewPanel::DecodingStarted, &panel, [&](const QString& path) {
        decodes.append({clock.elapsed(), path});
      });
      list->setFocus();
      ClickRow(*list, 0);
      decodes.clear();
      keys << clock.elapsed();
      // Down the list with short pauses, as a user holding the arrow key.
      for (int i = 1; i < 6; ++i) {
        QTest::keyClick(list, Qt::Key_Down);
        keys << clock.elapsed();
        QTest::qWait(30);
      }
      QTRY_VERIFY_WITH_TIMEOUT(!decodes.isEmpty() && decodes.last().second == RowPath(*list, 5),
                               10000);
      QTest::qWait(300);
      // However the pauses fell, every decoding began 150 ms after a move.
      for (const auto& [at, path] : decodes) {
        qint64 lastKey = 0;
        for (qint64 key : keys)
          if (key <= at) lastKey = key;
        QVERIFY2(at - lastKey >= 150,
                 qPrintable(QString("%1 after %2 ms").arg(path).arg(at - lastKey)));
      }
      QCOMPARE(decodes.last().second, RowPath(*list, 5));
      QVERIFY(decodes.size() <= keys.size());
    });
  }

  void UnreadableFilesShowEmptyBoxesAndClosingStopsTheThread() {
    QTemporaryDir dir;
    {
      QFile text(dir.filePath("a.xyz"));
      QVERIFY(text.open(QIODevice::WriteOnly));
      text.write("no picture here\n");
      QFile broken(dir.filePath("b.png"));
      QVERIFY(broken.open(QIODevice::WriteOnly));
      broken.write("\x89PNG\r\n\x1a\n and then nothing", 24);
    }
    MakeImage(2000, 1500, [](int x, int y) {
      return RGBColor(x & 255, y & 255, 7);
    })->SaveToFile(Local(dir.filePath("c.bmp")));
    TPGOpenDialog dialog;
    dialog.InitialDir = dir.path();
    dialog.FilterIndex = ListedReaderCount() + 2;  // all files
    Run(dialog, [&](TPGPreviewFileDialog& form) {
      QAbstractItemView* list = FileList(form, 3);
      QVERIFY(list);
      TPGOpenPreviewPanel& panel = *form.Panel();
      QSignalSpy started(&panel, &TPGOpenPreviewPanel::DecodingStarted);
      for (int row : {1, 0}) {
        ClickRow(*list, row);
        QTRY_VERIFY(!panel.RestTimer().isActive());
        QTest::qWait(50);
        QVERIFY(!panel.FactsValid());
        QVERIFY(panel.FactsLines().isEmpty());
        QVERIFY(!panel.Preview());
      }
      QCOMPARE(started.count(), 0);
      // Still usable: the large picture is decoded, and the dialog closes
      // while that runs.
      ClickRow(*list, 2);
      QTRY_COMPARE(started.count(), 1);
      form.reject();
    });
    // Whatever the thread would still post finds no panel.
    QTest::qWait(200);
  }

  void OptionsAlwaysKeepShareAware() {
    TBoxRecorder boxes(TPGMsgResult::mrOK);
    TPGOpenDialog dialog;
    QCOMPARE(dialog.Options(), OfBit(ofHideReadOnly) | OfBit(ofShareAware));
    dialog.SetOptions(OfBit(ofAllowMultiSelect) | OfBit(ofShareAware));
    QVERIFY(boxes.Texts.empty());
    dialog.SetOptions(OfBit(ofFileMustExist));
    QCOMPARE(boxes.Texts,
             std::vector<std::string>{
                 "TPGOpenDialog.Options and TPGSaveDialog.Options must include ofShareAware!"});
    QCOMPARE(dialog.Options(), OfBit(ofFileMustExist) | OfBit(ofShareAware));
  }
};

QTEST_MAIN(TOpenDialogTest)
#include "opendialog_test.moc"
