#include "pgraphic/formats/png/png.h"

#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <csetjmp>
#include <cstddef>
#include <cstring>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "pgraphic/core/alpha.h"
#include "pgraphic/core/errors.h"
#include "pgraphic/core/messages.h"
#include "pgraphic/core/settings.h"
#include "pgraphic/formats/codec_guard.h"
#include "pgraphic/formats/decodechecks.h"
#include "pgraphic/formats/icc.h"
#include "pgraphic/formats/png/png_parts.h"
#include "pgraphic/formats/rowprogress.h"

// How failures leave libpng: see codec_guard.h. The structure-size check is
// met by compiling against libpng's own headers.

namespace {

using namespace pgcodec;
using EPng = EPGPNGFileFormatReaderWriter;
const char* const kPrefix = "PNG: ";
// libpng's level when none is set.
constexpr int kLibpngDefaultLevel = 6;

struct TPngSession : TSession {
  png_structp Png = nullptr;
  png_infop Info = nullptr;
  png_color Palette[256] = {};
  int PaletteCount = 0;
  bool WantProfile = false;  // iCCP read, not skipped
  // While information is read: libpng's complaint about the profile, kept
  // for the information line instead of failing the whole call.
  bool KeepProfileWarning = false;
  std::string ProfileWarning;
  std::uint32_t Chunks = 0;  // read so far, besides the image data
};

// The header facts of a file, as libpng reports them.
struct TPngHeader {
  png_uint_32 Width = 0;
  png_uint_32 Height = 0;
  int BitDepth = 0;
  int ColorType = 0;
  int Interlace = 0;
  int Channels = 0;
  png_uint_32 Valid = 0;  // PNG_INFO_* flags of the chunks present
};

// How a file's transparency comes into the image's alpha plane, where it
// is kept: by each pixel's palette index (tRNS), or split from grey-alpha
// or blue-green-red-alpha rows that libpng expands every other kind to.
enum class TKeptAlpha : std::uint8_t { None, ByIndex, GreyAlpha, ColourAlpha };

struct TReadSession : TPngSession {
  TPngHeader Header;
  TKeptAlpha Alpha = TKeptAlpha::None;
  png_byte IndexAlpha[256] = {};
  int IndexAlphaCount = 0;
  // Interleaved rows as libpng hands them: one, or every row of an
  // interlaced file, whose passes fill them bit by bit.
  std::vector<std::uint8_t> Interleaved;
  png_color_16 FileBackground{};
  double FileGamma = 0;
  // Composing onto a background, in the output's sample scale.
  bool Compose = false;
  bool BackgroundFromFile = false;
  TRGB BackgroundColor = 0;
  png_color_16 Background{};
  TPGPixelFormat Depth = pgpf24Bit;
  std::size_t RowBytes = 0;
  int Passes = 1;
  std::string ProfileInfo;
};

struct TWriteSession : TPngSession {
  // The alpha plane goes into the rows (grey-alpha or red-green-blue-alpha),
  // or into tRNS for a palette.
  bool Alpha = false;
  std::vector<std::uint8_t> Row;
  png_byte Trns[256] = {};
  int TrnsCount = 0;
  png_uint_32 Width = 0;
  png_uint_32 Height = 0;
  int BitDepth = 8;
  int ColorType = PNG_COLOR_TYPE_RGB;
  bool WriteGamma = false;
  double Gamma = 0;
  int Level = 6;
  TPngStrategy Strategy = TPngStrategy::psAuto;
  // The profile embedded (iCCP), or the sRGB chunk.
  std::vector<std::uint8_t> Icc;
  std::string IccName;
  bool SRGB = false;
  int SRGBIntent = 0;
};

TPngSession& SessionOf(png_const_structrp png) {
  return *static_cast<TPngSession*>(png_get_error_ptr(png));
}

// ---- library check and handlers

// Same major and minor release as the headers we were built with.
void CheckLibraries() {
  const bool pngOk = png_access_version_number() / 100 == PNG_LIBPNG_VER / 100;
  const bool zlibOk = std::strncmp(zlibVersion(), ZLIB_VERSION, 4) == 0;
  if (!pngOk || !zlibOk) throw EPng(std::string(kPrefix) + "Invalid library version");
}

void PngError(png_structp png, png_const_charp text) {
  TPngSession& s = SessionOf(png);
  Guarded(s, [&] { throw EPng(kPrefix + std::string(text)); });
  Bail(s);
}

// libpng reports a chunk past the limits set in LimitDecoder as a warning
// ("chunk data is too large", "exceeds application limits", "no space in
// chunk cache") and goes on; such a file is refused instead, whatever the
// warning policy. A damaged profile's own complaints ("tag count too
// large") stay warnings.
bool PastALimit(png_const_charp text) {
  for (const char* sign : {"chunk data is too large", "limits", "chunk cache"})
    if (std::strstr(text, sign)) return true;
  return false;
}

void PngWarning(png_structp png, png_const_charp text) {
  TPngSession& s = SessionOf(png);
  if (s.KeepProfileWarning && std::strncmp(text, "iCCP", 4) == 0) {
    if (!Guarded(s, [&] { s.ProfileWarning = text; })) Bail(s);
    return;
  }
  if (PastALimit(text)) PngError(png, text);
  if (!Guarded(s, [&] { ActOnWarning<EPng>(s.Warnings, "PNG", text); })) Bail(s);
}

[[noreturn]] void FailCreate(TPngSession& s, const char* what) {
  Guarded(s, [&] { RaisePrefixed<EPng>(kPrefix, msgFailed, what); });
  Bail(s);
}

// Skipped chunks cost no memory, but a file of millions of them would cost
// a walk over each; valid files, animations included, have far fewer.
constexpr std::uint32_t kMaxChunks = 1u << 16;

// Counts the chunk headers libpng reads, image data apart.
void CountChunk(TPngSession& s, png_const_bytep header, std::size_t length) {
  if (length != 8 || (png_get_io_state(s.Png) & PNG_IO_CHUNK_HDR) == 0) return;
  if (std::memcmp(header + 4, "IDAT", 4) == 0) return;
  if (++s.Chunks <= kMaxChunks) return;
  Guarded(s, [] { throw EPng(kPrefix + std::string("More than ") + std::to_string(kMaxChunks) + " chunks"); });
  Bail(s);
}

void ReadData(png_structp png, png_bytep data, std::size_t length) {
  TPngSession& s = *static_cast<TPngSession*>(png_get_io_ptr(png));
  std::int64_t got = 0;
  if (!Guarded(s, [&] { got = s.Stream->Read(data, std::int64_t(length)); })) Bail(s);
  if (got != std::int64_t(length)) png_error(png, "Read Error");
  CountChunk(s, data, length);
}

void WriteData(png_structp png, png_bytep data, std::size_t length) {
  TPngSession& s = *static_cast<TPngSession*>(png_get_io_ptr(png));
  std::int64_t written = 0;
  if (!Guarded(s, [&] { written = s.Stream->Write(data, std::int64_t(length)); })) Bail(s);
  if (written != std::int64_t(length)) png_error(png, "Write Error");
}

void FlushData(png_structp) {}

// Deflate turns one byte into at most 1032.
constexpr std::uint64_t kInflateRatio = 1032;

// Bytes the stream still holds; may raise, so callers run it guarded.
std::uint64_t RemainingBytes(TSession& s) {
  const std::int64_t left = s.Stream->Remaining();
  return left > 0 ? std::uint64_t(left) : 0;
}

// libpng sizes the buffer of a text, profile or other variable-length
// chunk from the chunk's length field before it reads the data, so a few
// bytes claiming a 1 GB zTXt chunk cost 1 GB. None of them is used here:
// they are skipped unread, which needs no buffer.
void SkipUnusedChunks(TPngSession& s) {
  static const png_byte kUnused[] = "tEXt\0zTXt\0iTXt\0iCCP\0sPLT\0pCAL\0sCAL\0eXIf\0sTER\0";
  png_set_keep_unknown_chunks(s.Png, PNG_HANDLE_CHUNK_NEVER, kUnused, int(sizeof kUnused / 5));
}

// What libpng may take beyond the image, bounded by MaxDecoderMemory: one
// chunk's data, or a profile or text inflated from it, at most a 64th of
// it (16 MB by default; a longer chunk is refused before it is read), and
// at most 32 such chunks kept (only iCCP is, where profiles are wanted), so
// half of it at the most. Rows past MaxImagePixels are refused in the
// header already.
void LimitDecoder(TPngSession& s) {
  const TPGLibrarySettings& settings = PGSettings();
  const std::uint64_t chunkBytes = std::clamp<std::uint64_t>(settings.MaxDecoderMemory / 64, 1, PNG_UINT_31_MAX);
  png_set_chunk_malloc_max(s.Png, png_alloc_size_t(chunkBytes));
  png_set_chunk_cache_max(s.Png, 32);
  const auto side = png_uint_32(std::clamp<std::uint64_t>(settings.MaxImagePixels, 1, PNG_UINT_31_MAX));
  png_set_user_limits(s.Png, side, side);
}

// Where profiles are wanted, iCCP is read after all: libpng sizes its
// buffer only after checking the profile's length against its chunk memory
// limit, and checks its header and tag table. A profile that says it is
// sRGB is taken as it says, without libpng's comparison with the ones it knows.
void ReadProfileChunk(TPngSession& s) {
  static const png_byte kIccp[] = "iCCP";
  png_set_keep_unknown_chunks(s.Png, PNG_HANDLE_CHUNK_AS_DEFAULT, kIccp, 1);
  png_set_option(s.Png, PNG_SKIP_sRGB_CHECK_PROFILE, PNG_OPTION_ON);
}

void CreateRead(TPngSession& s) {
  s.Png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &s, PngError, PngWarning);
  if (!s.Png) FailCreate(s, "png_create_read_struct");
  s.Info = png_create_info_struct(s.Png);
  if (!s.Info) FailCreate(s, "png_create_info_struct");
  png_set_read_fn(s.Png, &s, ReadData);
  LimitDecoder(s);
  SkipUnusedChunks(s);
  if (s.WantProfile) ReadProfileChunk(s);
#ifdef FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION
  // Fuzz builds only: mutated chunks would almost all fail their checksums
  // and never reach the decoder behind them.
  png_set_crc_action(s.Png, PNG_CRC_QUIET_USE, PNG_CRC_QUIET_USE);
  png_set_option(s.Png, PNG_IGNORE_ADLER32, PNG_OPTION_ON);
#endif
}

