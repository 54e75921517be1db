#include "pgraphic/formats/jpeg/jpeg.h"

#include <algorithm>
#include <climits>
#include <csetjmp>
#include <cstddef>
#include <cstdio>
#include <exception>
#include <memory>
#include <string>
#include <vector>

// jpeglib.h needs size_t and FILE declared first.
#include <jpeglib.h>
#include <jerror.h>

#include "pgraphic/core/errors.h"
#include "pgraphic/core/messages.h"
#include "pgraphic/core/settings.h"
#include "pgraphic/formats/cmyk.h"
#include "pgraphic/formats/codec_guard.h"
#include "pgraphic/formats/decodechecks.h"
#include "pgraphic/formats/icc.h"
#include "pgraphic/formats/jpeg/jpeg_markers.h"
#include "pgraphic/formats/loadstep.h"

// Library check: we compile against the codec's own headers, and
// jpeg_create_(de)compress hands their release number and structure sizes to
// the linked codec, which refuses any mismatch through our error exit. So the
// release and the structure sizes are checked on every call by construction.

#ifndef JCS_EXTENSIONS
#error "the JPEG codec must offer blue-green-red pixel order (JCS_EXT_BGR)"
#endif

// How failures leave the codec: see codec_guard.h.

namespace {

using namespace pgcodec;
using EJpg = EPGJPGFileFormatReaderWriter;
const char* const kPrefix = "JPG: ";
constexpr std::size_t kBufferSize = 4096;
// Codec messages are cut to this length before the prefix goes in front.
constexpr std::size_t kMaxCodecMessage = 200;

struct TJpegSession;

// Records handed to the codec: each starts with the codec's structure, so the
// pointer the codec gives back leads to the owning session.
struct TErrorLink {
  jpeg_error_mgr Pub;
  TJpegSession* Owner;
};

struct TSourceLink {
  jpeg_source_mgr Pub;
  TJpegSession* Owner;
  bool AtStart;
  JOCTET Buffer[kBufferSize];
};

struct TDestLink {
  jpeg_destination_mgr Pub;
  TJpegSession* Owner;
  JOCTET Buffer[kBufferSize];
};

struct TJpegSession : TSession {
  J_DCT_METHOD Dct = JDCT_ISLOW;
  TErrorLink Err{};
};

struct TDecodeSession;

struct TProgressLink {
  jpeg_progress_mgr Pub;
  TDecodeSession* Owner;
};

struct TDecodeSession : TJpegSession {
  jpeg_decompress_struct Codec{};
  TSourceLink Source{};
  TProgressLink Monitor{};
  std::int64_t DataBytes = 0;  // from the start of the file to the end of the stream
  std::uint32_t MaxScans = 0;
  std::uint64_t MaxMemory = 0;
  bool WantProfile = false;  // APP2 markers kept for their ICC profile
  // A CMYK file: the conversion of its inks to sRGB (made with its own
  // profile, when it has one that works, before the image is sized) and
  // the row of inks it converts.
  std::unique_ptr<TCmykToSRGB> Cmyk;
  std::vector<std::uint8_t> CmykRow;
};

// A Huffman-coded scan spends at least one bit on every 8 x 8 block of the
// fullest component, so a complete file holds at least one byte per 512
// pixels. Twice that is allowed; a header promising more would only decode
// into grey fill (arithmetic-coded files denser than that are refused too).
constexpr std::uint64_t kMaxPixelsPerByte = 1024;

struct TEncodeSession : TJpegSession {
  jpeg_compress_struct Codec{};
  TDestLink Dest{};
  JDIMENSION Width = 0;
  JDIMENSION Height = 0;
  bool Grey = false;
  bool Progressive = false;
  int Quality = 80;
  std::vector<std::uint8_t> Icc;  // the profile to embed, or none
};

// The facts ReadInfo reports, copied out before the codec object goes.
struct TJpegFacts {
  JDIMENSION Width = 0;
  JDIMENSION Height = 0;
  int ColorSpace = 0;
  int Components = 0;
  bool Progressive = false;
  bool Adobe = false;
  bool Jfif = false;
  std::string Profile;  // the profile's information line
};

TJpegSession& SessionOf(j_common_ptr codec) {
  return *reinterpret_cast<TErrorLink*>(codec->err)->Owner;
}

// ---- error manager

std::string CodecText(j_common_ptr codec) {
  char text[JMSG_LENGTH_MAX] = {};
  (*codec->err->format_message)(codec, text);
  return std::string(text).substr(0, kMaxCodecMessage);
}

// needed is 0 when only the codec knows it.
[[noreturn]] void RaiseMemoryLimit(std::uint64_t limit, std::uint64_t needed) {
  throw EJpg(kPrefix + PGDecoderMemoryText(limit, needed));
}

[[noreturn]] void RaiseCodecError(j_common_ptr codec) {
  if (codec->err->msg_code == JERR_BAD_LIB_VERSION)
    throw EJpg(std::string(kPrefix) + "Invalid library version");
  // The codec asks for a backing store once a buffer would pass
  // max_memory_to_use: that is our limit speaking, not a missing feature.
  if (codec->err->msg_code == JERR_NO_BACKING_STORE) RaiseMemoryLimit(codec->mem->max_memory_to_use, 0);
  throw EJpg(kPrefix + CodecText(codec));
}

void ErrorExit(j_common_ptr codec) {
  TJpegSession& s = SessionOf(codec);
  Guarded(s, [&] { RaiseCodecError(codec); });
  Bail(s);
}

void OutputMessage(j_common_ptr codec) {
  TJpegSession& s = SessionOf(codec);
  if (!Guarded(s, [&] { ActOnWarning<EJpg>(s.Warnings, "JPG", CodecText(codec)); })) Bail(s);
}

jpeg_error_mgr* InstallErrors(TJpegSession& s) {
  jpeg_std_error(&s.Err.Pub);
  s.Err.Pub.error_exit = ErrorExit;
  s.Err.Pub.output_message = OutputMessage;
  s.Err.Owner = &s;
  return &s.Err.Pub;
}

// ---- source manager over TStream

TSourceLink& SourceOf(j_decompress_ptr codec) { return *reinterpret_cast<TSourceLink*>(codec->src); }

void InitSource(j_decompress_ptr) {}
void TermSource(j_decompress_ptr) {}

boolean FillInput(j_decompress_ptr codec) {
  TSourceLink& src = SourceOf(codec);
  TJpegSession& s = *src.Owner;
  std::int64_t got = 0;
  if (!Guarded(s, [&] { got = s.Stream->Read(src.Buffer, kBufferSize); })) Bail(s);
  if (got <= 0) {
    if (src.AtStart) ERREXIT(codec, JERR_INPUT_EMPTY);
    WARNMS(codec, JWRN_JPEG_EOF);
    // A fake end-of-image marker lets the decoder finish what it has.
    src.Buffer[0] = 0xFF;
    src.Buffer[1] = JPEG_EOI;
    got = 2;
  }
  src.Pub.next_input_byte = src.Buffer;
  src.Pub.bytes_in_buffer = std::size_t(got);
  src.AtStart = false;
  return TRUE;
}

void SkipInput(j_decompress_ptr codec, long count) {
  if (count <= 0) return;
  TSourceLink& src = SourceOf(codec);
  while (std::size_t(count) > src.Pub.bytes_in_buffer) {
    count -= long(src.Pub.bytes_in_buffer);
    FillInput(codec);
  }
  src.Pub.next_input_byte += count;
  src.Pub.bytes_in_buffer -= std::size_t(count);
}

void AttachSource(TDecodeSession& s) {
  TSourceLink& src = s.Source;
  src.Owner = &s;
  src.AtStart = true;
  src.Pub.init_source = InitSource;
  src.Pub.fill_input_buffer = FillInput;
  src.Pub.skip_input_data = SkipInput;
  src.Pub.resync_to_restart = jpeg_resync_to_restart;
  src.Pub.term_source = TermSource;
  src.Pub.next_input_byte = nullptr;
  src.Pub.bytes_in_buffer = 0;
  s.Codec.src = &src.Pub;
}

// ---- scan limit

// Every scan of a progressive file passes over all its coefficients again,
// so the count of scans, not the size of the file, sets the decoding time.
[[noreturn]] void RaiseTooManyScans(std::uint32_t maxScans) {
  throw EJpg(kPrefix + std::string("File has more than ") + std::to_string(maxScans) +
             " scans (JpegMaxScans)");
}

// Counted in the file's bytes before the codec starts, so that a file of
// too many scans costs a read, not the decoding of the scans within the
// limit.
void RefuseTooManyScans(TStream& stream, std::uint32_t maxScans) {
  if (PGCountJpegScans(stream, maxScans) > maxScans) RaiseTooManyScans(maxScans);
}

// The same limit while decoding, behind the count: it holds for whatever
// the count could not see.
void MonitorScans(j_common_ptr codec) {
  TDecodeSession& s = *reinterpret_cast<TProgressLink*>(codec->progress)->Owner;
  const int scan = reinterpret_cast<j_decompress_ptr>(codec)->input_scan_number;
  if (scan < 0 || std::uint32_t(scan) <= s.MaxScans) return;
  Guarded(s, [&] { RaiseTooManyScans(s.MaxScans); });
  Bail(s);
}

void AttachLimits(TDecodeSession& s) {
  s.Monitor.Owner = &s;
  s.Monitor.Pub.progress_monitor = MonitorScans;
  s.Codec.progress = &s.Monitor.Pub;
  s.Codec.mem->max_memory_to_use = long(std::min<std::uint64_t>(s.MaxMemory, LONG_MAX));
}

// ---- destination manager over TStream

TDestLink& DestOf(j_compress_ptr codec) { return *reinterpret_cast<TDestLink*>(codec->dest); }

void ResetOutput(TDestLink& dest) {
  dest.Pub.next_output_byte = dest.Buffer;
  dest.Pub.free_in_buffer = kBufferSize;
}

void FlushOutput(j_compress_ptr codec, std::size_t count) {
  TDestLink& dest = DestOf(codec);
  TJpegSession& s = *dest.Owner;
  std::int64_t written = 0;
  if (!Guarded(s, [&] { written = s.Stream->Write(dest.Buffer, std::int64_t(count)); })) Bail(s);
  if (written != std::int64_t(count)) ERREXIT(codec, JERR_FILE_WRITE);
}

void InitDestination(j_compress_ptr codec) { ResetOutput(DestOf(codec)); }

boolean EmptyOutput(j_compress_ptr codec) {
  FlushOutput(codec, kBufferSize);
  ResetOutput(DestOf(codec));
  return TRUE;
}

void TermDestination(j_compress_ptr codec) {
  const std::size_t pending = kBufferSize - DestOf(codec).Pub.free_in_buffer;
  if (pending > 0) FlushOutput(codec, pending);
}

void AttachDestination(TEncodeSession& s) {
  TDestLink& dest = s.Dest;
  dest.Owner = &s;
  dest.Pub.init_destination = InitDestination;
  dest.Pub.empty_output_buffer = EmptyOutput;
  dest.Pub.term_destination = TermDestination;
  s.Codec.dest = &dest.Pub;
}

// ---- shared settings

J_DCT_METHOD CodecDct(TJpegDctMethod method) {
  switch (method) {
    case TJpegDctMethod::jdctIFast:
      return JDCT_IFAST;
    case TJpegDctMethod::jdctFloat:
      return JDCT_FLOAT;
    case TJpegDctMethod::jdctISlow:
      break;
  }
  return JDCT_ISLOW;
}

// Unscaled output, no colour quantisation; colour comes out blue-green-red.
void ConfigureDecode(TDecodeSession& s) {
  j_decompress_ptr codec = &s.Codec;
  codec->scale_num = 1;
  codec->scale_denom = 1;
  codec->dct_method = s.Dct;
  codec->quantize_colors = FALSE;
  codec->two_pass_quantize = FALSE;
  codec->dither_mode = JDITHER_NONE;
  if (codec->out_color_space == JCS_RGB) codec->out_color_space = JCS_EXT_BGR;
}

// ---- reading

// A file of several scans is decoded into a buffer of all its coefficients
// (64 of 2 bytes for every block of every component) before the first row
// comes out; the other buffers of the codec are a few rows.
std::uint64_t CoefficientBufferBytes(jpeg_decompress_struct& c) {
  if (!jpeg_has_multiple_scans(&c)) return 0;
  std::uint64_t bytes = 0;
  for (int i = 0; i < c.num_components; ++i) {
    const jpeg_component_info& comp = c.comp_info[i];
    const auto roundUp = [](std::uint64_t n, std::uint64_t m) { return m ? (n + m - 1) / m * m : n; };
    bytes += roundUp(comp.width_in_blocks, std::uint64_t(comp.h_samp_factor)) *
             roundUp(comp.height_in_blocks, std::uint64_t(comp.v_samp_factor)) * DCTSIZE2 * sizeof(JCOEF);
  }
  return bytes;
}

// CMYK rows come out of the codec as inks and go into the image as sRGB.
// Adobe's applications store the inks inverted and mark their files so.
void PrepareCmyk(TDecodeSession& s) {
  if (!s.Cmyk) s.Cmyk = std::make_unique<TCmykToSRGB>(std::vector<std::uint8_t>{}, s.Codec.saw_Adobe_marker != 0);
  if (!s.Cmyk->Ready()) RaisePrefixed<EJpg>(kPrefix, msgNotSupportedSubformat);
  s.CmykRow.resize(std::size_t(s.Codec.output_width) * 4);
  // What comes out is sRGB, as a profiled file's pixels are.
  s.Image->FileGamma = SRGBGamma;
}

// Depth and size of the image; refuses before any pixel memory is taken.
void PrepareImage(TDecodeSession& s) {
  const std::uint64_t buffer = CoefficientBufferBytes(s.Codec);
  if (buffer > s.MaxMemory) RaiseMemoryLimit(s.MaxMemory, buffer);
  const jpeg_decompress_struct& c = s.Codec;
  const bool cmyk = c.output_components == 4 && c.out_color_space == JCS_CMYK;
  if (c.output_components != 1 && c.output_components != 3 && !cmyk)
    RaisePrefixed<EJpg>(kPrefix, msgNotSupportedSubformat);
  const std::uint64_t pixels = std::uint64_t(c.output_width) * c.output_height;
  if (pixels > PGSettings().MaxImagePixels)
    RaisePrefixed<EJpg>(kPrefix, msgInvalidSizeOf, "image");
  if (pixels > std::uint64_t(std::max<std::int64_t>(s.DataBytes, 0)) * kMaxPixelsPerByte)
    RaisePrefixed<EJpg>(kPrefix, msgUnexpectedEOF);
  TPixelGraphic& image = *s.Image;
  const bool grey = c.output_components == 1;
  image.SetSizeAndFormat(int(c.output_width), int(c.output_height), grey ? pgpf8Bit : pgpf24Bit);
  if (grey) image.SetPaletteIdent(pGray256);
  if (cmyk) PrepareCmyk(s);
}

void ReadRows(TDecodeSession& s) {
  j_decompress_ptr codec = &s.Codec;
  Notify(s, &TPixelGraphic::DoProgressStart);
  s.InRowLoop = true;
  while (codec->output_scanline < codec->output_height && !s.Aborted) {
    JSAMPROW row = RowOf(s, codec->output_scanline);
    if (s.Cmyk) {
      JSAMPROW inks = s.CmykRow.data();
      jpeg_read_scanlines(codec, &inks, 1);
      s.Cmyk->Convert(inks, row, codec->output_width);
    } else {
      jpeg_read_scanlines(codec, &row, 1);
    }
    RowsDone(s, int(codec->output_scanline) - 1, 1);
    Progress(s, int(codec->output_scanline), int(codec->output_height));
  }
  s.InRowLoop = false;
  Notify(s, &TPixelGraphic::DoProgressEnd);
}

// Cleanup after a longjmp: the end notification when rows were running, then
// the codec object.
void Abandon(TJpegSession& s, j_common_ptr codec) {
  EndRowLoopAfterFailure(s);
  jpeg_destroy(codec);
}

// Creates the decompressor and reads the header (called after setjmp).
void OpenDecoder(TDecodeSession& s) {
  j_decompress_ptr codec = &s.Codec;
  codec->err = InstallErrors(s);
  jpeg_create_decompress(codec);
  AttachSource(s);
  AttachLimits(s);
  if (s.WantProfile) jpeg_save_markers(codec, JPEG_APP0 + 2, 0xFFFF);
  jpeg_read_header(codec, TRUE);
  ConfigureDecode(s);
}

// ---- colour profile

// The ICC profile the APP2 markers kept by the codec hold, or what is wrong
// with them; both empty without such markers.
std::string AssembledProfile(const jpeg_decompress_struct& c, std::vector<std::uint8_t>& icc) {
  std::vector<TIccMarker> markers;
  for (jpeg_saved_marker_ptr m = c.marker_list; m; m = m->next)
    if (m->marker == JPEG_APP0 + 2) markers.push_back({m->data, m->data_length});
  return AssembleIccMarkers(markers, icc);
}

TIccSpace ExpectedSpace(const jpeg_decompress_struct& c) {
  switch (c.num_components) {
    case 1: return TIccSpace::isGray;
    case 3: return TIccSpace::isRGB;
    case 4: return TIccSpace::isCMYK;
    default: return TIccSpace::isOther;
  }
}

const char* const kGenericCmykText = "the colours are converted through the generic CMYK profile";

[[noreturn]] void RefuseToKeepCmyk() {
  throw EJpg(std::string(kPrefix) +
             "A CMYK profile cannot be kept (ColorProfile=keep): the images written are RGB; "
             "convert the colours instead (ColorProfile=convert)");
}

// A CMYK file's own profile converts its inks, unless it is to be kept,
// which an RGB image cannot; what is wrong with it, if anything.
std::string TakeCmykProfile(TDecodeSession& s, std::vector<std::uint8_t> icc) {
  if (std::string problem = IccProblem(icc, TIccSpace::isCMYK, false); !problem.empty()) return problem;
  if (PGSettings().ColorProfile == TColorProfileMode::cpmKeep) RefuseToKeepCmyk();
  s.Cmyk = std::make_unique<TCmykToSRGB>(icc, s.Codec.saw_Adobe_marker != 0);
  if (s.Cmyk->Ready()) return "";
  s.Cmyk.reset();
  return "profile unusable";
}

// A damaged profile is a warning under the image's policy; the image reads
// on (a CMYK one through the generic CMYK profile). Files of other than
// 1, 3 or 4 components are refused anyway.
void TakeProfile(TDecodeSession& s) {
  const TIccSpace space = ExpectedSpace(s.Codec);
  if (space == TIccSpace::isOther) return;
  std::vector<std::uint8_t> icc;
  std::string problem = AssembledProfile(s.Codec, icc);
  if (problem.empty() && !icc.empty())
    problem = space == TIccSpace::isCMYK ? TakeCmykProfile(s, std::move(icc)) : TakeIccProfile(*s.Image, std::move(icc), space);
  if (problem.empty()) return;
  const std::string text = space == TIccSpace::isCMYK ? "ICC profile ignored: " + problem + "; " + kGenericCmykText
                                                      : IccIgnoredText(problem);
  ActOnWarning<EJpg>(s.Warnings, "JPG", text);
}

// For a CMYK file, also which profile converts its inks.
std::string ProfileInfo(const jpeg_decompress_struct& c) {
  std::vector<std::uint8_t> icc;
  std::string problem = AssembledProfile(c, icc);
  const TIccSpace space = ExpectedSpace(c);
  if (space != TIccSpace::isCMYK) {
    if (!problem.empty()) return IccDamagedText(problem);
    return icc.empty() ? "" : IccInfoText(std::move(icc), space);
  }
  if (problem.empty() && !icc.empty()) problem = IccProblem(icc, space);
  if (problem.empty() && !icc.empty()) return IccInfoText(std::move(icc), TIccSpace::isOther);
  return (problem.empty() ? std::string("ICC profile: none") : IccDamagedText(problem)) + "; " + kGenericCmykText;
}

// No object with a destructor may live in this frame (longjmp target).
void RunDecode(TDecodeSession& s) {
  j_decompress_ptr codec = &s.Codec;
  if (setjmp(s.Jump) != 0) return Abandon(s, reinterpret_cast<j_common_ptr>(codec));
  OpenDecoder(s);
  if (s.WantProfile && !Guarded(s, [&] { TakeProfile(s); })) Bail(s);
  jpeg_calc_output_dimensions(codec);
  if (!Guarded(s, [&] { PrepareImage(s); })) Bail(s);
  jpeg_start_decompress(codec);
  ReadRows(s);
  jpeg_finish_decompress(codec);
  jpeg_destroy_decompress(codec);
}

void CopyFacts(const jpeg_decompress_struct& c, TJpegFacts& facts) {
  facts.Width = c.image_width;
  facts.Height = c.image_height;
  facts.ColorSpace = int(c.jpeg_color_space);
  facts.Components = c.num_components;
  facts.Progressive = c.progressive_mode != 0;
  facts.Adobe = c.saw_Adobe_marker != 0;
  facts.Jfif = c.saw_JFIF_marker != 0;
}

// No object with a destructor may live in this frame (longjmp target).
void RunInfo(TDecodeSession& s, TJpegFacts& facts) {
  j_decompress_ptr codec = &s.Codec;
  if (setjmp(s.Jump) != 0) return Abandon(s, reinterpret_cast<j_common_ptr>(codec));
  OpenDecoder(s);
  CopyFacts(s.Codec, facts);
  if (!Guarded(s, [&] { facts.Profile = ProfileInfo(s.Codec); })) Bail(s);
  jpeg_destroy_decompress(codec);
}

std::string SubformatText(const TJpegFacts& f) {
  static const char* const kSpaces[] = {"unknown", "GrayScale", "RGB", "YCbCr", "CMYK", "YCbCrK"};
  std::string text = f.ColorSpace >= 0 && f.ColorSpace < 6 ? kSpaces[f.ColorSpace] : "";
  if (f.Progressive) text += ", Progressive";
  if (f.Adobe) text = "Adope, " + text;
  if (f.Jfif) text = "JFIF, " + text;
  return text;
}

std::string ColorCountText(int components) {
  static const char* const kCounts[] = {"256", "64K", "16.7M", "4294.9M"};
  return components >= 1 && components <= 4 ? kCounts[components - 1] : "?";
}

// ---- writing

void ConfigureEncode(TEncodeSession& s) {
  j_compress_ptr codec = &s.Codec;
  codec->image_width = s.Width;
  codec->image_height = s.Height;
  codec->input_components = s.Grey ? 1 : 3;
  codec->in_color_space = s.Grey ? JCS_GRAYSCALE : JCS_EXT_BGR;
  jpeg_set_defaults(codec);
  if (s.Progressive) jpeg_simple_progression(codec);
  jpeg_set_quality(codec, s.Quality, TRUE);
  codec->dct_method = s.Dct;
}

void WriteRows(TEncodeSession& s) {
  j_compress_ptr codec = &s.Codec;
  Notify(s, &TPixelGraphic::DoProgressStart);
  s.InRowLoop = true;
  while (codec->next_scanline < codec->image_height) {
    JSAMPROW row = RowOf(s, codec->next_scanline);
    jpeg_write_scanlines(codec, &row, 1);
    // A JPEG write always runs to the end: the abort answer is not used.
    Progress(s, int(codec->next_scanline), int(codec->image_height));
  }
  s.InRowLoop = false;
  Notify(s, &TPixelGraphic::DoProgressEnd);
}

// No object with a destructor may live in this frame (longjmp target).
void RunEncode(TEncodeSession& s) {
  j_compress_ptr codec = &s.Codec;
  if (setjmp(s.Jump) != 0) return Abandon(s, reinterpret_cast<j_common_ptr>(codec));
  codec->err = InstallErrors(s);
  jpeg_create_compress(codec);
  AttachDestination(s);
  ConfigureEncode(s);
  jpeg_start_compress(codec, TRUE);
  if (!s.Icc.empty()) jpeg_write_icc_profile(codec, s.Icc.data(), unsigned(s.Icc.size()));
  WriteRows(s);
  jpeg_finish_compress(codec);
  jpeg_destroy_compress(codec);
}

}  // namespace

