#pragma once
// File > Preview in Browser: the cut exported as the options stand into a
// private temporary folder (nothing is written beside the design), and a
// preview page of it (app/export/previewpage.h) opened in the desktop's
// browser. Each preview has a folder of its own, so that a browser still
// showing the one before keeps it; all go when the window does.

#include <QString>

#include "app/cut/griddata.h"
#include "app/export/exportoptions.h"
#include "pgraphic/core/stagedfile.h"
#include "platform/privatetempdir.h"

class TMainWindowDialogs;
class TPixelGraphic;
struct TOutputFormat;

class TBrowserPreview {
 public:
  // parent: where the private folder is made.
  TBrowserPreview(TMainWindowDialogs& dialogs, QString parent);

  // Exports source, cut as cut stands (texts from the cut, no dialog), in
  // format with options, as name.html, and opens the preview page; returns
  // its path. sourceFile: the file the image came from, which no export
  // replaces. Errors raise, the preview then not opened.
  QString Run(TPixelGraphic& source, const TGridData& cut, const TOutputFormat& format, TExportOptions options,
              const QString& name, const TFileIdentity& sourceFile);

 private:
  TMainWindowDialogs& FDialogs;
  TPGPrivateTempDir FDir;
  int FCount = 0;
};
