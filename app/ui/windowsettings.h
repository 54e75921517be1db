#pragma once
// What the main window keeps between runs, read and written in this one
// place: its placement, the recent images and grids, and what the last run
// worked with (the output format, the JPEG and WebP qualities, JPEG's
// progressive flag, whether the Slices panel was shown, its widths and
// whether it hides cells without image). All of it lies
// in the settings file of qsettingsstore.h under "Software\Corvane Mill",
// section "Tessel"; the export options are the options dialog's own.

#include <cstdint>
#include <vector>

#include "app/common/outputformats.h"

class QWidget;
class TRecentFiles;
class TSettingsStore;

struct TWorkSettings {
  const TOutputFormat* Format = &OutputFormats().front();
  std::uint8_t JpegQuality = 80;
  std::uint8_t WebpQuality = 80;
  bool JpegProgressive = false;
  bool SlicesPanel = false;
  // The Slices panel's width and its columns' (TSlicesPanel::Widths);
  // empty: as it opens.
  std::vector<int> SlicesWidths;
  bool SlicesHideEmpty = false;
};

// Values that do not read back sensibly leave what work holds.
void ReadWorkSettings(TSettingsStore& store, TWorkSettings& work);
void WriteWorkSettings(TSettingsStore& store, const TWorkSettings& work);

// Everything at once, from and to the settings file. Whatever fails goes to
// the error report and leaves the rest as it was: a damaged file is moved
// aside first, and the window starts as if there had been none.
void ReadWindowSettings(QWidget& window, TRecentFiles& images, TRecentFiles& grids, TWorkSettings& work);
void WriteWindowSettings(const QWidget& window, const TRecentFiles& images, const TRecentFiles& grids,
                         const TWorkSettings& work);
