#pragma once
// The formats an export writes its slices in: what the Output Format menu
// and tessel-cli slice --format call each, the writer that makes the files
// (by its registry extension) and the files' own extension. Two formats
// may share an extension: 256-colour PNG slices are .png files. One,
// "auto", has neither writer nor extension: each slice gets the format that
// app/export/formatchoice.h finds best for it.

#include <string>
#include <vector>

struct TOutputFormat {
  std::string Name;       // --format value: "jpg", "png8"
  std::string MenuText;   // ".jpg", "PNG 256 colours"
  std::string Writer;     // "jpg", "png8"
  std::string Extension;  // of the slice files, with the dot: ".jpg", ".png"
  // Whether each slice's format is chosen for it (no writer of its own).
  bool Chosen() const { return Writer.empty(); }
};

// In the menu's order; the first is the format at start.
const std::vector<TOutputFormat>& OutputFormats();
// The format named name (its Name), or null.
const TOutputFormat* FindOutputFormat(const std::string& name);
// The names as a list: "jpg, bmp, tif, png, webp, png8 or auto".
std::string OutputFormatNames();
