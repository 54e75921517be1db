#include "app/cut/gridfile.h"

#include <cstdint>

#include "app/common/atomicfile.h"
#include "app/common/convert.h"
#include "pgraphic/core/stream.h"

std::vector<std::string> GridFileLines(const TSplitGrid& grid) {
  std::vector<std::string> lines;
  for (std::int32_t y : grid.HorzSplits.Values()) lines.push_back(std::to_string(y));
  lines.emplace_back("-");
  for (std::int32_t x : grid.VertSplits.Values()) lines.push_back(std::to_string(x));
  return lines;
}

void SaveGrid(const std::string& path, const TSplitGrid& grid) {
  WriteLinesAtomic(path, GridFileLines(grid));
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\r' && text[i] != '\n') continue;
    lines.push_back(text.substr(start, i - start));
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    start = i + 1;
  }
  if (start < text.size()) lines.push_back(text.substr(start));
  return lines;
}

std::vector<std::string> TextFileLines(const std::string& text) {
  static const std::string bom = "\xEF\xBB\xBF";
  return SplitLines(text.compare(0, bom.size(), bom) == 0 ? text.substr(bom.size()) : text);
}

std::string OutOfBoundsMessage(const std::string& value) {
  return "Grid larger than image, line " + value + " out of bounds!";
}

namespace {

struct TParsedLine {
  std::string Text;
  std::int32_t Value = 0;
  bool Vertical = false;
};

// Converts every line first, so a bad line anywhere leaves the grid alone.
std::vector<TParsedLine> ParseGridLines(const std::vector<std::string>& lines,
                                        const std::string& sourceName) {
  std::vector<TParsedLine> parsed;
  bool vertical = false;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const std::string& line = lines[i];
    if (line == "-") {
      vertical = true;
      continue;
    }
    parsed.push_back({line, StrToIntOnLine(line, sourceName, int(i + 1)), vertical});
  }
  return parsed;
}

std::int32_t CheckedValue(const TParsedLine& line, int extent, const TGridMessageEvent& onMessage) {
  if (line.Value > extent && onMessage) onMessage(OutOfBoundsMessage(line.Text));
  return ClampToExtent(line.Value, extent);
}

}  // namespace

std::string ReadWholeFile(const std::string& path) {
  TFileStream stream(path, TFileStream::fmOpenRead);
  const std::int64_t size = stream.Size();
  if (size < 0 || static_cast<std::uint64_t>(size) > std::string().max_size())
    throw EStreamError("Stream read error");
  std::string text(static_cast<std::size_t>(size), '\0');
  stream.ReadBuffer(text.data(), size);
  return text;
}

void LoadGridText(const std::string& text, TSplitGrid& grid, int width, int height,
                  const TGridMessageEvent& onMessage, const std::string& sourceName) {
  const std::vector<TParsedLine> parsed = ParseGridLines(TextFileLines(text), sourceName);
  TSplitGrid loaded;
  for (const TParsedLine& line : parsed) {
    TIntegerList& list = line.Vertical ? loaded.VertSplits : loaded.HorzSplits;
    list.Add(CheckedValue(line, line.Vertical ? width : height, onMessage));
  }
  grid = loaded;
}

void LoadGrid(const std::string& path, TSplitGrid& grid, int width, int height,
              const TGridMessageEvent& onMessage) {
  LoadGridText(ReadWholeFile(path), grid, width, height, onMessage, path);
}
