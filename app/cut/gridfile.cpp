#include "app/cut/gridfile.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

#include "app/common/atomicfile.h"
#include "app/common/convert.h"
#include "app/common/text.h"
#include "app/cut/companionfile.h"
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
  return "Grid larger than image, line " + QuotedInMessage(value) + " out of bounds!";
}

namespace {

struct TParsedLine {
  std::string Text;
  std::int32_t Value = 0;
  bool Vertical = false;
  int Line = 0;
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
    parsed.push_back({line, StrToIntOnLine(line, sourceName, int(i + 1)), vertical, int(i + 1)});
  }
  return parsed;
}

std::int32_t CheckedValue(const TParsedLine& line, int extent, const TGridMessageEvent& onMessage,
                          std::vector<TGridStray>* strays) {
  if (line.Value > extent && onMessage) onMessage(OutOfBoundsMessage(line.Text));
  const std::int32_t value = ClampToExtent(line.Value, extent);
  if (strays && value != line.Value) strays->push_back({line.Vertical, line.Text, value, line.Line});
  return value;
}

}  // namespace

std::string ReadWholeFile(const std::string& path) {
  // A folder, a pipe or a device has no size to read up to: said as such
  // rather than as whatever reading it would raise.
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode))
    throw EStreamError("Cannot open file \"" + path + "\". " +
                       (S_ISDIR(st.st_mode) ? std::strerror(EISDIR) : "Not a regular file"));
  TFileStream stream(path, TFileStream::fmOpenRead);
  const std::int64_t size = stream.Size();
  if (size < 0 || static_cast<std::uint64_t>(size) > std::string().max_size())
    throw EStreamError("Stream read error");
  std::string text(static_cast<std::size_t>(size), '\0');
  stream.ReadBuffer(text.data(), size);
  return text;
}

void LoadGridText(const std::string& text, TSplitGrid& grid, int width, int height,
                  const TGridMessageEvent& onMessage, const std::string& sourceName,
                  std::vector<TGridStray>* strays) {
  const std::vector<TParsedLine> parsed = ParseGridLines(TextFileLines(text), sourceName);
  TSplitGrid loaded;
  for (const TParsedLine& line : parsed) {
    TIntegerList& list = line.Vertical ? loaded.VertSplits : loaded.HorzSplits;
    list.Add(CheckedValue(line, line.Vertical ? width : height, onMessage, strays));
  }
  grid = loaded;
}

void LoadGrid(const std::string& path, TSplitGrid& grid, int width, int height,
              const TGridMessageEvent& onMessage, std::vector<TGridStray>* strays) {
  LoadGridText(ReadInputText(path), grid, width, height, onMessage, path, strays);
}

std::string StrayMessage(const TGridStray& stray, const std::string& sourceName) {
  const std::string at = sourceName + ", line " + std::to_string(stray.Line) + ": ";
  const std::string edge = std::to_string(stray.TakenAs);
  if (stray.Beyond()) return at + OutOfBoundsMessage(stray.Text) + " (taken as " + edge + ", the image's edge)";
  return at + "line " + stray.Text + " lies before the image's edge (taken as " + edge + ")";
}
