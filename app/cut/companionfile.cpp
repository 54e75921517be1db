#include "app/cut/companionfile.h"

#include <algorithm>
#include <iostream>
#include <iterator>
#include <stdexcept>

#include "app/common/convert.h"
#include "app/cut/gridfile.h"
#include "app/cut/tagsfile.h"
#include "pgraphic/core/stream.h"

std::vector<std::string> CompanionFileLines(const std::string& text) {
  static const std::string bom = "\xEF\xBB\xBF";
  const std::size_t first = text.compare(0, bom.size(), bom) == 0 ? bom.size() : 0;
  std::vector<std::string> lines;
  std::size_t start = first;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    const std::size_t next = end == std::string::npos ? text.size() : end + 1;
    if (end == std::string::npos) end = text.size();
    if (end > start && text[end - 1] == '\r') --end;
    lines.push_back(text.substr(start, end - start));
    start = next;
  }
  return lines;
}

std::string ReadInputText(const std::string& path) {
  if (path == "-") {
    // Standard input can be read once: a second reading (an export that
    // goes back to load its source first) finds what the first did.
    static const std::string* input = nullptr;
    if (!input) {
      std::string text{std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>()};
      if (std::cin.bad()) throw EStreamError("Cannot read standard input");
      input = new std::string(std::move(text));
    }
    return *input;
  }
  return ReadWholeFile(path);
}

std::vector<std::string> LinesRecordLines(const TSplitGrid& grid) {
  const auto record = [](const char* direction, const TIntegerList& list) {
    // Sorted, as the cells count in them: the record reads as the grid looks.
    std::vector<std::int32_t> positions = list.Values();
    std::sort(positions.begin(), positions.end());
    std::string line = std::string(LinesKeyword) + '\t' + direction + '\t';
    for (std::size_t i = 0; i < positions.size(); ++i) line += (i ? "," : "") + std::to_string(positions[i]);
    return line;
  };
  return {record("horizontal", grid.HorzSplits), record("vertical", grid.VertSplits)};
}

bool TakeLinesRecord(const std::string& line, TLinesRecord& record, const std::string& sourceName, int lineNumber) {
  const std::string prefix = std::string(LinesKeyword) + '\t';
  if (line.compare(0, prefix.size(), prefix) != 0) return false;
  // Counted before splitting, so a record of a million tabs builds no fields.
  const bool three = std::count(line.begin(), line.end(), '\t') == 2;
  const std::vector<std::string> fields = three ? SplitOn(line, '\t') : std::vector<std::string>{};
  if (!three || (fields[1] != "horizontal" && fields[1] != "vertical"))
    throw std::runtime_error(sourceName + ", line " + std::to_string(lineNumber) +
                             ": expected lines, horizontal or vertical, and the positions separated by commas");
  TIntegerList positions;
  if (!fields[2].empty())
    for (const std::string& text : SplitOn(fields[2], ','))
      positions.Add(StrToIntOnLine(text, sourceName, lineNumber));
  (fields[1] == "horizontal" ? record.Horz : record.Vert) = positions;
  return true;
}

TSplitGrid RecordedGrid(const TLinesRecord& record, const TSplitGrid& grid) {
  TSplitGrid recorded = grid;
  if (record.Horz) recorded.HorzSplits = *record.Horz;
  if (record.Vert) recorded.VertSplits = *record.Vert;
  return recorded;
}
