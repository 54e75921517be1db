// What the TIFF reader checks in a directory before any pixel memory
// exists: a compression it reads, strips or tiles that lie in the file and
// can hold the image, and what decoding them costs.

#include <algorithm>
#include <climits>

#include "pgraphic/core/errors.h"
#include "pgraphic/core/messages.h"
#include "pgraphic/core/settings.h"
#include "pgraphic/core/uihooks.h"
#include "pgraphic/formats/decodechecks.h"
#include "pgraphic/formats/tiff/tiff_detail.h"

namespace tiff {

namespace {

const char* const NumStripsText = "NumStripOffsets<>(ImageLength+RowsPerStrip-1) div RowsPerStrip";

std::uint64_t Times(std::uint64_t a, std::uint64_t b) {
  return a != 0 && b > UINT64_MAX / a ? UINT64_MAX : a * b;
}

void CheckCompression(std::uint32_t c) {
  switch (c) {
    case compNone:
    case compLZW:
    case compDeflate:
    case compOldDeflate:
    case compPackBits: return;
    case 2: ReadFail("Unsupported compression CCITT 1D");
    case 3: ReadFail("Unsupported compression Group 3 Fax");
    case 4: ReadFail("Unsupported compression Group 4 Fax");
    case 6: ReadFail("Unsupported compression JPEG");
    default: ReadFail("Unsupported compression " + std::to_string(c));
  }
}

// Horizontal differences of whole bytes or 16-bit samples; not of
// floating-point samples, nor of sub-byte ones.
void CheckPredictor(const TDirectory& d) {
  if (!Predicted(d)) return;
  if (d.Predictor != 2 || (d.BitsPerSample[0] != 8 && d.BitsPerSample[0] != 16)) ReadFailInvalid("Predictor");
}

// A single strip that disagrees with RowsPerStrip is read as one strip when
// the image's policy allows it.
bool AllowSingleStrip(TPGWarningAction action) {
  const std::string text = std::string("TIFF: ") + NumStripsText;
  if (action == pgwaIgnore) return true;
  if (action == pgwaOKBox || action == pgwaOKCancelBox) {
    const bool ask = action == pgwaOKCancelBox;
    const auto buttons = ask ? TPGMsgButtons::mbOKCancel : TPGMsgButtons::mbOK;
    const TPGMsgResult answer = PGWarningBox(text, buttons, "TIFF-Warning");
    return !ask || answer == TPGMsgResult::mrOK;
  }
  return false;
}

std::uint64_t ChunkCount(const TLayout& l) { return Times(Times(l.Across, l.Down), l.Planes); }

void CheckChunkCount(TDirectory& d, TPGWarningAction action) {
  const TLayout l = LayoutOf(d);
  if (ChunkCount(l) == d.Offsets.size()) return;
  if (d.Tiled) ReadFailInvalid("TileOffsets");
  if (l.Planes != 1 || d.Offsets.size() != 1 || !AllowSingleStrip(action)) ReadFail(NumStripsText);
  d.RowsPerStrip = d.Length;
}

// Every strip or tile must start inside the file and, when its byte count
// is known, end inside it.
void CheckChunkPlacement(const TDirectory& d) {
  const std::string kind = d.Tiled ? "Tile" : "Strip";
  if (d.HasByteCounts && d.ByteCounts.size() != d.Offsets.size()) ReadFailInvalid(kind + "ByteCounts");
  for (std::size_t i = 0; i < d.Offsets.size(); ++i) {
    if (d.Offsets[i] > d.Size) ReadFailInvalid(kind + "Offsets");
    if (d.HasByteCounts && d.ByteCounts[i] > d.Size - d.Offsets[i]) ReadFailMsg(msgUnexpectedEOF);
  }
}

void CheckImageSize(const TDirectory& d) {
  const std::uint64_t pixels = std::uint64_t(d.Width) * d.Length;
  // Rows of no width cost nothing to read but every later pass walks them:
  // a few header bytes must not promise hundreds of millions.
  const bool rowsOfNoWidth = d.Width == 0 && d.Length > 0;
  if (d.Width > INT_MAX || d.Length > INT_MAX || pixels > PGSettings().MaxImagePixels || rowsOfNoWidth)
    RaisePrefixed<EPGTIFFileFormatReader>("TIFF: ", msgInvalidSizeOf, "image");
}

// The least the strips or tiles must hold for the promised rows: every row
// in full; with PackBits, whose runs stay inside a row, two bytes for every
// started 128 bytes of a row; with LZW, whose 9-bit code stands for at most
// 4096 bytes, a byte for every 3640; with Deflate one for every 1032.
// Chunks do not share their data, so the file has to hold that much, or it
// cannot be the image it claims.
void CheckChunkData(const TDirectory& d, const TLayout& l) {
  const std::uint64_t rows = d.Tiled ? Times(l.Down, l.ChunkRows) : d.Length;
  const std::uint64_t rowBytes = d.Compression == compPackBits ? (l.ChunkRowBytes + 127) / 128 * 2 : l.ChunkRowBytes;
  std::uint64_t least = Times(Times(Times(rows, rowBytes), l.Across), l.Planes);
  if (d.Compression == compLZW) least /= 3640;
  if (d.Compression == compDeflate || d.Compression == compOldDeflate) least /= 1032;
  if (least > std::uint64_t(d.Size)) ReadFailMsg(msgUnexpectedEOF);
}

// Tiles of sub-byte samples must start on a byte, as TIFF's widths of a
// multiple of 16 do.
void CheckTiles(const TDirectory& d, const TLayout& l) {
  if (d.Tiled && l.Across > 1 && (std::uint64_t(l.ChunkWidth) * l.Bits * l.SamplesInPlane) % 8 != 0)
    ReadFailInvalid("TileWidth");
}

// The rows decoded beside the image: a row of each plane (strips) or their
// rows of a row of tiles and one row of a tile (tiles), and for a file in
// planes the interleaved row. Samples of many bits on a wide image make
// these alone gigabytes.
void CheckRowMemory(const TDirectory& d, const TLayout& l) {
  const auto plus = [](std::uint64_t a, std::uint64_t b) { return a > UINT64_MAX - b ? UINT64_MAX : a + b; };
  const std::uint64_t rows = d.Tiled ? std::min(l.ChunkRows, d.Length) : 1;
  std::uint64_t needed = Times(Times(rows, l.PlaneRowBytes), l.Planes);
  if (d.Tiled) needed = plus(needed, l.ChunkRowBytes);
  if (l.Planes > 1) needed = plus(needed, Times(l.PlaneRowBytes, l.Planes));
  const std::uint64_t limit = PGSettings().MaxDecoderMemory;
  if (needed > limit) throw EPGTIFFileFormatReader("TIFF: " + PGDecoderMemoryText(limit, needed));
}

}  // namespace

bool Predicted(const TDirectory& d) {
  const bool made = d.Compression == compLZW || d.Compression == compDeflate || d.Compression == compOldDeflate;
  return made && d.Predictor != 1;
}

void CheckForReading(TDirectory& d, TPGWarningAction action) {
  CheckCompression(d.Compression);
  CheckPredictor(d);
  CheckChunkCount(d, action);
  CheckChunkPlacement(d);
  CheckImageSize(d);
  const TLayout l = LayoutOf(d);
  CheckChunkData(d, l);
  CheckTiles(d, l);
  CheckRowMemory(d, l);
}

}  // namespace tiff
