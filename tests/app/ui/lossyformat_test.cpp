// The quality each output format's slices are made at: their own for JPEG
// and WebP, JPEG's for the automatic choice, none for the formats that keep
// every pixel; and the library setting that holds it.
#include <QtTest>

#include <map>

#include "app/ui/lossyformat.h"

class TLossyFormatTest : public QObject {
  Q_OBJECT

 private slots:
  void EachFormatHasTheQualityOfItsLossyFormat() {
    const std::map<std::string, std::string> expected = {{"jpg", "jpg"}, {"bmp", ""},      {"tif", ""},
                                                         {"png", ""},    {"webp", "webp"}, {"png8", ""},
                                                         {"auto", "jpg"}};
    QCOMPARE(OutputFormats().size(), expected.size());
    for (const TOutputFormat& format : OutputFormats()) {
      const TOutputFormat* lossy = QualityFormatOf(format);
      QCOMPARE(lossy ? lossy->Name : std::string(), expected.at(format.Name));
    }
    TPGLibrarySettings settings;
    settings.JpegQuality = 31;
    settings.WebpQuality = 62;
    QCOMPARE(int(QualitySetting(settings, JpegFormat())), 31);
    QCOMPARE(int(QualitySetting(settings, WebpFormat())), 62);
  }
};

QTEST_APPLESS_MAIN(TLossyFormatTest)
#include "lossyformat_test.moc"
