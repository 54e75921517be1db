// The road of an export as one table: each row the facts that differ from
// a command line export of a loading source on four threads, and the road.

#include "app/export/exportroad.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace {

std::string Describe(const TExportRoad& road) {
  std::string text = "threads " + std::to_string(road.Threads);
  if (road.WhileLoading) text += ", while loading";
  if (road.KeepLastSlice) text += ", last kept";
  if (road.GivesRowsBack) text += ", rows back";
  if (road.WritersTakeRowsAsTheyCome) text += ", as they come";
  return text;
}

TEST(ExportRoad, DecidedFromTheFactsAlone) {
  struct TRow {
    const char* Case;
    std::function<void(TRoadFacts&)> Change;
    const char* Road;
  };
  const TRow rows[] = {
      {"the command line, loading", [](TRoadFacts&) {}, "threads 4, while loading, rows back, as they come"},
      {"loaded already", [](TRoadFacts& f) { f.SourceLoading = false; }, "threads 4"},
      {"one thread", [](TRoadFacts& f) { f.EncodeThreads = 1; }, "threads 1"},
      {"per-slice dialog", [](TRoadFacts& f) { f.PerSliceDialog = true; }, "threads 1, last kept"},
      {"a writer unsafe on threads", [](TRoadFacts& f) { f.WritersSafeOnThreads = false; }, "threads 1"},
      {"the window: last slice and rows kept",
       [](TRoadFacts& f) { f.KeepLastSlice = f.KeepSourceRows = true; }, "threads 4, while loading, last kept"},
      {"rows kept", [](TRoadFacts& f) { f.KeepSourceRows = true; }, "threads 4, while loading, as they come"},
      {"mail page or skipped cells", [](TRoadFacts& f) { f.PageReadsSource = true; },
       "threads 4, while loading, as they come"},
      {"retina", [](TRoadFacts& f) { f.Retina = true; }, "threads 4, while loading, rows back"},
      {"formats of their own", [](TRoadFacts& f) { f.OwnFormats = true; }, "threads 4, while loading, rows back"},
      {"a source with alpha", [](TRoadFacts& f) { f.SourceAlpha = true; }, "threads 4, while loading, rows back"},
      {"slices made in memory", [](TRoadFacts& f) { f.WritersTakeRowsTopDown = false; },
       "threads 4, while loading, rows back"},
  };
  for (const TRow& row : rows) {
    TRoadFacts facts{.SourceLoading = true, .EncodeThreads = 4, .KeepLastSlice = false, .KeepSourceRows = false,
                     .WritersTakeRowsTopDown = true};
    row.Change(facts);
    EXPECT_EQ(Describe(RoadOf(facts)), row.Road) << row.Case;
  }
}

}  // namespace
