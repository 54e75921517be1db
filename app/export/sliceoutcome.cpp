#include "app/export/sliceoutcome.h"

#include <algorithm>
#include <utility>

namespace {

// The quality of a lossy file that its writer wrote straight into it,
// taken from the settings as the dry run, made in memory, says it.
TSliceOutcome WithQuality(TSliceOutcome outcome, const TPGLibrarySettings& settings) {
  if (outcome.Quality >= 0) return outcome;
  if (outcome.Format == "jpg") outcome.Quality = settings.JpegQuality;
  if (outcome.Format == "webp" && !settings.WebpLossless) outcome.Quality = settings.WebpQuality;
  return outcome;
}

// A slice in a fixed format of its own says so. A chosen format gives its
// own reason.
TSliceOutcome MarkedOwn(TSliceOutcome outcome, const TPlannedSlice& slice, const TPGLibrarySettings& settings) {
  if (!slice.Format.Own || !outcome.Reason.empty()) return outcome;
  outcome.Reason = OwnFormatReason;
  return WithQuality(std::move(outcome), settings);
}

}  // namespace

std::string EncodedPath(const TPlannedSlice& slice, const TEncodedSlice& encoded) {
  return slice.Chosen() ? slice.Path + encoded.Format->Extension : slice.Path;
}

TSliceOutcome EncodedOutcome(const TPlannedSlice& slice, const TEncodedSlice& encoded,
                             const TPGLibrarySettings& settings) {
  return MarkedOwn({EncodedPath(slice, encoded), encoded.Format->Name, encoded.Quality, encoded.Bytes.size(),
                    encoded.Reason},
                   slice, settings);
}

TSliceOutcome WrittenOutcome(const TPlannedSlice& slice, std::uint64_t bytes, const TPGLibrarySettings& settings) {
  return MarkedOwn(WithQuality({slice.Path, slice.Writer, -1, bytes, ""}, settings), slice, settings);
}

std::string FormatAndQuality(const TSliceOutcome& outcome) {
  return outcome.Quality >= 0 ? outcome.Format + " q" + std::to_string(outcome.Quality) : outcome.Format;
}

std::uint64_t TotalBytes(const std::vector<TSliceOutcome>& slices) {
  std::uint64_t total = 0;
  for (const TSliceOutcome& slice : slices) total += slice.Bytes;
  return total;
}

std::string SliceSummary(const std::vector<TSliceOutcome>& slices) {
  std::vector<std::pair<std::string, int>> counts;
  for (const TSliceOutcome& slice : slices) {
    const auto it = std::find_if(counts.begin(), counts.end(), [&](const auto& c) { return c.first == slice.Format; });
    if (it == counts.end())
      counts.emplace_back(slice.Format, 1);
    else
      ++it->second;
  }
  std::string text = std::to_string(TotalBytes(slices)) + " bytes";
  for (std::size_t i = 0; i < counts.size(); ++i)
    text += (i == 0 ? ": " : ", ") + std::to_string(counts[i].second) + " " + counts[i].first;
  return text;
}
