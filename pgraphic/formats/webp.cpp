#include "pgraphic/formats/webp.h"

#include <webp/decode.h>
#include <webp/encode.h>

#include <algorithm>
#include <cstring>
#include <exception>
#include <memory>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "pgraphic/core/alpha.h"
#include "pgraphic/core/errors.h"
#include "pgraphic/core/messages.h"
#include "pgraphic/core/settings.h"
#include "pgraphic/formats/decodechecks.h"
#include "pgraphic/formats/rowprogress.h"

// libwebp reports by status codes and calls back only into the writer and
// progress functions below, which keep every exception to themselves: no
// C++ exception crosses its C frames.

namespace {

using EWebP = EPGWebPFileFormatReaderWriter;
const char* const kPrefix = "WEBP: ";
// The decoder is handed the data in pieces of this size; the rows of each
// piece come out before the next is read.
constexpr std::size_t kPieceSize = std::size_t(1) << 16;
// The flags of the extended header (VP8X chunk), at byte 20 of the file.
constexpr std::size_t kFlagsOffset = 20;
constexpr std::uint8_t kFlagIcc = 0x20, kFlagExif = 0x08, kFlagXmp = 0x04;

[[noreturn]] void Raise(const std::string& text) { throw EWebP(kPrefix + text); }

void CheckLibrary(int ok) {
  if (!ok) Raise("Invalid library version");
}

// ---- header

// What the first chunks of a file tell, and the bytes read for it.
struct THeader {
  WebPBitstreamFeatures Features{};
  std::uint8_t Flags = 0;  // of the extended header; 0 for a simple file
  std::vector<std::uint8_t> Bytes;
};

[[noreturn]] void RaiseStatus(VP8StatusCode status, bool inHeader) {
  switch (status) {
    case VP8_STATUS_OUT_OF_MEMORY:
      Raise("Out of memory");
    case VP8_STATUS_UNSUPPORTED_FEATURE:
      RaisePrefixed<EWebP>(kPrefix, msgNotSupportedSubformat);
    case VP8_STATUS_NOT_ENOUGH_DATA:
      RaisePrefixed<EWebP>(kPrefix, msgUnexpectedEOF);
    default:
      if (inHeader) RaisePrefixed<EWebP>(kPrefix, msgNotAFile, "WebP");
      RaisePrefixed<EWebP>(kPrefix, msgInvalid, "Image data");
  }
}

// Reads the file's first bytes until the decoder knows its features: a few
// bytes for most files, up to the image data where metadata or an alpha
// plane come first. Never more than the file holds. The extended header
// gives the size before the image data says whether it is lossless
// (format 0 until then).
THeader ReadHeader(TStream& stream) {
  THeader h;
  std::size_t want = 64;
  for (;;) {
    const std::size_t have = h.Bytes.size();
    h.Bytes.resize(have + want);
    const std::int64_t got = stream.Read(h.Bytes.data() + have, std::int64_t(want));
    h.Bytes.resize(have + std::size_t(std::max<std::int64_t>(got, 0)));
    const VP8StatusCode status = WebPGetFeatures(h.Bytes.data(), h.Bytes.size(), &h.Features);
    const bool known = h.Features.format != 0 || h.Features.has_animation;
    if (status == VP8_STATUS_OK && known) break;
    if (got <= 0) RaiseStatus(status == VP8_STATUS_OK ? VP8_STATUS_NOT_ENOUGH_DATA : status, true);
    if (status != VP8_STATUS_OK && status != VP8_STATUS_NOT_ENOUGH_DATA) RaiseStatus(status, true);
    want = kPieceSize;
  }
  if (h.Bytes.size() > kFlagsOffset && std::memcmp(h.Bytes.data() + 12, "VP8X", 4) == 0)
    h.Flags = h.Bytes[kFlagsOffset];
  return h;
}

std::string SubformatText(const WebPBitstreamFeatures& f) {
  std::string text = f.has_animation ? "Animated" : f.format == 2 ? "Lossless" : "Lossy";
  if (f.has_alpha) text += ", alpha";
  return text;
}

std::string MetadataText(std::uint8_t flags) {
  std::string list;
  for (const auto& [flag, name] : {std::pair{kFlagIcc, "iccp"}, {kFlagExif, "exif"}, {kFlagXmp, "xmp"}})
    if (flags & flag) list += (list.empty() ? "" : ", ") + std::string(name);
  return list.empty() ? list : "(" + list + ")";
}

// ---- limits

std::uint64_t MaxPixels() {
#ifdef FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION
  // Fuzz builds only: a lossless image of one colour takes a few bytes for
  // millions of pixels, so the time one input takes follows the pixel limit
  // alone; lowered so that every input stays within the fuzzer's time limit.
  return std::min<std::uint64_t>(PGSettings().MaxImagePixels, 1u << 22);
#else
  return PGSettings().MaxImagePixels;
#endif
}

// Memory the decoder takes besides the image: a lossless file is decoded
// into 32-bit pixels of the whole image, a lossy one keeps its alpha plane,
// and rows with alpha are decoded into a copy of their own before they are
// flattened into the image.
std::uint64_t DecoderMemory(const WebPBitstreamFeatures& f) {
  const std::uint64_t width = std::uint64_t(f.width), pixels = width * std::uint64_t(f.height);
  std::uint64_t bytes = f.has_alpha ? 4 * pixels : 0;
  if (f.format == 2)
    bytes += 4 * (pixels + 32 * width);
  else if (f.has_alpha)
    bytes += 2 * pixels;
  return bytes;
}

// Refuses, before any pixel memory exists, what the limits do not allow.
void CheckLimits(const WebPBitstreamFeatures& f) {
  if (f.has_animation) Raise("Animated files are not supported; save one frame as a still image");
  PGCheckImageSize<EWebP>(kPrefix, f.width, f.height, 24);
  if (std::uint64_t(f.width) * std::uint64_t(f.height) > MaxPixels())
    RaisePrefixed<EWebP>(kPrefix, msgInvalidSizeOf, "image");
  const std::uint64_t limit = PGSettings().MaxDecoderMemory, needed = DecoderMemory(f);
  if (needed > limit) Raise(PGDecoderMemoryText(limit, needed));
}

// ---- decoding

struct TIDecoderDelete {
  void operator()(WebPIDecoder* decoder) const { WebPIDelete(decoder); }
};

struct TDecode {
  TDecode(TPixelGraphic& image, THeader header) : Image(image), Header(std::move(header)) {}
  TPixelGraphic& Image;
  THeader Header;
  WebPDecoderConfig Config{};
  std::uint8_t* Bits = nullptr;  // the image's, bottom row first
  std::size_t BytesPerRow = 0;
  // Rows with alpha, top row first, as decoded before they are flattened.
  std::vector<std::uint8_t> Straight;
  TRGB Background = 0;
  int Told = 0;  // rows final so far, from the top
  bool Aborted = false;
};


// Rows with alpha into the image: into its pixels and plane where it keeps
// alpha, else laid on its background.
void Flatten(TDecode& d, int first, int end) {
  const std::size_t width = std::size_t(d.Image.Width());
  const unsigned bg[3] = {GetBValue(d.Background), GetGValue(d.Background), GetRValue(d.Background)};
  for (int y = first; y < end; ++y) {
    const std::uint8_t* from = d.Straight.data() + std::size_t(y) * width * 4;
    std::uint8_t* to = d.Bits + std::size_t(d.Image.Height() - 1 - y) * d.BytesPerRow;
    std::uint8_t* alpha = d.Image.AlphaLine(y);
    for (std::size_t x = 0; x < width; ++x, from += 4, to += 3) {
      if (alpha) {
        std::memcpy(to, from, 3);
        alpha[x] = from[3];
        continue;
      }
      for (int c = 0; c < 3; ++c) to[c] = PGMix(from[c], from[3], bg[c]);
    }
  }
}

// Decoded rows go straight into the image, bottom-up as it keeps them;
// rows with alpha into a buffer of their own first.
void PrepareOutput(TDecode& d) {
  const WebPBitstreamFeatures& f = d.Header.Features;
  TPixelGraphic& image = d.Image;
  image.SetSizeAndFormat(f.width, f.height, pgpf24Bit);
  d.Bits = image.Bits();
  d.BytesPerRow = image.BytesPerRow();
  d.Background = image.BackGroundColor();
  WebPDecBuffer& out = d.Config.output;
  out.is_external_memory = 1;
  if (f.has_alpha) {
    if (PGSettings().KeepAlpha) image.AddAlpha();
    d.Straight.resize(std::size_t(f.width) * std::size_t(f.height) * 4);
    out.colorspace = MODE_BGRA;
    out.u.RGBA = {d.Straight.data(), f.width * 4, d.Straight.size()};
    return;
  }
  out.colorspace = MODE_BGR;
  out.u.RGBA = {d.Bits, int(d.BytesPerRow), image.ImageSize()};
  d.Config.options.flip = 1;
}

// Tells the image about the rows the decoder has finished since the last time.
void TellRows(TDecode& d, const WebPIDecoder* decoder) {
  int last = 0;
  if (!WebPIDecGetRGB(decoder, &last, nullptr, nullptr, nullptr)) return;
  last = std::min(last, d.Image.Height());
  if (last <= d.Told) return;
  if (!d.Straight.empty()) Flatten(d, d.Told, last);
  const int first = d.Told;
  d.Told = last;
  d.Image.DoRowsDone(first, last - first);
  d.Aborted = d.Image.DoProgress(last, d.Image.Height());
}

void Decode(TDecode& d, TStream& stream) {
  const std::unique_ptr<WebPIDecoder, TIDecoderDelete> decoder(WebPIDecode(nullptr, 0, &d.Config));
  if (!decoder) Raise("Out of memory");
  std::vector<std::uint8_t> piece(kPieceSize);
  VP8StatusCode status = WebPIAppend(decoder.get(), d.Header.Bytes.data(), d.Header.Bytes.size());
  for (;;) {
    if (status != VP8_STATUS_OK && status != VP8_STATUS_SUSPENDED) RaiseStatus(status, false);
    TellRows(d, decoder.get());
    if (status == VP8_STATUS_OK || d.Aborted) return;
    const std::int64_t got = stream.Read(piece.data(), std::int64_t(piece.size()));
    if (got <= 0) RaisePrefixed<EWebP>(kPrefix, msgUnexpectedEOF);
    status = WebPIAppend(decoder.get(), piece.data(), std::size_t(got));
  }
}

// ---- encoding

struct TPicture {
  WebPPicture P{};
  TPicture() { CheckLibrary(WebPPictureInit(&P)); }
  ~TPicture() { WebPPictureFree(&P); }
  TPicture(const TPicture&) = delete;
  TPicture& operator=(const TPicture&) = delete;
};

struct TEncode {
  TPixelGraphic& Image;
  TStream& Stream;
  std::exception_ptr Failure;

