#pragma once
// One image file to another, writing the target while the source still
// decodes where both formats allow it.

#include <string>

#include "pgraphic/core/pixelgraphic.h"

// LoadFromFile(source) followed by SaveToFile(target) on image, with the
// same outcome in every way (image, file, messages, failures, the order of
// failures): when the source's reader hands rows over as it decodes them
// and the target's writer takes them from the top down in the image's own
// colour resolution, the writer runs on a thread of its own and writes each
// row as soon as it is in. Otherwise the two run one after the other.
// Without keepImage, on the road that writes while loading, each band of
// rows goes back to the system once written (memory follows the writer,
// not the picture) and image's rows read as zeros afterwards.
void TranscodeFile(TPixelGraphic& image, const std::string& source, const std::string& target,
                   bool keepImage = true);
