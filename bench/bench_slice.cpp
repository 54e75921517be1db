// Where the time of `tessel-cli slice` goes: the phases of cutting an
// 8000 x 6000 photo into a 10 x 10 grid of quality-80 JPEG slices, one by one,
// the whole export on one and on several threads, and loading first against
// cutting while the photo loads.
//
// The photo is the JPEG named by TESSEL_BENCH_PHOTO (bench/slice.sh sets it),
// else one made here with our own writer. Slices go to a directory in the
// system temporary directory.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/export/exporter.h"
#include "app/cut/splitgrid.h"
#include "pgraphic/core/pixelgraphic.h"
#include "pgraphic/core/settings.h"
#include "pgraphic/core/stream.h"

namespace {

namespace fs = std::filesystem;
constexpr int kColumns = 10;
constexpr int kRows = 10;

const fs::path& WorkDir() {
  static const fs::path dir = [] {
    fs::path d = fs::temp_directory_path() / ("tessel_bench_slice_" + std::to_string(getpid()));
    fs::create_directories(d);
    return d;
  }();
  return dir;
}

// Smooth shading crossed by waves of several lengths and a little grain.
void PaintPhoto(TPixelGraphic& g, int width, int height) {
  g.SetSizeAndFormat(width, height, pgpf24Bit);
  std::uint32_t seed = 77;
  for (int y = 0; y < height; ++y) {
    std::uint8_t* px = g.ScanLine(y);
    for (int x = 0; x < width; ++x, px += 3) {
      seed = seed * 1664525u + 1013904223u;
      const double wave =
          40 * std::sin(x / 97.0) * std::cos(y / 131.0) + 12 * std::sin((x + y) / 9.0);
      const int grain = int(seed >> 28) - 8;
      px[0] = std::uint8_t(std::lround(110 + wave * 0.6) + grain / 2);
      px[1] = std::uint8_t(std::lround(90 + 60.0 * y / height + wave) + grain);
      px[2] = std::uint8_t(std::lround(70 + 120.0 * x / width - wave * 0.4) + grain);
    }
  }
}

const std::string& PhotoPath() {
  static const std::string path = [] {
    if (const char* given = std::getenv("TESSEL_BENCH_PHOTO")) return std::string(given);
    const std::string made = (WorkDir() / "photo.jpg").string();
    TPixelGraphic photo;
    PaintPhoto(photo, 8000, 6000);
    const int quality = PGSettings().JpegQuality;
    PGSettings().JpegQuality = 92;
    photo.SaveToFile(made);
    PGSettings().JpegQuality = quality;
    return made;
  }();
  return path;
}

TPixelGraphic& Photo() {
  static TPixelGraphic* photo = [] {
    auto* g = new TPixelGraphic;
    g->LoadFromFile(PhotoPath());
    return g;
  }();
  return *photo;
}

TSplitGrid TenByTen(const TPixelGraphic& image) {
  TSplitGrid grid;
  grid.ResetToImage(image.Width(), image.Height());
  for (int c = 1; c < kColumns; ++c)
    grid.AddSplitlineVert(image.Width() * c / kColumns, image.Width());
  for (int r = 1; r < kRows; ++r) grid.AddSplitlineHorz(image.Height() * r / kRows, image.Height());
  grid.SortBoth();
  return grid;
}

template <class F>
void ForEachCell(const TSplitGrid& grid, F&& f) {
  for (int row = 1; row <= grid.RowCount(); ++row)
    for (int column = 1; column <= grid.ColumnCount(); ++column) f(grid.Cell(column, row));
}

void Cut(TPixelGraphic& slice, const TGridCell& cell) {
  slice.SetSizeAndFormat(cell.Width, cell.Height, pgpf24Bit);
  slice.CopyRect(0, 0, Photo(), cell.Left, cell.Top, cell.Width, cell.Height);
}

std::string SlicePath(const TGridCell& cell) {
  return (WorkDir() / SliceFileName("phase", cell.Column, cell.Row, ".jpg")).string();
}

void CountPixels(benchmark::State& state) {
  state.SetItemsProcessed(state.iterations() * std::int64_t(Photo().Width()) * Photo().Height());
}

// ---- the phases, one after another as the one-thread export runs them

void BM_DecodePhoto(benchmark::State& state) {
  for (auto _ : state) {
    TPixelGraphic image;
    image.LoadFromFile(PhotoPath());
    benchmark::DoNotOptimize(image.Bits());
  }
  CountPixels(state);
}
BENCHMARK(BM_DecodePhoto)->Unit(benchmark::kMillisecond)->UseRealTime();

// Into one reused slice image, as the window's export does.
void BM_CutCells(benchmark::State& state) {
  const TSplitGrid grid = TenByTen(Photo());
  TPixelGraphic slice;
  for (auto _ : state) ForEachCell(grid, [&](const TGridCell& cell) { Cut(slice, cell); });
  CountPixels(state);
}
BENCHMARK(BM_CutCells)->Unit(benchmark::kMillisecond)->UseRealTime();

// Into a fresh image per cell: the price of the first touch of new memory.
void BM_CutCellsFreshImages(benchmark::State& state) {
  const TSplitGrid grid = TenByTen(Photo());
  for (auto _ : state)
    ForEachCell(grid, [&](const TGridCell& cell) {
      TPixelGraphic slice;
      Cut(slice, cell);
    });
  CountPixels(state);
}
BENCHMARK(BM_CutCellsFreshImages)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_EncodeSlicesToMemory(benchmark::State& state) {
  const TSplitGrid grid = TenByTen(Photo());
  std::vector<std::unique_ptr<TPixelGraphic>> slices;
  ForEachCell(grid, [&](const TGridCell& cell) {
    slices.push_back(std::make_unique<TPixelGraphic>());
    Cut(*slices.back(), cell);
  });
  for (auto _ : state)
    for (auto& slice : slices) {
      TMemoryStream stream;
      slice->SaveToStreamExt(stream, "jpg");
      benchmark::DoNotOptimize(stream.Bytes().data());
    }
  CountPixels(state);
}
BENCHMARK(BM_EncodeSlicesToMemory)->Unit(benchmark::kMillisecond)->UseRealTime();

// Encoded bytes to files the way every save goes: a synced temporary renamed
// over the target.
void BM_SaveSlicesToFiles(benchmark::State& state) {
  const TSplitGrid grid = TenByTen(Photo());
  TPixelGraphic slice;
  Cut(slice, grid.Cell(1, 1));
  for (auto _ : state)
    ForEachCell(grid, [&](const TGridCell& cell) { slice.SaveToFile(SlicePath(cell)); });
  CountPixels(state);
}
BENCHMARK(BM_SaveSlicesToFiles)->Unit(benchmark::kMillisecond)->UseRealTime();

// ---- the whole export after loading, by number of encoding threads

class TQuietUi : public TExportUi {
 public:
  bool ChooseHtmlFile(std::string& path) override {
    path = (WorkDir() / "index.html").string();
    return true;
  }
  bool ConfirmOverwrite(const std::string&, const std::string&) override { return true; }
  void ShowExportOptions(TExportOptions&) override {}
  std::string EditSliceTags(TPixelGraphic&, const TGridCell&, const TSliceTag& tag) override {
    return tag.PlainCode();
  }
  void EditCode(std::vector<std::string>&) override {}
};

void BM_Export(benchmark::State& state) {
  TGridData cut{TenByTen(Photo()), {}, {}};
  TQuietUi ui;
  TSliceExporter exporter(cut, ui);
  exporter.Settings.Options.ShowOptions = false;
  exporter.Settings.EncodeThreads = int(state.range(0));
  for (auto _ : state) exporter.Export(Photo());
  CountPixels(state);
}
BENCHMARK(BM_Export)->Arg(1)->Arg(2)->Arg(3)->Arg(4)->Unit(benchmark::kMillisecond)->UseRealTime();

// Loading first and exporting after, against cutting while the photo loads.
void BM_LoadThenExport(benchmark::State& state) {
  TGridData cut{TenByTen(Photo()), {}, {}};
  TQuietUi ui;
  TSliceExporter exporter(cut, ui);
  exporter.Settings.Options.ShowOptions = false;
  exporter.Settings.EncodeThreads = int(state.range(0));
  for (auto _ : state) {
    TPixelGraphic source;
    source.LoadFromFile(PhotoPath());
    exporter.Export(source);
  }
  CountPixels(state);
}
BENCHMARK(BM_LoadThenExport)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ExportWhileLoading(benchmark::State& state) {
  TGridData cut{TenByTen(Photo()), {}, {}};
  TQuietUi ui;
  TSliceExporter exporter(cut, ui);
  exporter.Settings.Options.ShowOptions = false;
  exporter.Settings.EncodeThreads = int(state.range(0));
  for (auto _ : state) {
    TPixelGraphic source;
    exporter.ExportWhileLoading(source, [&] { source.LoadFromFile(PhotoPath()); });
  }
  CountPixels(state);
}
BENCHMARK(BM_ExportWhileLoading)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::error_code ec;
  fs::remove_all(WorkDir(), ec);
  return 0;
}