  // Runs f; an exception is kept for after the encoder and ends it (0).
  template <class F>
  int Guarded(F&& f) noexcept {
    try {
      f();
      return 1;
    } catch (...) {
      if (!Failure) Failure = std::current_exception();
      return 0;
    }
  }
};

int WriteData(const std::uint8_t* data, std::size_t size, const WebPPicture* picture) {
  TEncode& e = *static_cast<TEncode*>(picture->custom_ptr);
  return e.Guarded([&] {
    if (e.Stream.Write(data, std::int64_t(size)) != std::int64_t(size)) Raise("Write Error");
  });
}

// A write always runs to the end: the abort answer is not used.
int Progressed(int percent, const WebPPicture* picture) {
  TEncode& e = *static_cast<TEncode*>(picture->user_data);
  return e.Guarded([&] { e.Image.DoProgress(percent, 100); });
}

// The rows, asked of the image from the top as they are needed, as 32-bit
// pixels: with the image's alpha when it has any that is not opaque.
void ImportRows(TPixelGraphic& image, WebPPicture& picture) {
  const bool trueColor = image.PixelFormat() == pgpf24Bit;
  const bool alpha = !PGAlphaIsOpaque(image);
  for (int y = 0; y < picture.height; ++y) {
    const std::uint8_t* row = image.ScanLine(y);
    const std::uint8_t* a = alpha ? image.AlphaLine(y) : nullptr;
    std::uint32_t* out = picture.argb + std::size_t(y) * std::size_t(picture.argb_stride);
    for (int x = 0; x < picture.width; ++x) {
      const std::uint32_t opacity = std::uint32_t(a ? a[x] : 0xFF) << 24;
      if (trueColor) {
        const std::uint8_t* p = row + 3 * std::size_t(x);
        out[x] = opacity | std::uint32_t(p[2]) << 16 | std::uint32_t(p[1]) << 8 | p[0];
      } else {
        const TRGB c = image.GetPixelColor(x, y);
        out[x] = opacity | GetRValue(c) << 16 | GetGValue(c) << 8 | GetBValue(c);
      }
    }
  }
}

std::string EncodingErrorText(WebPEncodingError code) {
  switch (code) {
    case VP8_ENC_ERROR_BAD_DIMENSION:
      return FormatLangStr1(msgInvalidSizeOf, "image");
    case VP8_ENC_ERROR_PARTITION0_OVERFLOW:
      return "Header partition larger than 512 KB; a lower WebpQuality may fit";
    case VP8_ENC_ERROR_PARTITION_OVERFLOW:
      return "Partition larger than 16 MB";
    case VP8_ENC_ERROR_BAD_WRITE:
      return "Write Error";
    case VP8_ENC_ERROR_FILE_TOO_BIG:
      return "File larger than 4 GB";
    default:
      return FormatLangStr1(msgFailed, "WebPEncode");
  }
}

}  // namespace

