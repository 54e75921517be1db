#pragma once
// --adjust KIND:A,B,C of tessel-cli: the colour adjustment of the Tools menu
// without its dialog.

#include <string>

class TPixelGraphic;

// KIND is rgb, cmy or hls; A, B, C are the dialog's slider values (percent,
// degrees for H). The filter is applied to image in place, as the window does
// after the dialog is accepted. Raises TCliUsageError on a malformed adjustment.
void ApplyAdjustSpec(TPixelGraphic& image, const std::string& adjustment);
