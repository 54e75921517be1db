#include "app/cut/tagsfile.h"

#include <algorithm>
#include <stdexcept>
#include <vector>

#include "app/common/convert.h"
#include "app/cut/companionfile.h"

std::vector<std::string> SplitOn(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (std::size_t i = 0; i <= text.size(); ++i) {
    if (i < text.size() && text[i] != separator) continue;
    parts.push_back(text.substr(start, i - start));
    start = i + 1;
  }
  return parts;
}

TTagMap ParseTags(const std::string& text, const std::string& sourceName, TLinesRecord* lines) {
  TTagMap tags;
  TLinesRecord record;
  int lineNumber = 0;
  for (const std::string& line : CompanionFileLines(text)) {
    ++lineNumber;
    if (line.empty() || TakeLinesRecord(line, record, sourceName, lineNumber)) continue;
    // Counted before splitting, so a line of a million tabs is refused
    // without building a million fields.
    const auto tabs = std::count(line.begin(), line.end(), '\t');
    if (tabs < 1 || tabs > 4)
      throw std::runtime_error(sourceName + ", line " + std::to_string(lineNumber) +
                               ": expected column, row, link, target, alt separated by tabs");
    std::vector<std::string> f = SplitOn(line, '\t');
    f.resize(5);
    tags[{StrToIntOnLine(f[0], sourceName, lineNumber), StrToIntOnLine(f[1], sourceName, lineNumber)}] =
        {f[2], f[3], f[4]};
  }
  if (lines) *lines = record;
  return tags;
}

TTagMap ReadTagsFile(const std::string& path, TLinesRecord* lines) {
  return ParseTags(ReadInputText(path), path, lines);
}

namespace {

std::string OnOneLine(std::string text) {
  for (char& c : text)
    if (c == '\t' || c == '\r' || c == '\n') c = ' ';
  return text;
}

}  // namespace

std::vector<std::string> TagsFileLines(const TTagMap& tags, const TSplitGrid* writtenFor) {
  std::vector<std::pair<std::pair<int, int>, const TCellTags*>> rows;
  for (const auto& [cell, texts] : tags)
    if (!texts.Empty()) rows.push_back({{cell.second, cell.first}, &texts});
  std::sort(rows.begin(), rows.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  std::vector<std::string> lines;
  if (writtenFor && !rows.empty()) lines = LinesRecordLines(*writtenFor);
  for (const auto& [rowColumn, texts] : rows) {
    std::vector<std::string> fields{std::to_string(rowColumn.second), std::to_string(rowColumn.first),
                                    OnOneLine(texts->Link), OnOneLine(texts->Target),
                                    OnOneLine(texts->Alt)};
    while (fields.size() > 2 && fields.back().empty()) fields.pop_back();
    std::string line = fields[0];
    for (std::size_t i = 1; i < fields.size(); ++i) line += '\t' + fields[i];
    lines.push_back(line);
  }
  return lines;
}
