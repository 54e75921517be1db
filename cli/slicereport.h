#pragma once
// What tessel-cli slice says of an export: each slice's line (file, bytes,
// format, why), the page's and the grid files' lines, the slices removed
// and the total as text; or all of it, with each slice's cell, size and
// texts, as one JSON document (--json). The dry run's say the same of the
// export it plans.

#include <cstdint>
#include <string>
#include <vector>

#include "app/cut/griddata.h"
#include "app/export/exportplan.h"
#include "app/export/sliceoutcome.h"
#include "cli/json.h"

// "PATH: BYTES bytes", and its format and why where known.
std::string SliceLine(const TSliceOutcome& slice);

class TSliceReport {
 public:
  void Planned(const TExportPlan& plan) { FPlan = plan; }
  void Encoded(const std::vector<TSliceOutcome>& slices) { FSlices = slices; }
  // A file in its place (the HTML and grid files are weighed here).
  void Placed(const std::string& path, bool unchanged);
  void Removed(const std::string& path) { FRemoved.push_back(path); }

  const TExportPlan& Plan() const { return FPlan; }

  // The lines of an export: slices, the page and grid files, removed
  // files, the total of the page with its slices.
  std::string Text() const;
  // The lines of a dry run that weighed the slices.
  std::string DryRunText() const;
  // The document's members that tell of the files: of an export, or of a
  // dry run (every file it would write, no sizes; a slice whose format is
  // chosen with the files it may become). texts: the cut's, for each
  // slice's link and ALT text.
  void Files(TJsonWriter& json, const TTagMap& texts, bool dryRun) const;

 private:
  struct TPlaced {
    std::string Path;
    std::uint64_t Bytes = 0;
    bool Unchanged = false;
  };
  std::uint64_t SliceBytes() const;
  const TPlaced* PlacedAt(const std::string& path) const;

  TExportPlan FPlan;
  std::vector<TSliceOutcome> FSlices;
  std::vector<TPlaced> FPlaced;
  std::vector<std::string> FRemoved;
};
