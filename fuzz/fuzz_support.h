#pragma once
// Shared pieces of the libFuzzer targets: the fuzzer's bytes as a stream,
// the failures that count as a correct refusal of hostile input, and the
// checks every decoded image must pass.
//
// A refusal is an exception of the library's own family (EPixelGraphic) or
// a stream error. Anything else that escapes (std::bad_alloc, length_error,
// a foreign exception) ends the run through std::terminate, so libFuzzer
// records it as a finding, like every sanitizer report.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "pgraphic/core/errors.h"
#include "pgraphic/core/pixelgraphic.h"
#include "pgraphic/core/stream.h"
#include "pgraphic/formats/registry.h"

namespace fuzz {

// A stream over the fuzzer's buffer; readers only read, so the cast is safe.
class TInputStream : public TMyMemoryStream {
 public:
  TInputStream(const std::uint8_t* data, std::size_t size) {
    SetPointer(const_cast<std::uint8_t*>(data), std::int64_t(size));
  }
};

[[noreturn]] inline void Finding(const char* what) {
  std::fprintf(stderr, "fuzz finding: %s\n", what);
  std::abort();
}

// Runs f; a refusal by the library is a correct answer to hostile input.
template <class F>
bool Refused(F&& f) {
  try {
    f();
    return false;
  } catch (const EPixelGraphic&) {
    return true;
  } catch (const EStreamError&) {
    return true;
  }
}

// What a reader hands back must be a consistent image: rows of the stated
// size and, for palette depths, no index outside the palette, so that every
// later colour lookup, conversion and save works on it.
void CheckDecodedImage(TPixelGraphic& image);

// The registry's reader registered for extension (readers are shared objects).
TFileFormatReader& ReaderFor(const std::string& extension);

// ReadInfo and ReadImage (index 0) of one reader, each on a fresh stream.
void RunReader(TFileFormatReader& reader, const std::uint8_t* data, std::size_t size);

}  // namespace fuzz