void ReadHeader(TReadSession& s) {
  TPngHeader& h = s.Header;
  png_get_IHDR(s.Png, s.Info, &h.Width, &h.Height, &h.BitDepth, &h.ColorType, &h.Interlace, nullptr,
               nullptr);
  h.Channels = png_get_channels(s.Png, s.Info);
  h.Valid = png_get_valid(s.Png, s.Info, ~png_uint_32(0));
  png_color_16p background = nullptr;
  if (png_get_bKGD(s.Png, s.Info, &background) && background) s.FileBackground = *background;
  if (!png_get_gAMA(s.Png, s.Info, &s.FileGamma)) s.FileGamma = 0;
}

// ---- colour profile

TIccSpace ExpectedSpace(const TPngHeader& h) {
  return (h.ColorType & PNG_COLOR_MASK_COLOR) ? TIccSpace::isRGB : TIccSpace::isGray;
}

// The iCCP profile, empty when there is none.
std::vector<std::uint8_t> FileProfile(TPngSession& s, std::string& name) {
  png_charp chunkName = nullptr;
  int compression = 0;
  png_bytep data = nullptr;
  png_uint_32 length = 0;
  if (!png_get_iCCP(s.Png, s.Info, &chunkName, &compression, &data, &length) || !data) return {};
  name = chunkName ? chunkName : "";
  return std::vector<std::uint8_t>(data, data + length);
}

