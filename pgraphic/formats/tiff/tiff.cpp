// The TIFF reader.

#include "pgraphic/formats/tiff/tiff.h"

#include <algorithm>
#include <climits>
#include <numeric>

#include "pgraphic/core/errors.h"
#include "pgraphic/formats/codec_guard.h"
#include "pgraphic/formats/icc.h"
#include "pgraphic/formats/rowprogress.h"
#include "pgraphic/core/settings.h"
#include "pgraphic/formats/tiff/tiff_detail.h"

using namespace tiff;

namespace {

// Grey of 8 or 16 bits, and grey with alpha, become 256 greys; more
// samples become 24-bit colour.
TPGPixelFormat DepthOf(const TDirectory& d) {
  const std::uint32_t bits = d.BitsPerSample[0];
  if (d.Photometric <= phBlackIsZero && bits >= 8) return pgpf8Bit;
  if (d.SamplesPerPixel > 1) return pgpf24Bit;
  return bits == 1 ? pgpf1Bit : bits == 4 ? pgpf4Bit : pgpf8Bit;
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

void ReadRows(TStream& stream, const TDirectory& d, TPixelGraphic& image, TRGB background) {
  TSource src(stream, d.Base, d.Size, d.Order);
  TPGProgressBracket bracket(image);
  if (image.Empty()) return;
  TSampleRows rows(src, d);
  const TSampleForm form(d, background, PGSettings().KeepAlpha);
  if (form.KeepsAlpha()) image.AddAlpha();
  for (std::uint32_t y = 0; y < d.Length; ++y) {
    form.Convert(rows.Row(y), image.ScanLine(int(y)), image.AlphaLine(int(y)));
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
  FillsRowsOneByOne = true;
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
  CheckForReading(d, image.ReadWarningAction);
  // Alpha is laid on the background the image had when the load began.
  const TRGB background = image.BackGroundColor();
  image.SetSizeAndFormat(int(d.Width), int(d.Length), DepthOf(d));
  SetPalette(d, image);
  if (ProfilesWanted()) TakeProfile(stream, d, image);
  ReadRows(stream, d, image, background);
}

void TTIFFileFormatReader::ReadInfo(TStream& stream, int index, TFileInfo& info) {
  TFileFormatReader::ReadInfo(stream, index, info);
  const TDirectory d = ReadDirectory(stream, index);
  info.ImageCount = d.ImageCount;
  info.SubformatText = (d.Order.Big ? "M, " : "I, ") + CompressionText(d.Compression) +
                       PhotometricText(d.Photometric);
  if (d.Compression >= 2 && d.Compression <= 6 && d.Compression != compLZW) info.ExtraText = "(Unsupported compression)";
  if (!d.ExtraSamples.empty() && (d.ExtraSamples[0] == exAssociatedAlpha || d.ExtraSamples[0] == exUnassociatedAlpha))
    info.Alpha = true;
  info.Width = int(std::min<std::uint32_t>(d.Width, INT_MAX));
  info.Height = int(std::min<std::uint32_t>(d.Length, INT_MAX));
  const std::uint64_t bits = std::accumulate(d.BitsPerSample.begin(), d.BitsPerSample.end(), 0ull);
  info.BitsPerPixel = int(bits);
  info.ColorCountText = bits >= 24 ? "16.7 M" : std::to_string(1ull << bits);
  info.ColorProfileText = ProfileInfo(stream, d);
}
