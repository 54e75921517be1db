#pragma once
// What the caller of an export sets before it runs: the options, the
// slices' format, how many threads may encode them, what must still be
// there when it ends, and the file it must never replace.

#include <string>

#include "app/common/outputformats.h"
#include "app/common/recentfiles.h"
#include "app/export/exportoptions.h"
#include "pgraphic/core/stagedfile.h"

struct TExportSettings {
  // The export options dialog (Options.ShowOptions) may change them.
  TExportOptions Options;
  // The slices' extension (".jpg", ".png" ...) and writer by its registry
  // extension ("png8" for PNG slices of 256 colours; empty: the one of
  // OutputExtension). SetOutputFormat sets both from one format of
  // app/common/outputformats.h and keeps the format: "auto" has neither,
  // each slice's format being chosen for it (app/export/formatchoice.h).
  // Without a format the slices go by extension and writer alone.
  std::string OutputExtension = ".jpg";
  std::string OutputWriter;
  const TOutputFormat* OutputFormat = nullptr;
  void SetOutputFormat(const TOutputFormat& format) {
    OutputExtension = format.Extension;
    OutputWriter = format.Writer;
    OutputFormat = &format;
  }
  // Threads that encode and write the slices when no per-slice dialog is
  // shown. Files, HTML and failures are those of the one-thread export: the
  // first failing cell in cell order is the failure reported. 1 keeps every
  // step on the calling thread.
  int EncodeThreads = 1;
  // Whether the export's slice image ends holding the last cell, as the
  // window shows it. Without it (and without per-slice dialogs) cells of a
  // 24-bit source are written straight from the source's rows and never
  // copied.
  bool KeepLastSlice = true;
  // Whether the source keeps its pixels after an export that loads it.
  // Without it (and without the last slice kept, per-slice dialogs or the
  // mail page's and skipped cells' colours, which read the source after the
  // cutting) a band of the source's rows lends its memory to the next band
  // once every slice that needs it is written, so that memory follows the
  // work, not the picture; the source's rows read as zeros afterwards.
  bool KeepSourceRows = true;
  // For an export while the source loads: its file has alpha
  // (TFileInfo::Alpha), which loading keeps under KeepAlpha. A loaded
  // source tells by itself.
  bool SourceFileHasAlpha = false;
  // The slices' base name (app/export/slicenames.h); empty: the HTML
  // file's name up to its first dot.
  std::string SliceBaseName;
  // Whether a missing folder of the HTML file is made (and removed again
  // when the export writes nothing after all).
  bool MakeFolder = false;
  // Whether the export keeps the list of the files it wrote beside the page
  // (app/export/exportmanifest.h), and whether it removes the slices its
  // last export wrote that it no longer writes (only with that list).
  bool KeepManifest = false;
  bool Prune = false;
  // The file the source was loaded from (FileIdentityOf, taken when it was
  // opened): an export that would replace it under any name is refused.
  TFileIdentity SourceFile;
  TRecentFiles* RecentGrids = nullptr;  // gains the grid file when one is saved
};