// A damaged profile is a warning under the image's policy; the image reads
// on. A file that only says sRGB keeps that, for a writer to say it again.
void TakeProfile(TReadSession& s) {
  std::string name;
  std::vector<std::uint8_t> icc = FileProfile(s, name);
  if (!icc.empty()) {
    const std::string problem = TakeIccProfile(*s.Image, std::move(icc), ExpectedSpace(s.Header), name);
    if (!problem.empty()) ActOnWarning<EPng>(s.Warnings, "PNG", IccIgnoredText(problem));
    return;
  }
  int intent = 0;
  if (!png_get_sRGB(s.Png, s.Info, &intent)) return;
  auto profile = std::make_shared<TPGColorProfile>();
  profile->SRGB = true;
  profile->SRGBIntent = intent;
  s.Image->ColorProfile = std::move(profile);
}

void ReadProfileInfo(TReadSession& s) {
  std::string name;
  std::vector<std::uint8_t> icc = FileProfile(s, name);
  int intent = 0;
  if (!icc.empty())
    s.ProfileInfo = IccInfoText(std::move(icc), ExpectedSpace(s.Header));
  else if (!s.ProfileWarning.empty())
    s.ProfileInfo = IccDamagedText(s.ProfileWarning);
  else if (png_get_sRGB(s.Png, s.Info, &intent))
    s.ProfileInfo = "ICC profile: sRGB";
}

void CopyPalette(TPngSession& s) {
  png_colorp palette = nullptr;
  int count = 0;
  s.PaletteCount = 0;
  if (!png_get_PLTE(s.Png, s.Info, &palette, &count) || !palette) return;
  s.PaletteCount = count < 0 ? 0 : (count > 256 ? 256 : count);
  std::memcpy(s.Palette, palette, sizeof(png_color) * std::size_t(s.PaletteCount));
}

// ---- planning the read

TPGPixelFormat DepthClass(const TPngHeader& h) {
  if (h.Channels > 2) return pgpf24Bit;
  if (h.BitDepth == 1) return pgpf1Bit;
  if (h.BitDepth <= 4) return pgpf4Bit;
  return pgpf8Bit;
}

TPaletteIdent GreyPalette(int bitDepth) {
  switch (bitDepth) {
    case 1:
      return pBlackWhite;
    case 2:
      return pGray4;
    case 4:
      return pGray16;
  }
  return pGray256;
}

int ScaleTo8(int value, int bitDepth) {
  if (bitDepth == 16) return value >> 8;
  if (bitDepth == 8) return value;
  return value * 255 / ((1 << bitDepth) - 1);
}

// The bKGD colour as 8-bit RGB, whatever the colour type and bit depth.
TRGB FileBackgroundColor(const TReadSession& s) {
  const png_color_16& b = s.FileBackground;
  const int depth = s.Header.BitDepth;
  if (s.Header.ColorType == PNG_COLOR_TYPE_PALETTE) {
    if (b.index >= s.PaletteCount) return 0;
    const png_color& c = s.Palette[b.index];
    return RGBColor(c.red, c.green, c.blue);
  }
  if ((s.Header.ColorType & PNG_COLOR_MASK_COLOR) == 0) return Grey(unsigned(ScaleTo8(b.gray, depth)));
  return RGBColor(unsigned(ScaleTo8(b.red, depth)), unsigned(ScaleTo8(b.green, depth)),
                  unsigned(ScaleTo8(b.blue, depth)));
}

// libpng composes in the output's sample scale: 8-bit colour (it widens this
// itself for 16-bit files that are stripped afterwards) and, for grey files
// below 8 bits, the file's own depth.
png_color_16 OutputBackground(TRGB color, int bitDepth) {
  png_color_16 b{};
  b.red = png_uint_16(GetRValue(color));
  b.green = png_uint_16(GetGValue(color));
  b.blue = png_uint_16(GetBValue(color));
  const int grey = int(GetRValue(color) + GetGValue(color) + GetBValue(color)) / 3;
  const int top = bitDepth < 8 ? (1 << bitDepth) - 1 : 255;
  b.gray = png_uint_16((grey * top + 127) / 255);
  return b;
}

