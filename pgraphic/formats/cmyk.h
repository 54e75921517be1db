#pragma once
// CMYK pixels (of JPEG files) into sRGB with Little CMS: through the
// file's own CMYK profile, or, where it has none, through the generic CMYK
// profile built here.
//
// The generic profile describes the inks as browsers show a CMYK file that
// carries no profile: each of cyan, magenta and yellow takes its share of
// red, green or blue away from the white of sRGB, and black takes its
// share of all three (red = (1 - C) x (1 - K) in sRGB's values), so that a
// page shows the slices as the browser shows their source. Little CMS
// samples that rule into the table of a CMYK-to-Lab profile (17 points a
// side) once per process; converted colorimetrically, it gives the rule's
// values within one level. A file's own profile is converted perceptually,
// as every other profile.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// The generic profile's bytes and its description.
const std::vector<std::uint8_t>& GenericCmykProfile();
extern const char* const GenericCmykDescription;

class TCmykToSRGB {
 public:
  // icc: the file's CMYK profile, one IccProblem passed (TIccSpace::isCMYK),
  // or empty for the generic one. inverted: the samples are stored as
  // 255 - ink, as Adobe's applications write them (files with an Adobe
  // marker).
  TCmykToSRGB(const std::vector<std::uint8_t>& icc, bool inverted);
  ~TCmykToSRGB();
  TCmykToSRGB(const TCmykToSRGB&) = delete;
  TCmykToSRGB& operator=(const TCmykToSRGB&) = delete;
  // Whether Little CMS made the conversion (a profile that passed its
  // checks always makes one).
  bool Ready() const;
  // pixels CMYK samples (4 bytes each) into blue, green, red bytes.
  void Convert(const std::uint8_t* cmyk, std::uint8_t* bgr, std::size_t pixels) const;

 private:
  struct TState;
  std::unique_ptr<TState> State;
};
