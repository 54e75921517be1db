#include "app/export/exportroad.h"

TExportRoad RoadOf(const TRoadFacts& facts) {
  TExportRoad road;
  const bool threads = facts.EncodeThreads > 1 && !facts.PerSliceDialog && facts.WritersSafeOnThreads;
  road.Threads = threads ? facts.EncodeThreads : 1;
  road.WhileLoading = threads && facts.SourceLoading;
  road.KeepLastSlice = facts.KeepLastSlice || facts.PerSliceDialog;
  road.GivesRowsBack = road.WhileLoading && !road.KeepLastSlice && !facts.KeepSourceRows && !facts.PageReadsSource;
  // A cell is written from a window on the source's rows only when no copy
  // of it is kept; a slice made from its whole cell waits for all its rows.
  road.WritersTakeRowsAsTheyCome = road.WhileLoading && !road.KeepLastSlice && facts.WritersTakeRowsTopDown &&
                                   !facts.Retina && !facts.OwnFormats;
  return road;
}