bool HasTransparency(const TPngHeader& h) {
  return (h.Valid & PNG_INFO_tRNS) != 0 || (h.ColorType & PNG_COLOR_MASK_ALPHA) != 0;
}

void KeepAlpha(TReadSession& s) {
  const TPngHeader& h = s.Header;
  if (h.ColorType == PNG_COLOR_TYPE_PALETTE) {
    s.Alpha = TKeptAlpha::ByIndex;
    png_bytep alpha = nullptr;
    int count = 0;
    if (png_get_tRNS(s.Png, s.Info, &alpha, &count, nullptr) && alpha) {
      s.IndexAlphaCount = std::clamp(count, 0, 256);
      std::memcpy(s.IndexAlpha, alpha, std::size_t(s.IndexAlphaCount));
    }
    return;
  }
  const bool colour = (h.ColorType & PNG_COLOR_MASK_COLOR) != 0;
  s.Alpha = colour ? TKeptAlpha::ColourAlpha : TKeptAlpha::GreyAlpha;
  s.Depth = colour ? pgpf24Bit : pgpf8Bit;
}

bool Interleaves(const TReadSession& s) {
  return s.Alpha == TKeptAlpha::GreyAlpha || s.Alpha == TKeptAlpha::ColourAlpha;
}

void PlanRead(TReadSession& s) {
  const TPngHeader& h = s.Header;
  const std::uint64_t pixels = std::uint64_t(h.Width) * h.Height;
  if (pixels > PGSettings().MaxImagePixels) RaisePrefixed<EPng>(kPrefix, msgInvalidSizeOf, "image");
  // The filtered rows (a filter byte and the packed samples each) must fit
  // in what the rest of the file can inflate to, or the file cannot hold
  // the image it promises; checked before any pixel memory exists.
  const std::uint64_t rowBytes = (std::uint64_t(h.Width) * h.BitDepth * h.Channels + 7) / 8;
  if (h.Height * (rowBytes + 1) > RemainingBytes(s) * kInflateRatio + 1024)
    RaisePrefixed<EPng>(kPrefix, msgUnexpectedEOF);
  s.Depth = DepthClass(h);
  if (!HasTransparency(h)) return;
  if (PGSettings().KeepAlpha) return KeepAlpha(s);
  s.Compose = true;
  s.BackgroundFromFile = (h.Valid & PNG_INFO_bKGD) != 0 && PGSettings().PngUseFileBackground;
  s.BackgroundColor = s.BackgroundFromFile ? FileBackgroundColor(s) : s.Image->BackGroundColor();
  s.Background = OutputBackground(s.BackgroundColor, h.BitDepth);
}

void SetTransforms(TReadSession& s) {
  const TPngHeader& h = s.Header;
  if (s.Compose) {
    const int code = s.BackgroundFromFile ? PNG_BACKGROUND_GAMMA_FILE : PNG_BACKGROUND_GAMMA_SCREEN;
    png_set_background(s.Png, &s.Background, code, 0, 1.0);
  }
  if (Interleaves(s)) {
    // Low grey depths to 8 bits, tRNS to a channel of alpha.
    png_set_expand(s.Png);
    if (!(h.ColorType & PNG_COLOR_MASK_ALPHA)) png_set_tRNS_to_alpha(s.Png);
  }
  if (h.BitDepth == 16) png_set_strip_16(s.Png);
  if (h.ColorType == PNG_COLOR_TYPE_RGB || h.ColorType == PNG_COLOR_TYPE_RGB_ALPHA) png_set_bgr(s.Png);
  s.Passes = png_set_interlace_handling(s.Png);
  png_read_update_info(s.Png, s.Info);
  s.RowBytes = png_get_rowbytes(s.Png, s.Info);
  // After composing, a palette holds the flattened colours.
  CopyPalette(s);
}

void SetImagePalette(TReadSession& s) {
  TPixelGraphic& image = *s.Image;
  if (s.Header.ColorType != PNG_COLOR_TYPE_PALETTE) {
    if (s.Depth != pgpf24Bit) image.SetPaletteIdent(Interleaves(s) ? pGray256 : GreyPalette(s.Header.BitDepth));
    return;
  }
  const int count = std::min(s.PaletteCount, image.ColorTableSize());
  image.SetPaletteCount(count);
  for (int i = 0; i < count; ++i)
    image.SetPaletteEntry(i, RGBColor(s.Palette[i].red, s.Palette[i].green, s.Palette[i].blue));
  image.ClassifyPalette();
}

void SizeImage(TReadSession& s) {
  TPixelGraphic& image = *s.Image;
  image.SetSizeAndFormat(int(s.Header.Width), int(s.Header.Height), s.Depth);
  SetImagePalette(s);
  if (s.BackgroundFromFile) image.SetBackGroundColor(s.BackgroundColor);
  image.FileGamma = s.FileGamma > 0 ? 1.0L / s.FileGamma : PGSettings().DisplayGamma;
  if (s.Alpha != TKeptAlpha::None) image.AddAlpha();
  if (Interleaves(s)) {
    // libpng must never write past the rows it gets, whatever the file says.
    const std::size_t channels = s.Alpha == TKeptAlpha::ColourAlpha ? 4 : 2;
    if (s.RowBytes != std::size_t(s.Header.Width) * channels) RaisePrefixed<EPng>(kPrefix, msgNotSupportedSubformat);
    const std::uint64_t bytes = std::uint64_t(s.RowBytes) * (s.Passes > 1 ? s.Header.Height : 1);
    if (bytes > PGSettings().MaxDecoderMemory)
      throw EPng(kPrefix + PGDecoderMemoryText(PGSettings().MaxDecoderMemory, bytes));
    s.Interleaved.assign(std::size_t(bytes), 0);
  // libpng must never write past our row memory, whatever the file says.
  } else if (s.RowBytes > image.BytesPerRow()) {
    RaisePrefixed<EPng>(kPrefix, msgNotSupportedSubformat);
  }
}

