#pragma once
// Grid files (.grd): the split positions as text, one integer per line,
// horizontal positions first, then a line "-", then the vertical ones.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "app/cut/splitgrid.h"

// Receives each out-of-bounds message while a grid loads (a message box in
// the window, a line on stderr in the command line tool).
using TGridMessageEvent = std::function<void(const std::string& message)>;

// The file's lines for a grid: each position in decimal, "-" between the lists.
std::vector<std::string> GridFileLines(const TSplitGrid& grid);

// Writes the grid with CR LF line ends; the file appears only complete.
// Raises EStreamError when it cannot be written.
void SaveGrid(const std::string& path, const TSplitGrid& grid);

// Splits text into lines at CR, LF or CR LF; a last line without an end counts.
std::vector<std::string> SplitLines(const std::string& text);

// The lines of a text file: SplitLines after a UTF-8 byte-order mark, which
// editors put at the start of files they save as UTF-8.
std::vector<std::string> TextFileLines(const std::string& text);

// The whole of a regular file as bytes; EStreamError when it cannot be
// read, or is a folder, a pipe or a device.
std::string ReadWholeFile(const std::string& path);

// A position of a grid file outside the image: line Line of the file held
// Text (a Vertical position or not), which was taken as TakenAs, the
// image's edge.
struct TGridStray {
  bool Vertical = false;
  std::string Text;
  std::int32_t TakenAs = 0;
  int Line = 0;
  bool Beyond() const { return TakenAs > 0; }
};
// What a stray says, naming the file and the line: for one beyond the
// image OutOfBoundsMessage and where it went, for one before it where it went.
std::string StrayMessage(const TGridStray& stray, const std::string& sourceName);

// Replaces both lists by the file's content for an image of the given size.
// Values beyond the extent are reported through onMessage and clamped;
// values below 0 are clamped silently. The whole file is read and converted
// before anything changes: on any error (EStreamError, EConvertError) the
// grid stays exactly as it was. A conversion error names the file and the
// line: "PATH, line N: 'x' is not a valid integer value".
// Every position outside the image, either side, is added to strays when
// given. The path "-" reads standard input.
void LoadGrid(const std::string& path, TSplitGrid& grid, int width, int height,
              const TGridMessageEvent& onMessage, std::vector<TGridStray>* strays = nullptr);

// The same for text already in memory; sourceName, when given, labels
// conversion errors as the path does.
void LoadGridText(const std::string& text, TSplitGrid& grid, int width, int height,
                  const TGridMessageEvent& onMessage, const std::string& sourceName = "",
                  std::vector<TGridStray>* strays = nullptr);

std::string OutOfBoundsMessage(const std::string& value);
