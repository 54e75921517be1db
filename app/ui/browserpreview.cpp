#include "app/ui/browserpreview.h"

#include <QDir>
#include <QFile>
#include <QUrl>

#include <stdexcept>
#include <utility>

#include "app/common/atomicfile.h"
#include "app/cut/gridfile.h"
#include "app/export/exporter.h"
#include "app/export/previewpage.h"
#include "app/ui/dialogs.h"
#include "pgraphic/core/pixelgraphic.h"
#include "pgraphic/core/settings.h"

namespace {

// The export's dialogs answered as a preview wants them: the one file
// name, nothing asked, the texts as the cut has them.
class TPreviewUi : public TExportUi {
 public:
  explicit TPreviewUi(std::string path) : FPath(std::move(path)) {}
  bool ChooseHtmlFile(std::string& path) override {
    path = FPath;
    return true;
  }
  bool ConfirmOverwrite(const std::string&, const std::string&) override { return true; }
  void ShowExportOptions(TExportOptions&) override {}
  bool ConfirmOddRetinaLine(const std::string&) override { return true; }
  std::string EditSliceTags(TPixelGraphic&, const TGridCell&, const TSliceTag& tag) override {
    return tag.PlainCode();
  }
  void EditCode(std::vector<std::string>&) override {}

 private:
  std::string FPath;
};

void WriteText(const QString& path, const std::string& text) {
  WriteFileAtomic(QFile::encodeName(path).toStdString(), text);
}

}  // namespace

TBrowserPreview::TBrowserPreview(TMainWindowDialogs& dialogs, QString parent)
    : FDialogs(dialogs), FDir(std::move(parent)) {}

QString TBrowserPreview::Run(TPixelGraphic& source, const TGridData& cut, const TOutputFormat& format,
                             TExportOptions options, const QString& name, const TFileIdentity& sourceFile) {
  const QString folder = FDir.Path() + QStringLiteral("/preview-%1").arg(++FCount);
  if (!QDir().mkpath(folder)) throw std::runtime_error("Cannot make the preview's folder " + folder.toStdString());
  const QString html = folder + QLatin1Char('/') + name + QStringLiteral(".html");
  // No dialog of the export's: the texts come from the cut, nothing is asked.
  options.ShowOptions = options.IncAltTags = options.EditCode = options.AlwaysGrid = false;
  PGSettings().PageColor = options.PageColor;  // as an export from the window lays transparency
  TGridData copy = cut;
  TPreviewUi ui(QFile::encodeName(html).toStdString());
  TSliceExporter exporter(copy, ui);
  exporter.Settings.Options = options;
  exporter.Settings.SetOutputFormat(format);
  exporter.Settings.SourceFile = sourceFile;
  exporter.Export(source);

  const std::string exported = ReadWholeFile(QFile::encodeName(html).toStdString());
  const QString view = name + QStringLiteral("-view.html"), imagesOff = name + QStringLiteral("-images-off.html");
  WriteText(folder + QLatin1Char('/') + view, PreviewViewPage(exported, options.Style, options.Page, false));
  WriteText(folder + QLatin1Char('/') + imagesOff, PreviewViewPage(exported, options.Style, options.Page, true));
  const TPageLayout page = PageLayoutOf(copy.Grid, copy.Cells);
  const int scale = options.Retina ? 2 : 1;
  const int width = page.Cells.empty() ? 0 : (page.ColumnEdges.back() - page.ColumnEdges.front()) / scale;
  const int height = page.Cells.empty() ? 0 : (page.RowEdges.back() - page.RowEdges.front()) / scale;
  const QString preview = folder + QStringLiteral("/preview.html");
  WriteText(preview, PreviewPage(name.toStdString(), QFile::encodeName(view).toStdString(),
                                 QFile::encodeName(imagesOff).toStdString(), width, height));
  if (!FDialogs.ShellOpen(QUrl::fromLocalFile(preview).toString()))
    throw std::runtime_error("No browser could be started; the preview is at " + preview.toStdString());
  return preview;
}