// ---- readers

TJPGFileFormatReader::TJPGFileFormatReader() {
  SafeOnThreads = true;
  RowDelivery = rdTopDown;
  FillsRowsOneByOne = true;
  Extension = "jpg";
  Description = "JPEG (JFIF compliant)";
  HasSignature = true;
}

bool TJPGFileFormatReader::CheckSignature(const std::uint8_t* header, int headerSize) {
  return headerSize >= 2 && header[0] == 0xFF && header[1] == 0xD8;
}

void TJPGFileFormatReader::ReadImage(TStream& stream, TPixelGraphic& image, int index) {
  if (index != 0) RaisePrefixed<EJpg>(kPrefix, msgInvalid, "Index");
  image.FileGamma = PGSettings().DisplayGamma;
  auto s = NewSession<TDecodeSession>(stream, &image, image.ReadWarningAction);
  s->Dct = image.PreviewLoad ? JDCT_IFAST : CodecDct(PGSettings().JpegReadDctMethod);
  s->DataBytes = stream.Size() - stream.Position();
  s->MaxScans = PGSettings().JpegMaxScans;
  s->MaxMemory = PGSettings().MaxDecoderMemory;
  s->WantProfile = ProfilesWanted();
  RefuseTooManyScans(stream, s->MaxScans);
  RunDecode(*s);
  RethrowFailure(*s);
}

