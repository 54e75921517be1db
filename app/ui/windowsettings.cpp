#include "app/ui/windowsettings.h"

#include <QString>
#include <QStringList>

#include <string>

#include "app/common/recentfiles.h"
#include "app/common/settingsstore.h"
#include "app/ui/errorreport.h"
#include "app/ui/placement.h"
#include "app/ui/qsettingsstore.h"

namespace {

// Where the window keeps its placement and recent lists.
constexpr const char* kWindowKeyPath = "Software\\Corvane Mill";
constexpr const char* kWindowSection = "Tessel";
constexpr const char* kOutputFormatValue = "OutputFormat";
constexpr const char* kJpegQualityValue = "JpegQuality";
constexpr const char* kJpegProgressiveValue = "JpegProgressive";
constexpr const char* kWebpQualityValue = "WebpQuality";
constexpr const char* kSlicesPanelValue = "SlicesPanel";
constexpr const char* kSlicesWidthsValue = "SlicesPanelWidths";
constexpr const char* kSlicesHideEmptyValue = "SlicesPanelHidesEmpty";
// A width kept: more than nothing, less than any screen.
constexpr int kWidestKept = 10000;

// "320,60,70,...": every one a width, or nothing is taken.
std::vector<int> WidthsFrom(const std::string& text) {
  std::vector<int> widths;
  for (const QString& part : QString::fromStdString(text).split(QLatin1Char(','))) {
    bool ok = false;
    const int width = part.trimmed().toInt(&ok);
    if (!ok || width < 1 || width > kWidestKept) return {};
    widths.push_back(width);
  }
  return widths;
}

void ReadQuality(TSettingsStore& store, const char* name, std::uint8_t& quality) {
  const auto text = store.ReadString(kWindowSection, name);
  if (!text) return;
  bool ok = false;
  const int stored = QString::fromStdString(*text).toInt(&ok);
  if (ok && stored >= 0 && stored <= 100) quality = static_cast<std::uint8_t>(stored);
}

}  // namespace

void ReadWorkSettings(TSettingsStore& store, TWorkSettings& work) {
  if (const auto name = store.ReadString(kWindowSection, kOutputFormatValue))
    if (const TOutputFormat* format = FindOutputFormat(*name)) work.Format = format;
  ReadQuality(store, kJpegQualityValue, work.JpegQuality);
  ReadQuality(store, kWebpQualityValue, work.WebpQuality);
  work.JpegProgressive = store.ReadBool(kWindowSection, kJpegProgressiveValue, work.JpegProgressive);
  work.SlicesPanel = store.ReadBool(kWindowSection, kSlicesPanelValue, work.SlicesPanel);
  if (const auto text = store.ReadString(kWindowSection, kSlicesWidthsValue))
    if (std::vector<int> widths = WidthsFrom(*text); !widths.empty()) work.SlicesWidths = std::move(widths);
  work.SlicesHideEmpty = store.ReadBool(kWindowSection, kSlicesHideEmptyValue, work.SlicesHideEmpty);
}

void WriteWorkSettings(TSettingsStore& store, const TWorkSettings& work) {
  store.WriteString(kWindowSection, kOutputFormatValue, work.Format->Name);
  store.WriteString(kWindowSection, kJpegQualityValue, std::to_string(work.JpegQuality));
  store.WriteString(kWindowSection, kWebpQualityValue, std::to_string(work.WebpQuality));
  store.WriteBool(kWindowSection, kJpegProgressiveValue, work.JpegProgressive);
  store.WriteBool(kWindowSection, kSlicesPanelValue, work.SlicesPanel);
  QStringList widths;
  for (const int width : work.SlicesWidths) widths << QString::number(width);
  store.WriteString(kWindowSection, kSlicesWidthsValue, widths.join(QLatin1Char(',')).toStdString());
  store.WriteBool(kWindowSection, kSlicesHideEmptyValue, work.SlicesHideEmpty);
}

void ReadWindowSettings(QWidget& window, TRecentFiles& images, TRecentFiles& grids, TWorkSettings& work) {
  TQSettingsStore store(kWindowKeyPath);
  RunReported([&] { store.CheckReadable(); });
  RunReported([&] {
    RestorePlacement(store, kWindowSection, window);
    images.LoadFrom(store, kWindowSection);
    grids.LoadFrom(store, kWindowSection);
    ReadWorkSettings(store, work);
  });
}

void WriteWindowSettings(const QWidget& window, const TRecentFiles& images, const TRecentFiles& grids,
                         const TWorkSettings& work) {
  RunReported([&] {
    TQSettingsStore store(kWindowKeyPath);
    SavePlacement(store, kWindowSection, window);
    images.SaveTo(store, kWindowSection);
    grids.SaveTo(store, kWindowSection);
    WriteWorkSettings(store, work);
    store.Flush();
  });
}