// ---- reading rows

// 2-bit samples to 4-bit indices, in place, last pixel first.
void Widen2To4(std::uint8_t* row, png_uint_32 width) {
  for (png_uint_32 x = width; x-- > 0;) {
    const unsigned value = (row[x / 4] >> (6 - 2 * (x % 4))) & 3u;
    std::uint8_t& target = row[x / 2];
    target = std::uint8_t(x % 2 == 0 ? (target & 0x0F) | (value << 4) : (target & 0xF0) | value);
  }
}

// Where libpng puts row n.
png_bytep TargetRow(TReadSession& s, png_uint_32 n) {
  if (!Interleaves(s)) return RowOf(s, n);
  return s.Interleaved.data() + (s.Passes > 1 ? std::size_t(n) * s.RowBytes : 0);
}

// Row n's alpha into the plane (and its pixels, from interleaved rows).
void SplitAlpha(TReadSession& s, png_uint_32 n) {
  if (s.Alpha == TKeptAlpha::None) return;
  const std::size_t width = s.Header.Width;
  std::uint8_t* alpha = s.Image->AlphaLine(int(n));
  if (s.Alpha == TKeptAlpha::ByIndex) {
    for (std::size_t x = 0; x < width; ++x) {
      const std::uint32_t index = s.Image->GetPixel(int(x), int(n));
      alpha[x] = index < std::uint32_t(s.IndexAlphaCount) ? s.IndexAlpha[index] : 0xFF;
    }
    return;
  }
  const std::uint8_t* from = TargetRow(s, n);
  std::uint8_t* pixels = RowOf(s, n);
  const std::size_t channels = s.Alpha == TKeptAlpha::ColourAlpha ? 4 : 2;
  for (std::size_t x = 0; x < width; ++x, from += channels) {
    std::memcpy(pixels + (channels - 1) * x, from, channels - 1);
    alpha[x] = from[channels - 1];
  }
}

// Rows are final as they come when the file is not interlaced and needs no
// widening afterwards.
void ReadPass(TReadSession& s, int pass) {
  const png_uint_32 height = s.Header.Height;
  const bool final = s.Passes == 1 && (s.Header.BitDepth != 2 || Interleaves(s));
  for (png_uint_32 n = 0; n < height && !s.Aborted; ++n) {
    png_read_row(s.Png, TargetRow(s, n), nullptr);
    if (final) SplitAlpha(s, n);
    if (final) RowsDone(s, int(n), 1);
    Progress(s, int(n + height * png_uint_32(pass)), int(height * png_uint_32(s.Passes)));
  }
}

void ReadRows(TReadSession& s) {
  const TPngHeader& h = s.Header;
  Notify(s, &TPixelGraphic::DoProgressStart);
  s.InRowLoop = true;
  if (h.Width > 0 && h.Height > 0)
    for (int pass = 0; pass < s.Passes && !s.Aborted; ++pass) ReadPass(s, pass);
  if (!s.Aborted && h.BitDepth == 2 && !Interleaves(s))
    for (png_uint_32 n = 0; n < h.Height; ++n) Widen2To4(RowOf(s, n), h.Width);
  if (!s.Aborted && (s.Passes > 1 || (h.BitDepth == 2 && !Interleaves(s))))
    for (png_uint_32 n = 0; n < h.Height; ++n) SplitAlpha(s, n);
  s.InRowLoop = false;
  Notify(s, &TPixelGraphic::DoProgressEnd);
}

// libpng hands over whatever indices the data holds; one past the palette
// would fail every later colour lookup and save, so the file is refused.
void CheckPaletteIndices(TReadSession& s) {
  if (s.Header.ColorType == PNG_COLOR_TYPE_PALETTE && !s.Aborted && !PGIndicesInPalette(*s.Image))
    RaisePrefixed<EPng>(kPrefix, msgInvalid, "Palette index");
}

void AbandonRead(TPngSession& s) {
  EndRowLoopAfterFailure(s);
  if (s.Png) png_destroy_read_struct(&s.Png, s.Info ? &s.Info : nullptr, nullptr);
}

// No object with a destructor may live in this frame (longjmp target).
void RunRead(TReadSession& s) {
  if (setjmp(s.Jump) != 0) return AbandonRead(s);
  CreateRead(s);
  png_read_info(s.Png, s.Info);
  ReadHeader(s);
  CopyPalette(s);
  if (s.WantProfile && !Guarded(s, [&] { TakeProfile(s); })) Bail(s);
  if (!Guarded(s, [&] { PlanRead(s); })) Bail(s);
  SetTransforms(s);
  if (!Guarded(s, [&] { SizeImage(s); })) Bail(s);
  ReadRows(s);
  if (!Guarded(s, [&] { CheckPaletteIndices(s); })) Bail(s);
  if (!s.Aborted) png_read_end(s.Png, nullptr);
  png_destroy_read_struct(&s.Png, &s.Info, nullptr);
}