// ---- reader

TWebPFileFormatReader::TWebPFileFormatReader() {
  SafeOnThreads = true;
  RowDelivery = rdTopDown;
  Extension = "webp";
  Description = "WebP image";
  HasSignature = true;
}

bool TWebPFileFormatReader::CheckSignature(const std::uint8_t* header, int headerSize) {
  return headerSize >= 12 && std::memcmp(header, "RIFF", 4) == 0 && std::memcmp(header + 8, "WEBP", 4) == 0;
}

void TWebPFileFormatReader::ReadImage(TStream& stream, TPixelGraphic& image, int index) {
  if (index != 0) RaisePrefixed<EWebP>(kPrefix, msgInvalid, "Index");
  image.FileGamma = PGSettings().DisplayGamma;
  TDecode d(image, ReadHeader(stream));
  CheckLimits(d.Header.Features);
  CheckLibrary(WebPInitDecoderConfig(&d.Config));
  PrepareOutput(d);
  TPGProgressBracket bracket(image);
  Decode(d, stream);
}

void TWebPFileFormatReader::ReadInfo(TStream& stream, int index, TFileInfo& info) {
  TFileFormatReader::ReadInfo(stream, index, info);
  if (index != 0) RaisePrefixed<EWebP>(kPrefix, msgInvalidValueFor, "Index");
  const THeader h = ReadHeader(stream);
  info.Width = h.Features.width;
  info.Height = h.Features.height;
  info.BitsPerPixel = h.Features.has_alpha ? 32 : 24;
  info.Alpha = h.Features.has_alpha != 0;
  info.ColorCountText = "16.7M";
  info.SubformatText = SubformatText(h.Features);
  info.ExtraText = MetadataText(h.Flags);
}

