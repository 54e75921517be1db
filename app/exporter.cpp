#include "app/exporter.h"

#include <filesystem>
#include <system_error>

#include "app/atomicfile.h"
#include "app/gridfile.h"
#include "app/htmltable.h"

namespace {

struct TOptionField {
  const char* Name;
  bool TExportOptions::*Field;
};

constexpr TOptionField OptionFields[] = {
    {"incalttags_Checked", &TExportOptions::IncAltTags},
    {"editcode_Checked", &TExportOptions::EditCode},
    {"alwaysgrid_Checked", &TExportOptions::AlwaysGrid},
    {"showoptions_Checked", &TExportOptions::ShowOptions},
    {"uppercase_Checked", &TExportOptions::UpperCase},
    {"doublequote_Checked", &TExportOptions::DoubleQuote},
};

}  // namespace

void LoadExportOptions(TSettingsStore& store, TExportOptions& options) {
  for (const TOptionField& f : OptionFields)
    options.*f.Field = store.ReadBool(ExportOptionsSection, f.Name, options.*f.Field);
}

void SaveExportOptions(TSettingsStore& store, const TExportOptions& options) {
  for (const TOptionField& f : OptionFields)
    store.WriteBool(ExportOptionsSection, f.Name, options.*f.Field);
}

std::string OverwriteQuestion(const std::string& path) { return "Overwrite " + path + "?"; }

TExportNames ExportNamesOf(const std::string& htmlPath) {
  const std::filesystem::path path(htmlPath);
  const std::string fileName = path.filename().string();
  const std::size_t dot = fileName.find('.');
  return {path.parent_path().string(), dot == std::string::npos ? fileName : fileName.substr(0, dot)};
}

std::string SliceFileName(const std::string& baseName, int column, int row,
                          const std::string& extension) {
  return baseName + "_" + std::to_string(column) + "_" + std::to_string(row) + extension;
}

std::string PathInDirectory(const std::string& directory, const std::string& name) {
  return directory.empty() ? name : (std::filesystem::path(directory) / name).string();
}

bool TSliceExporter::ChoosePath(std::string& htmlPath) {
  if (!FUi.ChooseHtmlFile(htmlPath)) return false;
  std::error_code ec;
  if (std::filesystem::exists(htmlPath, ec) &&
      !FUi.ConfirmOverwrite(OverwriteQuestion(htmlPath), OverwriteCaption))
    return false;
  return true;
}

bool TSliceExporter::Export(TPixelGraphic& source) {
  std::string htmlPath;
  if (!ChoosePath(htmlPath)) return false;
  if (Options.ShowOptions) FUi.ShowExportOptions(Options);
  THtmlTable table({Options.UpperCase, Options.DoubleQuote});
  const TExportNames names = ExportNamesOf(htmlPath);
  std::vector<std::string> lines{table.TableStartLine()};
  FGrid.SortBoth();
  WriteRows(source, names, table, lines);
  lines.push_back(table.TableEndLine());
  if (Options.EditCode) FUi.EditCode(lines);
  WriteLinesAtomic(htmlPath, lines);
  if (Options.AlwaysGrid) SaveGridBeside(names);
  return true;
}

void TSliceExporter::WriteRows(TPixelGraphic& source, const TExportNames& names, THtmlTable& table,
                               std::vector<std::string>& lines) {
  for (int row = 1; row <= FGrid.RowCount(); ++row) {
    table.BeginRow();
    for (int column = 1; column <= FGrid.ColumnCount(); ++column)
      WriteCell(source, FGrid.Cell(column, row), names, table);
    // A row made only of empty cells would be an empty table row: left out.
    if (table.RowHasCells()) lines.push_back(table.EndRow());
  }
}

// A cell of width or height 0 (a duplicate split line) has no pixels: it
// gets neither a slice file nor markup, and the other cells keep their numbers.
void TSliceExporter::WriteCell(TPixelGraphic& source, const TGridCell& cell,
                               const TExportNames& names, THtmlTable& table) {
  if (cell.Width <= 0 || cell.Height <= 0) return;
  SliceImage.SetSizeAndFormat(cell.Width, cell.Height, pgpf24Bit);
  SliceImage.CopyRect(0, 0, source, cell.Left, cell.Top, cell.Width, cell.Height);
  const std::string name = SliceFileName(names.BaseName, cell.Column, cell.Row, OutputExtension);
  const std::string path = PathInDirectory(names.Directory, name);
  SliceImage.SaveToFile(path);
  FUi.SliceWritten(path);
  const std::string prefix = table.ImgTagPrefix(name, cell.Width, cell.Height);
  table.AddCell(Options.IncAltTags ? FUi.EditSliceTags(SliceImage, cell, prefix)
                                   : table.PlainCellCode(prefix));
}

void TSliceExporter::SaveGridBeside(const TExportNames& names) {
  const std::string path = PathInDirectory(names.Directory, names.BaseName + ".grd");
  SaveGrid(path, FGrid);
  if (RecentGrids) RecentGrids->Add(path);
}
