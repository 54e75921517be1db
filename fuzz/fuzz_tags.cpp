// The parser of tessel-cli slice --tags files on arbitrary text, and the
// writer of the tags file beside a grid on what it parsed: read back, that
// file gives the same texts and records the lines it was written for; the
// texts brought to other lines lose no cell of an unchanged rectangle.

#include <algorithm>
#include <stdexcept>
#include <string>

#include "app/common/atomicfile.h"
#include "app/common/convert.h"
#include "app/cut/companionfile.h"
#include "app/cut/gridfit.h"
#include "app/cut/tagsfile.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  try {
    const TTagMap tags = ParseTags(text, "tags");
    if (tags.size() > size / 4 + 1) fuzz::Finding("more cells than lines");
    for (const auto& [cell, t] : tags)
      if (t.Link.size() + t.Target.size() + t.Alt.size() > size) fuzz::Finding("field longer than the text");
    // A carriage return inside a field is read as it stands, and written as
    // a space: the file keeps one slice a line.
    TTagMap kept;
    for (const auto& [cell, t] : tags) {
      if (t.Empty()) continue;
      TCellTags written = t;
      for (std::string* field : {&written.Link, &written.Target, &written.Alt}) std::replace(field->begin(), field->end(), '\r', ' ');
      kept[cell] = written;
    }
    if (ParseTags(CrLfText(TagsFileLines(tags)), "written") != kept) fuzz::Finding("written tags read back otherwise");
    TSplitGrid grid;
    grid.ResetToImage(60, 40);
    grid.VertSplits.Add(20);
    TLinesRecord lines;
    if (ParseTags(CrLfText(TagsFileLines(tags, &grid)), "written", &lines) != kept ||
        (!kept.empty() && !SameLines(RecordedGrid(lines, {}), grid)))
      fuzz::Finding("tags written for a grid read back otherwise");
    TGridData moved{grid, kept, {}};
    TSplitGrid more = grid;
    more.VertSplits.Add(40);
    FitToLines(moved, more, "written");
    // Cells of the grid only: what lies outside it has no rectangle to keep.
    const bool inside = std::all_of(kept.begin(), kept.end(), [](const auto& entry) {
      return (entry.first.first == 1 || entry.first.first == 2) && entry.first.second == 1;
    });
    if (inside && kept.count({1, 1}) && !(moved.Tags[{1, 1}] == kept.at({1, 1})))
      fuzz::Finding("a kept cell lost its texts");
  } catch (const EConvertError&) {
  } catch (const std::runtime_error&) {
  }
  return 0;
}
