#pragma once
// The files an export of a page wrote, kept beside the page in the hidden
// file .PAGE.tessel-files (PAGE: the HTML file's name), so that the next
// export of the page knows which slices are its own, to remove those it no
// longer writes, and an export of another page in the folder knows which
// are not, never to replace them. Nothing but what Tessel wrote is ever
// named there, so nothing else is ever removed.
//
// The file: a first line "# ..." and then one line per file, its kind and
// its bare name (the files lie beside the page) between a tab:
//   page<TAB>index.html
//   slice<TAB>index_1_1.jpg
//   grid<TAB>index.grd     (and tags, cells)

#include <map>
#include <string>
#include <vector>

#include "pgraphic/core/stagedfile.h"

struct TManifestEntry {
  std::string Kind;  // page, slice, grid, tags, cells
  std::string Name;  // bare: the file lies beside the page
  friend bool operator==(const TManifestEntry&, const TManifestEntry&) = default;
};

// Where the manifest of the page htmlPath lies.
std::string ManifestPath(const std::string& htmlPath);

// The text of a manifest. Names that cannot stand on a line are left out
// (such files are never removed by a later export).
std::string ManifestText(const std::string& pageName, const std::vector<TManifestEntry>& entries);

// The entries of a manifest; none for a file that is missing or cannot
// be read, and lines of another form are passed over.
std::vector<TManifestEntry> ReadManifest(const std::string& path);

// The files the other pages of the folder wrote, by bare name, each with
// the page that wrote it. A manifest whose page is gone is passed over.
std::map<std::string, std::string> OtherPagesFiles(const std::string& folder, const std::string& htmlPath);

// The slices the last export of the page wrote that are not among now
// (bare names): existing regular files beside the page, never the source.
std::vector<std::string> SlicesToPrune(const std::string& htmlPath, const std::vector<std::string>& now,
                                       const TFileIdentity& source);