// No object with a destructor may live in this frame (longjmp target).
void RunInfo(TReadSession& s) {
  if (setjmp(s.Jump) != 0) return AbandonRead(s);
  CreateRead(s);
  png_read_info(s.Png, s.Info);
  ReadHeader(s);
  if (!Guarded(s, [&] { ReadProfileInfo(s); })) Bail(s);
  png_destroy_read_struct(&s.Png, &s.Info, nullptr);
}

std::string SubformatText(const TPngHeader& h) {
  std::string text = "GrayScale";
  if (h.ColorType & PNG_COLOR_MASK_PALETTE)
    text = "palette";
  else if (h.ColorType & PNG_COLOR_MASK_COLOR)
    text = "RGB";
  if (h.ColorType & PNG_COLOR_MASK_ALPHA) text += ", alpha";
  if (h.Interlace == PNG_INTERLACE_ADAM7) text += ", interlaced";
  return text;
}

std::string ChunkList(png_uint_32 valid) {
  static const struct {
    png_uint_32 Flag;
    const char* Name;
  } kChunks[] = {{PNG_INFO_gAMA, "gama"}, {PNG_INFO_sBIT, "sbit"}, {PNG_INFO_cHRM, "chrm"},
                 {PNG_INFO_PLTE, "plte"}, {PNG_INFO_tRNS, "trns"}, {PNG_INFO_bKGD, "bkgd"},
                 {PNG_INFO_hIST, "hist"}, {PNG_INFO_pHYs, "phys"}, {PNG_INFO_oFFs, "offs"},
                 {PNG_INFO_tIME, "time"}};
  std::string list;
  for (const auto& chunk : kChunks)
    if (valid & chunk.Flag) list += (list.empty() ? "" : ", ") + std::string(chunk.Name);
  return list.empty() ? list : "(" + list + ")";
}

std::string ColorCountText(int pixelDepth) {
  switch (pixelDepth) {
    case 1:
      return "2";
    case 2:
      return "4";
    case 4:
      return "16";
    case 8:
      return "256";
    case 16:
      return "64K?";
    case 24:
      return "16.7M";
    case 32:
      return "16.7M?";
  }
  return "?";
}

// ---- writing

int ZlibStrategy(TPngStrategy strategy) {
  switch (strategy) {
    case TPngStrategy::psFiltered: return Z_FILTERED;
    case TPngStrategy::psHuffmanOnly: return Z_HUFFMAN_ONLY;
    case TPngStrategy::psRle: return Z_RLE;
    case TPngStrategy::psFixed: return Z_FIXED;
    default: return Z_DEFAULT_STRATEGY;
  }
}

void CreateWrite(TWriteSession& s) {
  s.Png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &s, PngError, PngWarning);
  if (!s.Png) FailCreate(s, "png_create_write_struct");
  s.Info = png_create_info_struct(s.Png);
  if (!s.Info) FailCreate(s, "png_create_info_struct");
  png_set_write_fn(s.Png, &s, WriteData, FlushData);
  png_set_compression_level(s.Png, s.Level);
  if (s.Strategy != TPngStrategy::psAuto) png_set_compression_strategy(s.Png, ZlibStrategy(s.Strategy));
}

