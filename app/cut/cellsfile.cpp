#include "app/cut/cellsfile.h"

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <map>
#include <optional>
#include <stdexcept>
#include <tuple>
#include <type_traits>

#include "app/common/convert.h"
#include "app/common/outputformats.h"
#include "app/common/text.h"
#include "app/cut/tagsfile.h"

namespace {

struct TLineError {
  const std::string& Source;
  int Line;

  [[noreturn]] void Raise(const std::string& what) const {
    throw std::runtime_error(Source + ", line " + std::to_string(Line) + ": " + what);
  }
  int Number(const std::string& text, int least, int most, const char* name) const {
    const std::int32_t value = StrToIntOnLine(text, Source, Line);
    if (value < least || value > most)
      Raise(std::string(name) + " " + text + " is not from " + std::to_string(least) + " to " + std::to_string(most));
    return value;
  }
};

constexpr int MaxNumber = 2147483647;

// The grid cells of merge records as rectangles, with the lines they came from.
struct TMergeLine {
  std::int64_t Left, Top, Right, Bottom;  // cells, the right and bottom ones excluded
  int Line;
};

// Finds two merges that share a cell with one sweep over the columns:
// the rectangles still open hold rows that never overlap, so a new one
// need only be compared with its neighbours. Raises naming the later line.
void RefuseOverlaps(std::vector<TMergeLine> merges, const std::string& source) {
  struct TEdge {
    std::int64_t X;
    bool Opens;
    std::size_t Index;
  };
  std::vector<TEdge> edges;
  for (std::size_t i = 0; i < merges.size(); ++i) {
    edges.push_back({merges[i].Left, true, i});
    edges.push_back({merges[i].Right, false, i});
  }
  // At one column, rectangles that end there close before others open.
  std::sort(edges.begin(), edges.end(), [](const TEdge& a, const TEdge& b) {
    return a.X != b.X ? a.X < b.X : (!a.Opens && b.Opens);
  });
  std::map<std::int64_t, std::size_t> open;  // by top row
  for (const TEdge& edge : edges) {
    const TMergeLine& m = merges[edge.Index];
    if (!edge.Opens) {
      open.erase(m.Top);
      continue;
    }
    auto next = open.lower_bound(m.Top);
    std::optional<std::size_t> other;
    if (next != open.end() && merges[next->second].Top < m.Bottom) other = next->second;
    if (!other && next != open.begin() && merges[std::prev(next)->second].Bottom > m.Top)
      other = std::prev(next)->second;
    if (other) {
      const int first = std::min(m.Line, merges[*other].Line), later = std::max(m.Line, merges[*other].Line);
      TLineError{source, later}.Raise("the merge overlaps the one of line " + std::to_string(first));
    }
    open[m.Top] = edge.Index;
  }
}

}  // namespace