void TJPGFileFormatReader::ReadInfo(TStream& stream, int index, TFileInfo& info) {
  TFileFormatReader::ReadInfo(stream, index, info);
  if (index != 0) RaisePrefixed<EJpg>(kPrefix, msgInvalidValueFor, "Index");
  auto s = NewSession<TDecodeSession>(stream, nullptr, pgwaRaise);
  s->Dct = JDCT_IFAST;
  s->MaxScans = PGSettings().JpegMaxScans;
  s->MaxMemory = PGSettings().MaxDecoderMemory;
  s->WantProfile = true;
  TJpegFacts facts;
  RunInfo(*s, facts);
  RethrowFailure(*s);
  info.Width = int(facts.Width);
  info.Height = int(facts.Height);
  info.SubformatText = SubformatText(facts);
  info.ColorCountText = ColorCountText(facts.Components);
  info.BitsPerPixel = 8 * facts.Components;
  info.ColorProfileText = facts.Profile;
}

// ---- writers

TJPGFileFormatWriter::TJPGFileFormatWriter() {
  SafeOnThreads = true;
  TakesRowsTopDown = true;
  WritesGrey = true;
  Extension = "jpg";
  Description = "JPEG (JFIF compliant)";
  CanWriteResolutions = CrBit(cr256Grays) | CrBit(crTrueColor);
}

void TJPGFileFormatWriter::Write(TStream& stream, TPixelGraphic& image) {
  image.ClassifyPalette();
  const bool grey = image.PixelFormat() == pgpf8Bit && image.PaletteIdent() == pGray256;
  if (!grey && image.PixelFormat() != pgpf24Bit)
    RaisePrefixed<EJpg>(kPrefix, msgInvalidValueFor, "BitCount");
  const TPGLibrarySettings& settings = PGSettings();
  auto s = NewSession<TEncodeSession>(stream, &image, image.ReadWarningAction);
  s->Width = JDIMENSION(image.Width());
  s->Height = JDIMENSION(image.Height());
  s->Grey = grey;
  s->Progressive = settings.JpegProgressive;
  s->Quality = settings.JpegQuality;
  s->Dct = CodecDct(settings.JpegWriteDctMethod);
  s->Icc = IccToEmbed(image, grey);
  RunEncode(*s);
  RethrowFailure(*s);
}