void WriteHeader(TWriteSession& s) {
  png_set_IHDR(s.Png, s.Info, s.Width, s.Height, s.BitDepth, s.ColorType, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  if (s.ColorType == PNG_COLOR_TYPE_PALETTE) png_set_PLTE(s.Png, s.Info, s.Palette, s.PaletteCount);
  if (s.TrnsCount > 0) png_set_tRNS(s.Png, s.Info, s.Trns, s.TrnsCount, nullptr);
  if (!s.Icc.empty())
    png_set_iCCP(s.Png, s.Info, s.IccName.c_str(), PNG_COMPRESSION_TYPE_BASE, s.Icc.data(), png_uint_32(s.Icc.size()));
  else if (s.SRGB)
    png_set_sRGB(s.Png, s.Info, s.SRGBIntent);
  // gAMA alone, never with cHRM: Chromium takes gAMA 1/2.2 by itself for
  // sRGB, but beside cHRM applies a pure 2.2 curve, darker near black.
  if (s.WriteGamma) png_set_gAMA(s.Png, s.Info, s.Gamma);
  png_write_info(s.Png, s.Info);
  if (s.ColorType == PNG_COLOR_TYPE_RGB) png_set_bgr(s.Png);
}

// Row y of the image with its alpha woven in, red first; may raise.
std::uint8_t* InterleavedRow(TWriteSession& s, png_uint_32 y) {
  TPixelGraphic& image = *s.Image;
  const std::uint8_t* pixels = image.ScanLine(int(y));
  const std::uint8_t* alpha = image.AlphaLine(int(y));
  const bool colour = s.ColorType == PNG_COLOR_TYPE_RGB_ALPHA;
  s.Row.resize(std::size_t(s.Width) * (colour ? 4 : 2));
  std::uint8_t* to = s.Row.data();
  for (png_uint_32 x = 0; x < s.Width; ++x) {
    if (colour) {
      *to++ = pixels[3 * x + 2];
      *to++ = pixels[3 * x + 1];
      *to++ = pixels[3 * x];
    } else {
      *to++ = pixels[x];
    }
    *to++ = alpha[x];
  }
  return s.Row.data();
}

// The row libpng takes: the image's own, or its pixels and alpha interleaved.
std::uint8_t* RowToWrite(TWriteSession& s, png_uint_32 y) {
  if (!s.Alpha || s.ColorType == PNG_COLOR_TYPE_PALETTE) return RowOf(s, y);
  std::uint8_t* row = nullptr;
  if (!Guarded(s, [&] { row = InterleavedRow(s, y); })) Bail(s);
  return row;
}

void WriteRows(TWriteSession& s) {
  Notify(s, &TPixelGraphic::DoProgressStart);
  s.InRowLoop = true;
  for (png_uint_32 y = 0; y < s.Height; ++y) {
    png_write_row(s.Png, RowToWrite(s, y));
    // A PNG write always runs to the end: the abort answer is not used.
    Progress(s, int(y), int(s.Height) - 1);
  }
  s.InRowLoop = false;
  Notify(s, &TPixelGraphic::DoProgressEnd);
}

void AbandonWrite(TPngSession& s) {
  EndRowLoopAfterFailure(s);
  if (s.Png) png_destroy_write_struct(&s.Png, s.Info ? &s.Info : nullptr);
}

// No object with a destructor may live in this frame (longjmp target).
void RunWrite(TWriteSession& s) {
  if (setjmp(s.Jump) != 0) return AbandonWrite(s);
  CreateWrite(s);
  WriteHeader(s);
  WriteRows(s);
  png_write_end(s.Png, nullptr);
  png_destroy_write_struct(&s.Png, &s.Info);
}

// The chunks before the image data, for the image data written in parts.
// No object with a destructor may live in this frame (longjmp target).
void RunWriteHeader(TWriteSession& s) {
  if (setjmp(s.Jump) != 0) return AbandonWrite(s);
  CreateWrite(s);
  WriteHeader(s);
  png_destroy_write_struct(&s.Png, &s.Info);
}

// Rows filtered and compressed as libpng would by default: every filter
// tried on rows of whole bytes per sample, none on palette and sub-byte rows.
TPngPartsPlan PartsPlan(const TWriteSession& s) {
  TPngPartsPlan plan;
  const int channels = s.ColorType == PNG_COLOR_TYPE_RGB_ALPHA ? 4
                       : s.ColorType == PNG_COLOR_TYPE_RGB     ? 3
                       : s.ColorType == PNG_COLOR_TYPE_GRAY_ALPHA ? 2
                                                                  : 1;
  plan.Height = s.Height;
  plan.RowBytes = (std::size_t(s.Width) * std::size_t(s.BitDepth) * std::size_t(channels) + 7) / 8;
  plan.FilterStep = std::max(1, s.BitDepth * channels / 8);
  plan.Filter = s.ColorType != PNG_COLOR_TYPE_PALETTE && s.BitDepth >= 8;
  plan.SwapRedBlue = s.ColorType == PNG_COLOR_TYPE_RGB;
  plan.Level = s.Level;
  plan.Strategy = s.Strategy == TPngStrategy::psAuto ? (plan.Filter ? Z_FILTERED : Z_DEFAULT_STRATEGY)
                                                     : ZlibStrategy(s.Strategy);
  return plan;
}

void WriteInParts(TWriteSession& s) {
  TPixelGraphic& image = *s.Image;
  TPGProgressBracket bracket(image);
  WritePngParts(
      *s.Stream, PartsPlan(s),
      [&](std::uint32_t y) {
        const bool woven = s.ColorType == PNG_COLOR_TYPE_RGB_ALPHA || s.ColorType == PNG_COLOR_TYPE_GRAY_ALPHA;
        return woven ? InterleavedRow(s, y) : image.ScanLine(int(y));
      },
      // A PNG write always runs to the end: the abort answer is not used.
      [&](std::uint32_t y) { image.DoProgress(int(y), int(s.Height) - 1); });
}

// A kept profile goes into iCCP and then stands for the pixels alone: no
// gAMA beside it, which a decoder without profiles would apply instead.
// sRGB is said by its chunk, with the gAMA that goes with it.
void DescribeProfile(TWriteSession& s, const TPixelGraphic& image) {
  if (!image.ColorProfile) return;
  s.Icc = IccToEmbed(image, s.ColorType == PNG_COLOR_TYPE_GRAY);
  if (!s.Icc.empty()) {
    const std::string& name = image.ColorProfile->Name;
    // A keyword is 1 to 79 printable Latin-1 characters without leading,
    // trailing or double spaces; one that is not is replaced.
    const bool plain = !name.empty() && name.size() <= 79 && name.front() != ' ' && name.back() != ' ' &&
                       name.find("  ") == std::string::npos &&
                       std::all_of(name.begin(), name.end(), [](char c) { return c >= 0x20 && c <= 0x7E; });
    s.IccName = plain ? name : "ICC profile";
    s.WriteGamma = false;
  } else if (image.ColorProfile->SRGB) {
    s.SRGB = true;
    s.SRGBIntent = image.ColorProfile->SRGBIntent;
    s.Gamma = double(float(1.0L / 2.2L));
  }
}

void DescribeImage(TWriteSession& s, TPixelGraphic& image, bool indexed) {
  s.Width = png_uint_32(image.Width());
  s.Height = png_uint_32(image.Height());
  if (image.PixelFormat() == pgpf24Bit) {
    if (s.Alpha) s.ColorType = PNG_COLOR_TYPE_RGB_ALPHA;
    return;
  }
  s.BitDepth = image.BitCount();
  s.ColorType = image.PaletteIdent() == pGray256 && !indexed ? (s.Alpha ? PNG_COLOR_TYPE_GRAY_ALPHA : PNG_COLOR_TYPE_GRAY)
                                                              : PNG_COLOR_TYPE_PALETTE;
  s.PaletteCount = std::min(image.PaletteCount(), 256);
  for (int i = 0; i < s.PaletteCount; ++i) {
    const TRGB c = image.GetPaletteEntry(i);
    s.Palette[i] = png_color{png_byte(GetRValue(c)), png_byte(GetGValue(c)), png_byte(GetBValue(c))};
  }
}

}  // namespace

