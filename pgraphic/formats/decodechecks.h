#pragma once
// Checks a reader makes before it trusts a header, and the texts its
// information panel shares with other readers.

#include <cstdint>
#include <string>

#include "pgraphic/core/errors.h"
#include "pgraphic/core/messages.h"
#include "pgraphic/core/pixelgraphic.h"

// True when a width x height image of bitCount bits would exceed the
// library's pixel limit or the 32-bit size of the pixel memory.
bool PGImageTooLarge(std::int64_t width, std::int64_t height, int bitCount);

// Refuses an oversized image before any pixel memory is allocated.
template <class E>
void PGCheckImageSize(const std::string& prefix, std::int64_t width, std::int64_t height,
                      int bitCount) {
  if (PGImageTooLarge(width, height, bitCount)) RaisePrefixed<E>(prefix, msgInvalidSizeOf, "image");
}

// Refuses, before any pixel memory exists, an image that the data left
// cannot describe: minBytes is the least that any valid encoding of the
// promised pixels needs. So decoding cost and memory follow the file's size,
// and a few header bytes never cost hundreds of megabytes.
template <class E>
void PGCheckDataFor(const std::string& prefix, std::int64_t available, std::uint64_t minBytes) {
  if (available < 0 || minBytes > static_cast<std::uint64_t>(available))
    RaisePrefixed<E>(prefix, msgUnexpectedEOF);
}

// What a decoder says when it would pass MaxDecoderMemory (limit):
// "Decoding needs 2 MB, more memory than MaxDecoderMemory allows (1 MB)";
// needed is 0 when only the codec knows it.
std::string PGDecoderMemoryText(std::uint64_t limit, std::uint64_t needed);

// True when every pixel of a 1-, 4- or 8-bit image names an entry of its
// palette (always for 24-bit images and palettes that fill the depth).
bool PGIndicesInPalette(TPixelGraphic& image);

// "2", "16", "256" ... for the bit counts the info panel shows.
std::string PGPowerOfTwoText(int bits);