TCellData ParseCells(const std::string& text, const std::string& sourceName,
                     const TCellsWarningEvent& onWarning, TLinesRecord* lines, TCellsFileLines* where) {
  TCellData cells;
  TCellsFileLines recordLines;
  std::map<std::string, TCellKey> taken;  // the names so far, lower case
  TLinesRecord record;
  std::vector<TMergeLine> merges;
  int lineNumber = 0;
  for (const std::string& line : CompanionFileLines(text)) {
    ++lineNumber;
    if (line.empty() || line[0] == '#' || TakeLinesRecord(line, record, sourceName, lineNumber)) continue;
    const TLineError at{sourceName, lineNumber};
    const std::string keyword = line.substr(0, line.find('\t'));
    // Counted before splitting, so a line of a million tabs builds no fields.
    const auto fields = std::count(line.begin(), line.end(), '\t') + 1;
    if (keyword == "merge") {
      if (fields != 5) at.Raise("expected merge, column, row, columns, rows separated by tabs");
      const std::vector<std::string> f = SplitOn(line, '\t');
      const int column = at.Number(f[1], 1, MaxNumber, "column");
      const int row = at.Number(f[2], 1, MaxNumber, "row");
      const int columns = at.Number(f[3], 1, MaxNumber - column + 1, "columns");
      const int rows = at.Number(f[4], 1, MaxNumber - row + 1, "rows");
      merges.push_back({column, row, std::int64_t(column) + columns, std::int64_t(row) + rows, lineNumber});
      cells.Merges[{column, row}] = {columns, rows};
      recordLines.Merges[{column, row}] = lineNumber;
    } else if (keyword == "skip") {
      if (fields != 3) at.Raise("expected skip, column, row separated by tabs");
      const std::vector<std::string> f = SplitOn(line, '\t');
      const TCellKey cell{at.Number(f[1], 1, MaxNumber, "column"), at.Number(f[2], 1, MaxNumber, "row")};
      cells.Skips.insert(cell);
      recordLines.Skips[cell] = lineNumber;
    } else if (keyword == "format") {
      if (fields != 4 && fields != 5) at.Raise("expected format, column, row, format and quality separated by tabs");
      const std::vector<std::string> f = SplitOn(line, '\t');
      const TCellKey cell{at.Number(f[1], 1, MaxNumber, "column"), at.Number(f[2], 1, MaxNumber, "row")};
      if (!FindOutputFormat(f[3]))
        at.Raise("the format must be " + OutputFormatNames() + ", not \"" + QuotedInMessage(f[3]) + "\"");
      TCellFormat format{f[3]};
      if (fields == 5) format.Quality = at.Number(f[4], 0, 100, "quality");
      cells.Formats[cell] = format;
      recordLines.Formats[cell] = lineNumber;
    } else if (keyword == "name") {
      if (fields != 4) at.Raise("expected name, column, row and name separated by tabs");
      const std::vector<std::string> f = SplitOn(line, '\t');
      const TCellKey cell{at.Number(f[1], 1, MaxNumber, "column"), at.Number(f[2], 1, MaxNumber, "row")};
      if (const std::string problem = SliceNameProblem(f[3]); !problem.empty()) at.Raise(problem);
      // Names kept as they come, case ignored: a file of many names is read
      // in one pass.
      if (const auto old = cells.Names.find(cell); old != cells.Names.end()) taken.erase(LowerAscii(old->second));
      if (!taken.emplace(LowerAscii(f[3]), cell).second)
        at.Raise("the slice name \"" + QuotedInMessage(f[3]) + "\" is taken by another cell already");
      cells.Names[cell] = f[3];
      recordLines.Names[cell] = lineNumber;
    } else if (onWarning) {
      onWarning(sourceName + ", line " + std::to_string(lineNumber) + ": unknown record \"" +
                QuotedInMessage(keyword) + "\", passed over");
    }
  }
  RefuseOverlaps(std::move(merges), sourceName);
  if (lines) *lines = record;
  if (where) *where = std::move(recordLines);
  return cells;
}

TCellData ReadCellsFile(const std::string& path, const TCellsWarningEvent& onWarning, TLinesRecord* lines,
                        TCellsFileLines* where) {
  return ParseCells(ReadInputText(path), path, onWarning, lines, where);
}

namespace {

// Row by row, as the slices are written.
template <class Map>
std::vector<TCellKey> RowByRow(const Map& cells) {
  std::vector<TCellKey> keys;
  for (const auto& entry : cells) {
    if constexpr (std::is_same_v<typename Map::value_type, TCellKey>)
      keys.push_back(entry);
    else
      keys.push_back(entry.first);
  }
  std::sort(keys.begin(), keys.end(),
            [](const TCellKey& a, const TCellKey& b) { return std::tie(a.second, a.first) < std::tie(b.second, b.first); });
  return keys;
}

std::string Record(const char* keyword, const TCellKey& cell) {
  return std::string(keyword) + '\t' + std::to_string(cell.first) + '\t' + std::to_string(cell.second);
}

}  // namespace

