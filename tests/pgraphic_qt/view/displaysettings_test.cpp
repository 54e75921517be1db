// When the view needs a display copy, and what the copy is made of, as tables.
#include <QtTest>

#include "pgraphic_qt/view/displaysettings.h"

namespace {

TPGDisplaySettings With(void (*change)(TPGDisplaySettings&)) {
  TPGDisplaySettings s;
  if (change) change(s);
  return s;
}

void ReduceOnLoad(TPGDisplaySettings& s) { s.ReduceOnLoad = true; }
void SourcePalette(TPGDisplaySettings& s) { s.Palette8BitSys8BitGraphic = pSource; }
void CubePalette(TPGDisplaySettings& s) { s.Palette8BitSys8BitGraphic = pSpecial216; }
void TrueColourStep(TPGDisplaySettings& s) { s.Allow24BitStretch = true; }

}  // namespace

class DisplaySettingsTest : public QObject {
  Q_OBJECT
 private slots:
  void copyNeeded() {
    struct {
      const char* Case;
      void (*Change)(TPGDisplaySettings&);
      int Screen, Bits;
      TPaletteIdent Ident;
      bool Scaled, OutOfDate, Needed;
    } cases[] = {
        {"true colour, drawn as it is", nullptr, 24, 24, pTrueColor, false, false, false},
        {"true colour, scaled by a resampling mode", nullptr, 24, 8, pGray256, true, false, true},
        {"deeper than a palette screen", nullptr, 8, 24, pTrueColor, false, false, true},
        {"another palette on a palette screen", nullptr, 8, 8, pGray256, false, false, true},
        {"the source's palette wanted", SourcePalette, 8, 8, pGray256, false, false, false},
        {"the palette wanted already", CubePalette, 8, 8, pSpecial216, false, false, false},
        {"reduced on load, copy fits", ReduceOnLoad, 8, 8, pGray256, false, false, false},
        {"reduced on load, copy out of date", ReduceOnLoad, 8, 8, pGray256, false, true, true},
        {"16 colours: the system's", nullptr, 4, 4, pSys16, false, false, false},
        {"16 colours: others", nullptr, 4, 4, pGray16, false, false, true},
        {"16 colours: others reduced on load", ReduceOnLoad, 4, 4, pGray16, false, false, false},
    };
    for (const auto& c : cases)
      QVERIFY2(PGDisplayCopyNeeded(With(c.Change), c.Screen, c.Bits, c.Ident, c.Scaled,
                                   c.OutOfDate) == c.Needed,
               c.Case);
  }

  void copyPlan() {
    struct {
      const char* Case;
      void (*Change)(TPGDisplaySettings&);
      int Screen;
      bool Scaled, TrueColourImage;
      TPGPixelFormat Format;
      TPaletteIdent Palette;
      bool Step;
    } cases[] = {
        {"true-colour screen", TrueColourStep, 24, true, true, pgpf24Bit, pNone, false},
        {"16-colour screen", nullptr, 4, false, true, pgpf4Bit, pSys16, false},
        {"true colour on 8 bits", nullptr, 8, false, true, pgpf8Bit, pOptimized252Sys16, false},
        {"palette image on 8 bits", SourcePalette, 8, true, false, pgpf8Bit, pSource, false},
        {"scaled through true colour", TrueColourStep, 8, true, false, pgpf8Bit, pOptimized252Sys16, true},
        {"no step when not scaled", TrueColourStep, 8, false, false, pgpf8Bit, pOptimized252Sys16, false},
    };
    for (const auto& c : cases) {
      const TPGDisplayCopyPlan plan = PGPlanDisplayCopy(With(c.Change), c.Screen, c.Scaled, c.TrueColourImage);
      QVERIFY2(plan.Format == c.Format && plan.Palette == c.Palette && plan.TrueColourStep == c.Step,
               c.Case);
    }
  }
};

QTEST_MAIN(DisplaySettingsTest)
#include "displaysettings_test.moc"
