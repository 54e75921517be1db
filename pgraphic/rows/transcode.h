#pragma once
// One image file to another, writing the target while the source still
// decodes where both formats allow it.

#include <string>

#include "pgraphic/core/pixelgraphic.h"

// LoadFromFile(source) followed by SaveToFile(target) on image, with the
// same outcome in every way (image, file, messages, failures, the order of
// failures): when the source's reader hands rows over as it decodes them
// and the target's writer takes them from the top down in the image's own
// colour resolution, the writer runs on a thread of the pool and writes
// each row as soon as it is in (rows of a file stored bottom-up are in only
// once its top row is, at the end). Otherwise, and where the image has
// handlers or the pool no thread to give, the two run one after the other.
// Without keepImage, on the road that writes while loading, the rows live
// in a few bands reused a band behind the writer (memory follows the
// writer, not the picture) and image's rows read as zeros afterwards
// (rowmemory.h).
void TranscodeFile(TPixelGraphic& image, const std::string& source, const std::string& target,
                   bool keepImage = true);
