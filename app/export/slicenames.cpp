#include "app/export/slicenames.h"

#include <algorithm>
#include <cstdint>
#include <filesystem>

#include "app/common/text.h"

TExportNames ExportNamesOf(const std::string& htmlPath, const std::string& baseName) {
  const std::filesystem::path path(htmlPath);
  const std::string fileName = path.filename().string();
  const std::size_t dot = fileName.find('.');
  if (!baseName.empty()) return {path.parent_path().string(), baseName};
  return {path.parent_path().string(),
          dot == std::string::npos ? fileName : fileName.substr(0, dot)};
}

std::string BaseNameProblem(const std::string& baseName) {
  if (baseName.empty() || baseName == "." || baseName == ".." || baseName.find('/') != std::string::npos)
    return "the slices' base name must be a file name without a slash, got \"" + QuotedInMessage(baseName) + "\"";
  return "";
}

std::string SliceFileName(const std::string& baseName, int column, int row,
                          const std::string& extension) {
  return baseName + "_" + std::to_string(column) + "_" + std::to_string(row) + extension;
}

std::string Slice2xFileName(const std::string& baseName, int column, int row,
                            const std::string& extension) {
  return SliceFileName(baseName, column, row, "@2x" + extension);
}

TGridCell HalfCell(const TGridCell& cell) {
  TGridCell half = cell;
  half.Left = cell.Left / 2;
  half.Top = cell.Top / 2;
  half.Width = std::max(1, int((std::int64_t(cell.Left) + cell.Width) / 2) - half.Left);
  half.Height = std::max(1, int((std::int64_t(cell.Top) + cell.Height) / 2) - half.Top);
  return half;
}

std::string PathInDirectory(const std::string& directory, const std::string& name) {
  return directory.empty() ? name : (std::filesystem::path(directory) / name).string();
}
