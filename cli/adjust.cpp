#include "cli/adjust.h"

#include <array>
#include <cctype>
#include <charconv>
#include <memory>

#include "cli/cli.h"
#include "pgraphic/core/pixelgraphic.h"
#include "pgraphic/filters/filtermodel.h"

namespace {

[[noreturn]] void BadAdjustment(const std::string& adjustment, const std::string& why) {
  throw TCliUsageError("bad --adjust \"" + adjustment + "\": " + why +
                       " (rgb:R,G,B or cmy:C,M,Y in -100..100; hls:H,L,S with H in -180..180)");
}

std::unique_ptr<TFilterDialog> DialogForKind(std::string kind) {
  for (char& ch : kind) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  if (kind == "rgb") return std::make_unique<TRGBFilterDialog>();
  if (kind == "cmy") return std::make_unique<TCMYFilterDialog>();
  if (kind == "hls") return std::make_unique<THLSFilterDialog>();
  return nullptr;
}

// A slider position: optional sign and decimal digits, nothing else.
bool ParseValue(const std::string& text, int& value) {
  const char* first = text.data();
  const char* last = first + text.size();
  if (first != last && *first == '+') {
    ++first;
    if (first == last || !std::isdigit(static_cast<unsigned char>(*first))) return false;
  }
  const auto [end, ec] = std::from_chars(first, last, value);
  return ec == std::errc() && end == last;
}

std::array<std::string, 3> SplitValues(const std::string& adjustment, const std::string& list) {
  std::array<std::string, 3> parts;
  std::size_t start = 0;
  for (int k = 0; k < 3; ++k) {
    const std::size_t comma = list.find(',', start);
    if ((k < 2) != (comma != std::string::npos)) BadAdjustment(adjustment, "three values needed");
    parts[k] = list.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    start = comma + 1;
  }
  return parts;
}

std::array<int, 3> SliderPositions(const std::string& adjustment, const std::string& list,
                                   const TFilterDialog& dialog) {
  const std::array<std::string, 3> parts = SplitValues(adjustment, list);
  std::array<int, 3> positions{};
  for (int k = 0; k < 3; ++k) {
    const TFilterChannel& channel = dialog.Channel(k);
    if (!ParseValue(parts[k], positions[k]))
      BadAdjustment(adjustment, "\"" + parts[k] + "\" is not a whole number");
    if (positions[k] < channel.Minimum || positions[k] > channel.Maximum)
      BadAdjustment(adjustment, channel.Caption + " " + parts[k] + " is out of range");
  }
  return positions;
}

}  // namespace

void ApplyAdjustSpec(TPixelGraphic& image, const std::string& adjustment) {
  const std::size_t colon = adjustment.find(':');
  if (colon == std::string::npos) BadAdjustment(adjustment, "KIND:A,B,C expected");
  std::unique_ptr<TFilterDialog> dialog = DialogForKind(adjustment.substr(0, colon));
  if (!dialog) BadAdjustment(adjustment, "unknown kind \"" + adjustment.substr(0, colon) + "\"");
  dialog->SlidersChanged(SliderPositions(adjustment, adjustment.substr(colon + 1), *dialog));
  image.ApplyFilter(dialog->Filter(), image);
}
