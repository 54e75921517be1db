// The TIFF reader.

#include "pgraphic/formats/tiff.h"

#include <algorithm>
#include <climits>
#include <memory>
#include <numeric>

#include "pgraphic/core/errors.h"
#include "pgraphic/core/messages.h"
#include "pgraphic/core/settings.h"
#include "pgraphic/core/uihooks.h"
#include "pgraphic/formats/codec_guard.h"
#include "pgraphic/formats/icc.h"
#include "pgraphic/formats/rowprogress.h"
#include "pgraphic/formats/tiff_detail.h"

using namespace tiff;

namespace {

const char* const NumStripsText = "NumStripOffsets<>(ImageLength+RowsPerStrip-1) div RowsPerStrip";

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

// The predictor only goes with the compressions made for it; elsewhere its
// tag means nothing, as in every reader.
bool Predicted(const TDirectory& d) {
  const bool made = d.Compression == compLZW || d.Compression == compDeflate || d.Compression == compOldDeflate;
  return made && d.Predictor != 1;
}

// Horizontal differences of whole bytes or 16-bit samples; not of
// floating-point samples, nor of sub-byte ones.
void CheckPredictor(const TDirectory& d) {
  if (!Predicted(d)) return;
  const bool wholeSamples = std::all_of(d.BitsPerSample.begin(), d.BitsPerSample.end(),
                                        [](std::uint32_t b) { return b == 8 || b == 16; });
  if (d.Predictor != 2 || !wholeSamples) ReadFailInvalid("Predictor");
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

void CheckStripCount(TDirectory& d, TPGWarningAction action) {
  const std::uint64_t rps = d.RowsPerStrip;
  const std::uint64_t expected = rps == 0 ? 0 : (std::uint64_t(d.Length) + rps - 1) / rps;
  if (expected == d.StripOffsets.size()) return;
  if (d.StripOffsets.size() != 1 || !AllowSingleStrip(action)) ReadFail(NumStripsText);
  d.RowsPerStrip = d.Length;
}

// Every strip must start inside the file and, when its byte count is
// known, end inside it.
void CheckStripPlacement(const TDirectory& d) {
  if (d.HasStripByteCounts && d.StripByteCounts.size() != d.StripOffsets.size())
    ReadFailInvalid("StripByteCounts");
  for (std::size_t i = 0; i < d.StripOffsets.size(); ++i) {
    if (d.StripOffsets[i] > d.Size) ReadFailInvalid("StripOffsets");
    if (d.HasStripByteCounts && d.StripByteCounts[i] > d.Size - d.StripOffsets[i])
      ReadFailMsg(msgUnexpectedEOF);
  }
}

// Where the data of a strip may run to. Uncompressed rows have a known size
// and are bounded by the file's end, not by a StripByteCounts that some
// writers get too small; compressed data, whose length is its own, ends
// where the count says.
std::int64_t StripEnd(const TDirectory& d, std::size_t strip) {
  if (!d.HasStripByteCounts || d.Compression == compNone) return d.Size;
  return std::int64_t(d.StripOffsets[strip]) + d.StripByteCounts[strip];
}

// The least the strips must hold for the promised rows: every row in full;
// with PackBits, whose runs stay inside a row, two bytes for every started
// 128 bytes of a row; with LZW, whose 9-bit code stands for at most 4096
// bytes, a byte for every 3640; with Deflate one for every 1032. Strips do not share their data, so the
// file has to hold that much, or it cannot be the image it claims.
void CheckStripData(const TDirectory& d) {
  const std::uint64_t bits = std::accumulate(d.BitsPerSample.begin(), d.BitsPerSample.end(), 0ull);
  const std::uint64_t rowBytes = (bits * d.Width + 7) / 8;
  std::uint64_t least = rowBytes * d.Length;
  if (d.Compression == compPackBits) least = (rowBytes + 127) / 128 * 2 * d.Length;
  if (d.Compression == compLZW) least /= 3640;
  if (d.Compression == compDeflate || d.Compression == compOldDeflate) least /= 1032;
  if (least > std::uint64_t(d.Size)) ReadFailMsg(msgUnexpectedEOF);
}

TPGPixelFormat DepthOf(const TDirectory& d) {
  if (d.SamplesPerPixel > 1) return pgpf24Bit;
  return d.BitsPerSample[0] == 1 ? pgpf1Bit : d.BitsPerSample[0] == 4 ? pgpf4Bit : pgpf8Bit;
}

void SizeImage(const TDirectory& d, TPixelGraphic& image) {
  const std::uint64_t pixels = std::uint64_t(d.Width) * d.Length;
  // Rows of no width cost nothing to read but every later pass walks them:
  // a few header bytes must not promise hundreds of millions.
  const bool rowsOfNoWidth = d.Width == 0 && d.Length > 0;
  if (d.Width > INT_MAX || d.Length > INT_MAX || pixels > PGSettings().MaxImagePixels || rowsOfNoWidth)
    RaisePrefixed<EPGTIFFileFormatReader>("TIFF: ", msgInvalidSizeOf, "image");
  CheckStripData(d);
  image.SetSizeAndFormat(int(d.Width), int(d.Length), DepthOf(d));
}

// The palette of ColorMap: all reds, then all greens, then all blues, each
// 16 bits wide. It must cover every index the depth can hold.
void SetColorMapPalette(const TDirectory& d, TPixelGraphic& image, int depthColors) {
  const std::size_t n = d.ColorMap.size() / 3;
  if (n < std::size_t(depthColors)) ReadFailInvalid("ColorMap");
  image.SetPaletteCount(depthColors);
  for (int i = 0; i < depthColors; ++i) {
    const auto c = [&](std::size_t k) { return (d.ColorMap[k * n + i] >> 8) & 0xFF; };
    image.SetPaletteEntry(i, RGBColor(c(0), c(1), c(2)));
  }
}

void SetPalette(const TDirectory& d, TPixelGraphic& image) {
  const TPGPixelFormat depth = DepthOf(d);
  if (depth == pgpf24Bit) return;
  if (depth == pgpf1Bit) return image.SetPaletteIdent(pBlackWhite);
  const bool grey = d.Photometric == phWhiteIsZero || d.Photometric == phBlackIsZero;
  if (grey) return image.SetPaletteIdent(depth == pgpf4Bit ? pGray16 : pGray256);
  if (d.Photometric == phPalette) return SetColorMapPalette(d, image, depth == pgpf4Bit ? 16 : 256);
  ReadFail(depth == pgpf4Bit ? "Unsupported 4 Bits/Pixel" : "Unsupported 8 Bits/Pixel");
}

// ---- row conversion into the image's bottom-up rows

// Palette and grey rows keep their layout; WhiteIsZero flips every value,
// which for 1, 4 and 8 bits is flipping every bit. Bits past the last pixel
// stay 0.
void ConvertSingleSample(const std::uint8_t* src, std::uint8_t* dst, std::size_t bytes,
                         std::uint64_t rowBits, bool whiteIsZero) {
  const std::uint8_t flip = whiteIsZero ? 0xFF : 0x00;
  for (std::size_t i = 0; i < bytes; ++i) dst[i] = src[i] ^ flip;
  if (const unsigned used = unsigned(rowBits % 8)) dst[bytes - 1] &= std::uint8_t(0xFF << (8 - used));
}

void ConvertRGB(const std::uint8_t* src, std::uint8_t* dst, std::uint32_t width, int step) {
  for (std::uint32_t x = 0; x < width; ++x, src += step, dst += 3) {
    dst[0] = src[2];
    dst[1] = src[1];
    dst[2] = src[0];
  }
}

void ConvertCMYK(const std::uint8_t* src, std::uint8_t* dst, std::uint32_t width) {
  for (std::uint32_t x = 0; x < width; ++x, src += 4, dst += 3) {
    const int k = src[3];
    dst[2] = std::uint8_t(std::max(0, 255 - src[0] - k));
    dst[1] = std::uint8_t(std::max(0, 255 - src[1] - k));
    dst[0] = std::uint8_t(std::max(0, 255 - src[2] - k));
  }
}

struct TRowReader {
  TRowReader(TSource& src, const TDirectory& dir, std::size_t rowBytes)
      : Src(src), Dir(dir), RowBytes(rowBytes), Row(rowBytes) {}

  const std::uint8_t* Fetch(std::uint32_t y) {
    if (y % Dir.RowsPerStrip == 0) {
      const std::size_t strip = y / Dir.RowsPerStrip;
      Decoder = MakeChunkDecoder(Src, Dir.Compression, Dir.StripOffsets[strip], StripEnd(Dir, strip));
    }
    Decoder->Read(Row.data(), RowBytes, y);
    if (Predicted(Dir)) UndoHorizontalPredictor(Row.data(), Dir.Width, Dir.SamplesPerPixel, Dir.BitsPerSample[0]);
    return Row.data();
  }

 private:
  TSource& Src;
  const TDirectory& Dir;
  std::size_t RowBytes;
  std::vector<std::uint8_t> Row;
  std::unique_ptr<TChunkDecoder> Decoder;
};

void ConvertRow(const TDirectory& d, const std::uint8_t* src, std::uint8_t* dst, std::size_t rowBytes) {
  if (d.SamplesPerPixel == 1)
    ConvertSingleSample(src, dst, rowBytes, std::uint64_t(d.BitsPerSample[0]) * d.Width,
                        d.Photometric == phWhiteIsZero);
  else if (d.SamplesPerPixel == 4 && d.Photometric == phSeparated)
    ConvertCMYK(src, dst, d.Width);
  else
    ConvertRGB(src, dst, d.Width, int(d.SamplesPerPixel));
}

// ---- colour profile

// What the profile describes: RGB or grey values, or for a CMYK file inks,
// which are converted without it.
TIccSpace ExpectedSpace(const TDirectory& d) {
  if (d.Photometric == phSeparated) return TIccSpace::isOther;
  return d.Photometric == phRGB || d.Photometric == phPalette ? TIccSpace::isRGB : TIccSpace::isGray;
}

// A damaged profile is a warning under the image's policy; the image reads on.
void TakeProfile(TStream& stream, const TDirectory& d, TPixelGraphic& image) {
  std::vector<std::uint8_t> icc;
  std::string problem = ReadIccProfile(stream, d, icc);
  if (problem.empty() && !icc.empty())
    problem = ExpectedSpace(d) == TIccSpace::isOther ? "the inks of a CMYK file are converted without one"
                                                     : TakeIccProfile(image, std::move(icc), ExpectedSpace(d));
  if (!problem.empty())
    pgcodec::ActOnWarning<EPGTIFFileFormatReader>(image.ReadWarningAction, "TIFF", IccIgnoredText(problem));
}

std::string ProfileInfo(TStream& stream, const TDirectory& d) {
  std::vector<std::uint8_t> icc;
  const std::string problem = ReadIccProfile(stream, d, icc);
  if (!problem.empty()) return IccDamagedText(problem);
  return icc.empty() ? "" : IccInfoText(std::move(icc), ExpectedSpace(d));
}

void ReadRows(TStream& stream, const TDirectory& d, TPixelGraphic& image) {
  const std::uint64_t bits = std::accumulate(d.BitsPerSample.begin(), d.BitsPerSample.end(), 0ull);
  const std::size_t rowBytes = std::size_t((bits * d.Width + 7) / 8);
  TSource src(stream, d.Base, d.Size, d.Order);
  TPGProgressBracket bracket(image);
  if (image.Empty()) return;
  TRowReader reader(src, d, rowBytes);
  for (std::uint32_t y = 0; y < d.Length; ++y) {
    ConvertRow(d, reader.Fetch(y), image.ScanLine(int(y)), rowBytes);
    image.DoRowsDone(int(y), 1);
    if (image.DoProgress(int(y), int(d.Length))) break;
  }
}

std::string CompressionText(std::uint32_t c) {
  switch (c) {
    case 1: return "Uncompr.";
    case 2: return "CCITT 1D";
    case 3: return "Group 3 F.";
    case 4: return "Group 4 F.";
    case 5: return "LZW";
    case 6: return "JPEG";
    case compDeflate:
    case compOldDeflate: return "Deflate";
    case compPackBits: return "PackBits";
    default: return "";
  }
}

std::string PhotometricText(std::uint32_t p) {
  switch (p) {
    case phWhiteIsZero: return ", WhiteIsZero";
    case phBlackIsZero: return ", BlackIsZero";
    case phRGB: return ", RGB";
    case phPalette: return ", RGB Palette";
    case phSeparated: return ", CMYK";
    default: ReadFail("Unsupported photometric interpretation " + std::to_string(p));
  }
}

}  // namespace

TTIFFileFormatReader::TTIFFileFormatReader() {
  SafeOnThreads = true;
  RowDelivery = rdTopDown;
  Extension = "tif";
  Description = "Tagged Image File Format";
  HasSignature = true;
}

bool TTIFFileFormatReader::CheckSignature(const std::uint8_t* h, int headerSize) {
  if (headerSize < 4) return false;
  return (h[0] == 'I' && h[1] == 'I' && h[2] == 0x2A && h[3] == 0) ||
         (h[0] == 'M' && h[1] == 'M' && h[2] == 0 && h[3] == 0x2A);
}

void TTIFFileFormatReader::ReadImage(TStream& stream, TPixelGraphic& image, int index) {
  TDirectory d = ReadDirectory(stream, index);
  CheckCompression(d.Compression);
  CheckPredictor(d);
  CheckStripCount(d, image.ReadWarningAction);
  CheckStripPlacement(d);
  SizeImage(d, image);
  SetPalette(d, image);
  if (ProfilesWanted()) TakeProfile(stream, d, image);
  ReadRows(stream, d, image);
}

void TTIFFileFormatReader::ReadInfo(TStream& stream, int index, TFileInfo& info) {
  TFileFormatReader::ReadInfo(stream, index, info);
  const TDirectory d = ReadDirectory(stream, index);
  info.ImageCount = d.ImageCount;
  info.SubformatText = (d.Order.Big ? "M, " : "I, ") + CompressionText(d.Compression) +
                       PhotometricText(d.Photometric);
  if (d.Compression >= 2 && d.Compression <= 6 && d.Compression != compLZW) info.ExtraText = "(Unsupported compression)";
  info.Width = int(std::min<std::uint32_t>(d.Width, INT_MAX));
  info.Height = int(std::min<std::uint32_t>(d.Length, INT_MAX));
  const std::uint64_t bits = std::accumulate(d.BitsPerSample.begin(), d.BitsPerSample.end(), 0ull);
  info.BitsPerPixel = int(bits);
  info.ColorCountText = bits >= 24 ? "16.7 M" : std::to_string(1ull << bits);
  info.ColorProfileText = ProfileInfo(stream, d);
}