std::vector<std::string> CellsFileLines(const TCellData& cells, const TSplitGrid* writtenFor) {
  std::vector<std::string> lines;
  if (writtenFor && !cells.Empty()) lines = LinesRecordLines(*writtenFor);
  for (const TCellKey& cell : RowByRow(cells.Merges)) {
    const TCellSpan& span = cells.Merges.at(cell);
    lines.push_back(Record("merge", cell) + '\t' + std::to_string(span.Columns) + '\t' + std::to_string(span.Rows));
  }
  for (const TCellKey& cell : RowByRow(cells.Skips)) lines.push_back(Record("skip", cell));
  for (const TCellKey& cell : RowByRow(cells.Formats)) {
    const TCellFormat& format = cells.Formats.at(cell);
    std::string line = Record("format", cell) + '\t' + format.Format;
    if (format.Quality != TCellFormat::NoQuality) line += '\t' + std::to_string(format.Quality);
    lines.push_back(line);
  }
  for (const TCellKey& cell : RowByRow(cells.Names)) lines.push_back(Record("name", cell) + '\t' + cells.Names.at(cell));
  return lines;
}

std::string CellsProblem(const TCellData& cells, const TSplitGrid& grid, const std::string& sourceName,
                         const TCellsFileLines* where) {
  TSplitGrid sorted = grid;
  sorted.SortBoth();
  const std::int64_t columns = sorted.ColumnCount(), rows = sorted.RowCount();
  const auto name = [](const TCellKey& cell) {
    return std::to_string(cell.first) + ", " + std::to_string(cell.second);
  };
  // The source, and the line of the record when it is known.
  const auto of = [&](const std::map<TCellKey, int> TCellsFileLines::*kind, const TCellKey& cell) {
    if (!where) return sourceName;
    const auto line = (where->*kind).find(cell);
    return line == (where->*kind).end() ? sourceName : sourceName + ", line " + std::to_string(line->second);
  };
  const std::string size = std::to_string(columns) + " x " + std::to_string(rows);
  for (const auto& [cell, span] : cells.Merges)
    if (std::int64_t(cell.first) + span.Columns - 1 > columns || std::int64_t(cell.second) + span.Rows - 1 > rows)
      return of(&TCellsFileLines::Merges, cell) + ": the merged cell at " + name(cell) + " (" + std::to_string(span.Columns) + " x " +
             std::to_string(span.Rows) + " cells) reaches beyond the grid of " + size + " cells";
  std::vector<std::pair<TCellKey, std::map<TCellKey, int> TCellsFileLines::*>> named;
  for (const TCellKey& cell : RowByRow(cells.Skips)) named.push_back({cell, &TCellsFileLines::Skips});
  for (const TCellKey& cell : RowByRow(cells.Formats)) named.push_back({cell, &TCellsFileLines::Formats});
  for (const TCellKey& cell : RowByRow(cells.Names)) named.push_back({cell, &TCellsFileLines::Names});
  for (const auto& [cell, slice] : cells.Names)
    if (const std::string problem = SliceNameProblem(slice); !problem.empty())
      return of(&TCellsFileLines::Names, cell) + ": " + problem;
  if (const auto same = SameSliceNames(cells.Names))
    return of(&TCellsFileLines::Names, same->second) + ": the cells " + name(same->first) + " and " +
           name(same->second) + " have the same name \"" + QuotedInMessage(cells.Names.at(same->second)) + "\"";
  for (const auto& [cell, kind] : named) {
    if (cell.first > columns || cell.second > rows)
      return of(kind, cell) + ": the grid of " + size + " cells has no cell " + name(cell);
    // A merge that holds the cell starts at or before it in both directions.
    for (auto it = cells.Merges.begin(); it != cells.Merges.end() && it->first.first <= cell.first; ++it) {
      const auto& [corner, span] = *it;
      const bool inside = corner.second <= cell.second && std::int64_t(corner.first) + span.Columns > cell.first &&
                          std::int64_t(corner.second) + span.Rows > cell.second;
      if (inside && corner != cell)
        return of(kind, cell) + ": the cell " + name(cell) + " lies inside the merged cell at " + name(corner) +
               ", which goes by that name";
    }
  }
  return "";
}
