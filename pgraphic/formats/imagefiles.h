#pragma once
// An image's bytes in and out through the format registry: files by name,
// the image's own persistence (a 4-byte length, then a BMP file) and the
// packed-bitmap clipboard format. TPixelGraphic's file and stream members
// forward here: the core cannot reach the registry, so the work is done on
// this side and the members the rest of the program knows stay as they are.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class TPixelGraphic;
class TStream;

// Image 0 of the file, by its extension or else its signature.
void LoadImageFile(TPixelGraphic& image, const std::string& fileName);
// By the extension's writer, staged: an old file stays when writing fails.
void SaveImageFile(TPixelGraphic& image, const std::string& fileName);

// The image's own persistence; reading never runs past the counted bytes
// and leaves the stream after them.
void WriteImageData(TPixelGraphic& image, TStream& stream);
void ReadImageData(TPixelGraphic& image, TStream& stream);

// Clipboard format numbers: the bitmap and the packed device-independent
// bitmap (information header, colour table, pixels as stored).
constexpr unsigned PGClipboardBitmap = 2;
constexpr unsigned PGClipboardPackedBitmap = 8;

// A block of clipboard memory.
class TPGClipboardBlock {
 public:
  explicit TPGClipboardBlock(std::size_t size) : FData(size) {}
  std::uint8_t* Data() { return FData.data(); }
  std::size_t Size() const { return FData.size(); }

 private:
  std::vector<std::uint8_t> FData;
};

// Accepts both format numbers; raises EPGUnknownClipboardFormat for any
// other, or for no data.
void LoadFromClipboardFormat(TPixelGraphic& image, unsigned format, TPGClipboardBlock* data);
// Always the packed bitmap.
std::unique_ptr<TPGClipboardBlock> SaveToClipboardFormat(TPixelGraphic& image, unsigned& format);
