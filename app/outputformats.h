#pragma once
// The formats an export writes its slices in: what the Output Format menu
// and tessel-cli slice --format call each, the writer that makes the files
// (by its registry extension) and the files' own extension. Two formats
// may share an extension: 256-colour PNG slices are .png files.

#include <string>
#include <vector>

struct TOutputFormat {
  std::string Name;       // --format value: "jpg", "png8"
  std::string MenuText;   // ".jpg", "PNG 256 colours"
  std::string Writer;     // "jpg", "png8"
  std::string Extension;  // of the slice files, with the dot: ".jpg", ".png"
};

// In the menu's order; the first is the format at start.
const std::vector<TOutputFormat>& OutputFormats();
// The format named name (its Name), or null.
const TOutputFormat* FindOutputFormat(const std::string& name);
// The names as a list: "jpg, bmp, tif, png, webp or png8".
std::string OutputFormatNames();
