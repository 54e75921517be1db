#pragma once
// ICC colour profiles as files carry them: the checks every profile passes
// before it is used, putting together a profile that a JPEG file spreads
// over several APP2 markers, its description, and the profile a writer
// embeds. Every length, count and offset of a profile is checked against its
// bytes here; only a profile that passes goes on to Little CMS.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "pgraphic/core/colorprofile.h"
#include "pgraphic/core/pixelgraphic.h"
#include "pgraphic/core/settings.h"

// The colour space of the pixels a profile describes.
enum class TIccSpace : std::uint8_t { isRGB, isGray, isCMYK, isOther };

// What is wrong with an ICC profile for pixels of the space expected ("" when
// nothing is): a header or tag table that does not fit its bytes, another
// colour space, or a profile Little CMS cannot turn into sRGB. For isOther
// (pixels that are not converted, such as the inks of a CMYK TIFF) only the bytes are
// checked. A profile whose size field is smaller than its bytes is cut to
// that size first (JPEG and TIFF may pad what they hold).
// With tryConversion false, whether Little CMS can use it is left to the
// caller, who makes the conversion anyway (making one can take tens of
// milliseconds).
std::string IccProblem(std::vector<std::uint8_t>& icc, TIccSpace expected, bool tryConversion = true);

// Where the ICC_PROFILE APP2 markers of a JPEG file say their part goes.
struct TIccMarker {
  const std::uint8_t* Data = nullptr;  // the marker's data, after its length field
  std::size_t Size = 0;
};
// Whether an APP2 marker's data is a part of an ICC profile.
bool IsIccMarker(const TIccMarker& marker);
// Puts the parts together by their sequence numbers, whatever order the
// markers come in. Every part must name the same count, each number from 1
// to that count must come exactly once; otherwise the problem is returned.
std::string AssembleIccMarkers(const std::vector<TIccMarker>& markers, std::vector<std::uint8_t>& icc);

// Whether readers look for profiles at all (not when they are ignored).
inline bool ProfilesWanted() { return PGSettings().ColorProfile != TColorProfileMode::cpmIgnore; }

// A profile a reader found in the file of image: attached to the image
// when it passes IccProblem, else the problem is returned (for the reader
// to report under the image's warning policy, with IccIgnoredText).
std::string TakeIccProfile(TPixelGraphic& image, std::vector<std::uint8_t> icc, TIccSpace expected,
                           const std::string& name = "");
std::string IccIgnoredText(const std::string& problem);

// A line of file information: "ICC profile: " and the profile's
// description, or what is wrong with it.
std::string IccInfoText(std::vector<std::uint8_t> icc, TIccSpace expected);
std::string IccDamagedText(const std::string& problem);

// The ICC profile a writer embeds in a file of the image's pixels (grey or
// colour), or nothing: for a profile of grey pixels written as colour, an
// RGB profile of the same tone curve; empty when the image carries no
// profile, only "sRGB", or none that fits.
std::vector<std::uint8_t> IccToEmbed(const TPixelGraphic& image, bool greyPixels);
