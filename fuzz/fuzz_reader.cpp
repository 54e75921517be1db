// One reader's entry points (ReadInfo, ReadImage) on arbitrary bytes. The
// build compiles this once per format, naming the reader's extension in
// FUZZ_EXTENSION.

#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static TFileFormatReader& reader = fuzz::ReaderFor(FUZZ_EXTENSION);
  fuzz::RunReader(reader, data, size);
  return 0;
}
