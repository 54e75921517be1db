#pragma once
// The road an export takes: whether its cells are cut while the source
// still loads or once it has loaded, on how many threads the slices are
// encoded, whether the source's rows live in a few bands reused behind the
// writers, and whether a writer may start on a cell before all its rows are
// in. Decided once, from a handful of facts, so that every step of the
// export reads the decision rather than deciding again. The road changes
// time and memory only: files, HTML and failures are the same on all.

struct TRoadFacts {
  bool SourceLoading = false;   // the source's rows come while the export runs
  // The source has alpha: a writer looks at a slice's alpha as a whole
  // (whether it is opaque, its colour and alpha pairs) before its rows.
  bool SourceAlpha = false;
  int EncodeThreads = 1;        // as many as the caller allows
  bool PerSliceDialog = false;  // each slice is shown, in cell order, as it is cut
  bool KeepLastSlice = true;    // the caller shows the last slice cut
  bool KeepSourceRows = true;   // the caller reads the source afterwards
  // The page reads the source after the slices are written: a page for
  // mail (the cells' colours) or skipped cells (their backgrounds).
  bool PageReadsSource = false;
  bool WritersSafeOnThreads = true;  // every writer the slices need
  // Every slice is written straight into its file by a writer that asks
  // for its rows from the top down (none is made in memory).
  bool WritersTakeRowsTopDown = false;
  // Slices made from their whole cell: half-size retina slices, and those
  // of a format of their own.
  bool Retina = false;
  bool OwnFormats = false;
};

struct TExportRoad {
  int Threads = 1;            // that encode and write; 1: all on the cutting thread
  bool WhileLoading = false;  // cells are cut as their rows come
  bool KeepLastSlice = true;  // the export's slice image ends holding the last cell
  // A band of the source's rows lends its memory to the next band once
  // every slice that needs it is written.
  bool GivesRowsBack = false;
  // A cell goes to its writer as soon as its first row is in.
  bool WritersTakeRowsAsTheyCome = false;

  friend bool operator==(const TExportRoad&, const TExportRoad&) = default;
};

// Threads only where no dialog shows a slice (it needs each slice cut before
// it, in order) and for writers that take them; cutting while loading only
// with threads to write what is cut.
TExportRoad RoadOf(const TRoadFacts& facts);
