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
  // A slice with alpha is read twice (its alpha, then its rows), and a
  // window leaves rows behind as its writer passes them: it waits for all
  // its rows instead.
  road.WritersTakeRowsAsTheyCome = road.WhileLoading && !road.KeepLastSlice && facts.WritersTakeRowsTopDown &&
                                   !facts.Retina && !facts.OwnFormats && !facts.SourceAlpha;
  return road;
}
