#include "cli/slicereport.h"

#include <sys/stat.h>

#include <algorithm>

std::string SliceLine(const TSliceOutcome& slice) {
  std::string line = slice.Path + ": " + std::to_string(slice.Bytes) + " bytes";
  if (slice.Quality >= 0 || !slice.Reason.empty()) line += ", " + FormatAndQuality(slice);
  if (!slice.Reason.empty()) line += ", " + slice.Reason;
  return line + "\n";
}

void TSliceReport::Placed(const std::string& path, bool unchanged) {
  struct stat st {};
  FPlaced.push_back({path, ::stat(path.c_str(), &st) == 0 ? std::uint64_t(st.st_size) : 0, unchanged});
}

std::uint64_t TSliceReport::SliceBytes() const { return TotalBytes(FSlices); }

const TSliceReport::TPlaced* TSliceReport::PlacedAt(const std::string& path) const {
  const auto it = std::find_if(FPlaced.begin(), FPlaced.end(), [&](const TPlaced& p) { return p.Path == path; });
  return it == FPlaced.end() ? nullptr : &*it;
}

namespace {

std::string SlicesAndBytes(std::size_t files, std::uint64_t bytes) {
  return "total: " + std::to_string(files) + (files == 1 ? " slice, " : " slices, ") + std::to_string(bytes) +
         " bytes";
}

}  // namespace

std::string TSliceReport::Text() const {
  std::string text;
  for (const TSliceOutcome& slice : FSlices) text += SliceLine(slice);
  std::uint64_t page = SliceBytes();
  for (const TPlaced& file : FPlaced) {
    if (std::any_of(FSlices.begin(), FSlices.end(), [&](const TSliceOutcome& s) { return s.Path == file.Path; }))
      continue;
    text += file.Path + ": " + std::to_string(file.Bytes) + " bytes\n";
    if (file.Path == FPlan.HtmlPath) page += file.Bytes;
  }
  for (const std::string& path : FRemoved) text += "removed " + path + "\n";
  return text + SlicesAndBytes(FSlices.size(), SliceBytes()) + "; " + std::to_string(page) + " bytes with " +
         FPlan.HtmlPath + "\n";
}

std::string TSliceReport::DryRunText() const {
  std::string text;
  for (const TSliceOutcome& slice : FSlices) text += SliceLine(slice);
  return text + SlicesAndBytes(FSlices.size(), SliceBytes()) + " (dry run: nothing written)\n";
}

void TSliceReport::Files(TJsonWriter& json, const TTagMap& texts, bool dryRun) const {
  if (FPlan.HtmlPath.empty()) {  // ended before there was a plan
    json.Key("slices").BeginArray().EndArray().Key("page").Null();
    json.Key("companions").BeginArray().EndArray().Key("removed").BeginArray().EndArray();
    return;
  }
  json.Key("slices").BeginArray();
  for (std::size_t i = 0; i < FPlan.Slices.size(); ++i) {
    const TPlannedSlice& planned = FPlan.Slices[i];
    const TGridCell& cell = FPlan.Page.Cells[planned.Cell].Cell;
    json.BeginObject();
    if (i < FSlices.size()) {
      const TSliceOutcome& slice = FSlices[i];
      json.Key("file").String(slice.Path).Key("format").String(slice.Format);
      json.Key("quality");
      slice.Quality >= 0 ? json.Number(slice.Quality) : json.Null();
      json.Key("bytes").Number(std::int64_t(slice.Bytes)).Key("why").String(slice.Reason);
      if (const TPlaced* placed = PlacedAt(slice.Path)) json.Key("unchanged").Bool(placed->Unchanged);
    } else if (planned.Chosen()) {
      // Which it becomes is known once it is made: every file it may be.
      json.Key("file").Null().Key("candidates").BeginArray();
      for (const std::string& extension : AutoFormatExtensions(AutoFormatsFor(FPlan.Rules)))
        json.String(planned.Path + extension);
      json.EndArray();
    } else {
      json.Key("file").String(planned.Path).Key("format").String(planned.Format.Format.Format
                                                                        ? planned.Format.Format.Format->Name
                                                                        : planned.Writer);
    }
    json.Key("width").Number(planned.Width ? planned.Width : cell.Width);
    json.Key("height").Number(planned.Height ? planned.Height : cell.Height);
    json.Key("cell").BeginObject().Key("column").Number(cell.Column).Key("row").Number(cell.Row);
    json.Key("x").Number(cell.Left).Key("y").Number(cell.Top).Key("width").Number(cell.Width);
    json.Key("height").Number(cell.Height).EndObject();
    const auto text = texts.find({cell.Column, cell.Row});
    const TCellTags none;
    const TCellTags& tags = text == texts.end() ? none : text->second;
    json.Key("link").String(tags.Link).Key("target").String(tags.Target).Key("alt").String(tags.Alt);
    json.EndObject();
  }
  json.EndArray();
  const auto file = [&](const std::string& path) {
    json.BeginObject().Key("file").String(path);
    if (const TPlaced* placed = PlacedAt(path))
      json.Key("bytes").Number(std::int64_t(placed->Bytes)).Key("unchanged").Bool(placed->Unchanged);
    json.EndObject();
  };
  json.Key("page");
  file(FPlan.HtmlPath);
  json.Key("companions").BeginArray();
  for (const std::string* path : {&FPlan.GridFiles.Grid, &FPlan.GridFiles.Tags, &FPlan.GridFiles.Cells})
    if (!path->empty() && (dryRun || PlacedAt(*path))) file(*path);
  json.EndArray();
  json.Key("removed").BeginArray();
  for (const std::string& path : FRemoved) json.String(path);
  json.EndArray();
  if (dryRun) {
    json.Key("outputs").BeginArray();
    for (const std::string& path : FPlan.Outputs) json.String(path);
    json.EndArray();
    return;
  }
  const TPlaced* page = PlacedAt(FPlan.HtmlPath);
  json.Key("total").BeginObject().Key("slices").Number(std::int64_t(FSlices.size()));
  json.Key("slice_bytes").Number(std::int64_t(SliceBytes()));
  json.Key("page_bytes").Number(std::int64_t(SliceBytes() + (page ? page->Bytes : 0))).EndObject();
}