// ---- writer

TWebPFileFormatWriter::TWebPFileFormatWriter() {
  SafeOnThreads = true;
  TakesRowsTopDown = true;
  Extension = "webp";
  Description = "WebP image";
  // Every depth is read through its palette: nothing is lost, so nothing
  // needs to be asked.
  CanWriteResolutions = 255;
  WritesAlpha = true;
}

void TWebPFileFormatWriter::Write(TStream& stream, TPixelGraphic& image) {
  const TPGLibrarySettings& settings = PGSettings();
  const int width = image.Width(), height = image.Height();
  if (width <= 0 || height <= 0 || image.Empty()) RaisePrefixed<EWebP>(kPrefix, msgWidthOrHeightZero);
  if (width > WEBP_MAX_DIMENSION || height > WEBP_MAX_DIMENSION)
    Raise("An image of " + std::to_string(width) + " x " + std::to_string(height) +
          " pixels is larger than a WebP file can hold (" + std::to_string(WEBP_MAX_DIMENSION) + " x " +
          std::to_string(WEBP_MAX_DIMENSION) + ")");
  WebPConfig config;
  CheckLibrary(WebPConfigInit(&config));
  config.quality = float(std::min<int>(settings.WebpQuality, 100));
  config.lossless = settings.WebpLossless ? 1 : 0;
  config.method = std::min<int>(settings.WebpMethod, 6);
  if (!WebPValidateConfig(&config)) RaisePrefixed<EWebP>(kPrefix, msgInvalid, "Configuration");
  TPicture picture;
  picture.P.use_argb = 1;
  picture.P.width = width;
  picture.P.height = height;
  if (!WebPPictureAlloc(&picture.P)) throw std::bad_alloc();
  TPGProgressBracket bracket(image);
  ImportRows(image, picture.P);
  TEncode e{image, stream, nullptr};
  picture.P.writer = WriteData;
  picture.P.custom_ptr = &e;
  picture.P.progress_hook = Progressed;
  picture.P.user_data = &e;
  const int ok = WebPEncode(&config, &picture.P);
  if (e.Failure) std::rethrow_exception(e.Failure);
  if (ok) return;
  const WebPEncodingError code = picture.P.error_code;
  if (code == VP8_ENC_ERROR_OUT_OF_MEMORY || code == VP8_ENC_ERROR_BITSTREAM_OUT_OF_MEMORY) throw std::bad_alloc();
  Raise(EncodingErrorText(code));
}
