#pragma once
// What a call raises, as the text a test compares.

#include <cstdint>
#include <exception>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "pgraphic/core/pixelgraphic.h"
#include "pgraphic/core/stream.h"

namespace support {

// The message of the E that action raises, or "(nothing raised)".
template <class E = std::exception>
std::string MessageOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const E& e) {
    return e.what();
  }
  return "(nothing raised)";
}

// The message of the E that a Reader raises on image index of file, or
// "no error". Warnings are handled as action says, else as an image's are
// by default.
template <class Reader, class E>
std::string ReadError(const std::vector<std::uint8_t>& file, int index = 0,
                      std::optional<TPGWarningAction> action = std::nullopt) {
  TPixelGraphic image;
  if (action) image.ReadWarningAction = *action;
  try {
    TMemoryStream stream(file);
    Reader().ReadImage(stream, image, index);
  } catch (const E& e) {
    return e.what();
  }
  return "no error";
}

}  // namespace support
