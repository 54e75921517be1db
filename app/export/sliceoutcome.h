#pragma once
// What became of each slice of an export, or of a page weighed without
// writing: its file, format and size, and why it has that format. Built
// here alone, so that the export's lines and the dry run's say the same.

#include <cstdint>
#include <string>
#include <vector>

#include "app/export/exportplan.h"
#include "app/export/formatchoice.h"
#include "pgraphic/core/settings.h"

// One slice of an export or of a page weighed without writing: its file,
// format and size, and why it has that format.
struct TSliceOutcome {
  std::string Path;
  std::string Format;  // a Name of app/common/outputformats.h (or a writer of the registry)
  int Quality = -1;    // of a lossy file made in memory or in a format of its own; -1 otherwise
  std::uint64_t Bytes = 0;
  std::string Reason;  // empty when the format was not chosen for it
};
// "webp q63" for a file of a quality, else the format's name.
std::string FormatAndQuality(const TSliceOutcome& outcome);
// The sum of their sizes.
std::uint64_t TotalBytes(const std::vector<TSliceOutcome>& slices);
// The slices summed up: "41230 bytes: 3 webp, 2 png8, 1 jpg" (formats in
// the order they first appear).
std::string SliceSummary(const std::vector<TSliceOutcome>& slices);

// Why a slice of a fixed format of its own has it, in the per-slice lines.
inline constexpr const char* OwnFormatReason = "set for this slice";

// The file a slice made in memory becomes: a chosen format adds its extension.
std::string EncodedPath(const TPlannedSlice& slice, const TEncodedSlice& encoded);
// A slice made in memory.
TSliceOutcome EncodedOutcome(const TPlannedSlice& slice, const TEncodedSlice& encoded,
                             const TPGLibrarySettings& settings);
// A slice its writer wrote straight into its file, bytes long.
TSliceOutcome WrittenOutcome(const TPlannedSlice& slice, std::uint64_t bytes, const TPGLibrarySettings& settings);