// ---- reader

TPNGFileFormatReader::TPNGFileFormatReader() {
  SafeOnThreads = true;
  RowDelivery = rdTopDown;
  FillsRowsOneByOne = true;
  Extension = "png";
  Description = "Portable Network Graphics";
  HasSignature = true;
}

bool TPNGFileFormatReader::CheckSignature(const std::uint8_t* header, int headerSize) {
  static const std::uint8_t kSignature[8] = {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A};
  return headerSize >= 8 && std::memcmp(header, kSignature, 8) == 0;
}

void TPNGFileFormatReader::ReadImage(TStream& stream, TPixelGraphic& image, int index) {
  if (index != 0) RaisePrefixed<EPng>(kPrefix, msgInvalid, "Index");
  CheckLibraries();
  image.FileGamma = PGSettings().DisplayGamma;
  auto s = NewSession<TReadSession>(stream, &image, image.ReadWarningAction);
  s->WantProfile = ProfilesWanted();
  RunRead(*s);
  RethrowFailure(*s);
}

void TPNGFileFormatReader::ReadInfo(TStream& stream, int index, TFileInfo& info) {
  TFileFormatReader::ReadInfo(stream, index, info);
  if (index != 0) RaisePrefixed<EPng>(kPrefix, msgInvalidValueFor, "Index");
  auto s = NewSession<TReadSession>(stream, nullptr, pgwaRaise);
  s->WantProfile = true;
  s->KeepProfileWarning = true;
  RunInfo(*s);
  RethrowFailure(*s);
  const TPngHeader& h = s->Header;
  const int pixelDepth = h.BitDepth * h.Channels;
  info.SubformatText = SubformatText(h);
  info.ExtraText = ChunkList(h.Valid);
  info.Width = int(h.Width);
  info.Height = int(h.Height);
  info.BitsPerPixel = pixelDepth;
  info.ColorCountText = ColorCountText(pixelDepth);
  info.ColorProfileText = s->ProfileInfo;
  info.Alpha = HasTransparency(h);
}

// ---- writer

TPNGFileFormatWriter::TPNGFileFormatWriter() {
  SafeOnThreads = true;
  TakesRowsTopDown = true;
  WritesGrey = true;
  EmbedsProfile = true;
  Extension = "png";
  Description = "Portable Network Graphics";
  CanWriteResolutions = 255;
  WritesAlpha = true;
}

void TPNGFileFormatWriter::Write(TStream& stream, TPixelGraphic& image) {
  if (image.PixelFormat() == pgpf24Bit || image.PaletteIdent() == pGray256 || PGAlphaIsOpaque(image))
    return WritePngImage(stream, image, false);
  // A palette with transparency goes as colours with alpha: what each
  // entry's alpha would be is not known.
  TPixelGraphic rgba;
  PGCopyAt24Bits(rgba, image);
  WritePngImage(stream, rgba, false);
}

void WritePngImage(TStream& stream, TPixelGraphic& image, bool indexed, const std::vector<std::uint8_t>& indexAlpha) {
  if (indexed && image.PixelFormat() == pgpf24Bit) RaisePrefixed<EPng>(kPrefix, msgInvalidValueFor, "BitCount");
  CheckLibraries();
  auto s = NewSession<TWriteSession>(stream, &image, image.ReadWarningAction);
  // A palette's transparency is its entries' (tRNS), which the caller works out.
  const bool palette = image.PixelFormat() != pgpf24Bit && (indexed || image.PaletteIdent() != pGray256);
  s->Alpha = palette ? !indexAlpha.empty() : !PGAlphaIsOpaque(image);
  if (palette && !s->Alpha && !PGAlphaIsOpaque(image)) RaisePrefixed<EPng>(kPrefix, msgInvalidValueFor, "tRNS");
  s->TrnsCount = int(std::min<std::size_t>(indexAlpha.size(), 256));
  std::copy_n(indexAlpha.begin(), s->TrnsCount, s->Trns);
  DescribeImage(*s, image, indexed);
  s->WriteGamma = PGSettings().PngWriteGamma;
  s->Level = std::min<int>(PGSettings().PngCompressionLevel, Z_BEST_COMPRESSION);
  s->Strategy = PGSettings().PngCompressionStrategy;
  s->Gamma = double(float(1.0L / image.FileGamma));
  DescribeProfile(*s, image);
  // libpng's own defaults keep libpng's own encoding, byte for byte.
  if (s->Level == kLibpngDefaultLevel && s->Strategy == TPngStrategy::psAuto) {
    RunWrite(*s);
    RethrowFailure(*s);
    return;
  }
  RunWriteHeader(*s);
  RethrowFailure(*s);
  WriteInParts(*s);
}
