#include "cli/slicecut.h"

#include <filesystem>
#include <stdexcept>
#include <system_error>

#include "app/common/convert.h"
#include "app/cut/cellsfile.h"
#include "app/cut/griddatafiles.h"
#include "app/cut/gridfit.h"

TSliceInputs SliceInputsOf(const TCliParsed& parsed) {
  TSliceInputs inputs{parsed.Get("--grid"), parsed.Get("--tags"), parsed.Get("--cells"),
                      parsed.All("--vert"), parsed.All("--horz"), parsed.Has("--strict")};
  int fromInput = 0;
  for (const std::string* path : {&inputs.Grid, &inputs.Tags, &inputs.Cells}) fromInput += *path == "-";
  if (fromInput > 1) throw TCliUsageError("only one of --grid, --tags and --cells can read standard input (-)");
  return inputs;
}

namespace {

// The companion beside the grid file, unless the command line names one of
// its own or the grid comes from standard input.
std::string Beside(const TSliceInputs& inputs, const std::string& given, const char* extension) {
  if (!given.empty() || inputs.Grid.empty() || inputs.Grid == "-") return "";
  return CompanionPath(inputs.Grid, extension);
}

// Positions of --vert/--horz, comma separated, each added as the window's
// Add Splitline adds it; one that lies there already adds nothing.
void AddLines(const std::vector<std::string>& values, bool vertical, int extent, TSliceCut& made) {
  for (const std::string& list : values)
    for (const std::string& text : SplitOn(list, ',')) {
      std::int32_t value;
      try {
        value = StrToInt(text);
      } catch (const EConvertError& e) {
        throw TCliUsageError(e.what());
      }
      if (value < 0 || value > extent) {
        made.Warnings.push_back(std::string(vertical ? "vertical" : "horizontal") + " position " +
                                std::to_string(value) + " outside 0-" + std::to_string(extent) + ", ignored");
        continue;
      }
      if (auto added = WithLineAdded(made.Cut, !vertical, value, extent)) made.Cut = std::move(*added);
    }
}

// The texts and cells the command line names for themselves count in the
// lines their file records, or else in those of the cut as it stands.
void AddGivenData(const TSliceInputs& inputs, TSliceCut& made) {
  const auto warn = [&made](const std::string& message) { made.Warnings.push_back(message); };
  const TSplitGrid& grid = made.Cut.Grid;
  std::string moved;
  if (!inputs.Tags.empty()) {
    made.Cut.Tags = FittedTags(inputs.Tags, grid, grid, moved);
    if (!moved.empty()) warn(moved);
  }
  if (!inputs.Cells.empty()) {
    made.Cut.Cells = FittedCells(inputs.Cells, grid, grid, warn, moved);
    if (!moved.empty()) warn(moved);
  }
}

}  // namespace

TSliceCut BuildCut(const TSliceInputs& inputs, int width, int height) {
  TSliceCut made;
  made.Cut.Grid.ResetToImage(width, height);
  if (!inputs.Grid.empty()) {
    TGridReading reading;
    made.Cut = ReadGridData({inputs.Grid, Beside(inputs, inputs.Tags, TagsExtension),
                             Beside(inputs, inputs.Cells, CellsExtension)},
                            width, height, reading);
    for (const TGridStray& stray : reading.Strays) {
      made.Warnings.push_back(StrayMessage(stray, inputs.Grid));
      if (made.Misfit.empty()) made.Misfit = made.Warnings.back();
    }
    made.Warnings.insert(made.Warnings.end(), reading.Warnings.begin(), reading.Warnings.end());
    const std::string tags = CompanionPath(inputs.Grid, TagsExtension);
    for (const auto& [column, row] : reading.StrayTexts)
      made.Warnings.push_back(tags + ": no slice " + std::to_string(column) + "," + std::to_string(row) +
                              " for its texts, left out");
  }
  AddLines(inputs.Vert, true, width, made);
  AddLines(inputs.Horz, false, height, made);
  AddGivenData(inputs, made);
  return made;
}
