#include "pgraphic/formats/pnm.h"

#include <algorithm>
#include <string>

#include "pgraphic/formats/bufferedstreams.h"
#include "pgraphic/formats/decodechecks.h"
#include "pgraphic/formats/rowprogress.h"

namespace {

using TInput = TPGBufferedInput<EPGPxMFileFormatReader>;

const std::string kPrefix = "PBM, PGM, PPM: ";
// Numbers saturate here: far above any usable size or sample, and small
// enough that sample x 255 cannot overflow.
constexpr std::uint64_t kNumberCap = std::uint64_t{1} << 40;

enum TPnmKind { pkPBM = 0, pkPGM = 1, pkPPM = 2 };

struct TPnmForm {
  TPnmKind Kind;
  bool Binary;
};

TPnmForm FormOfMagic(int digit) { return {static_cast<TPnmKind>((digit - 1) % 3), digit >= 4}; }

TPGPixelFormat FormatOfKind(TPnmKind kind) {
  return kind == pkPBM ? pgpf1Bit : kind == pkPGM ? pgpf8Bit : pgpf24Bit;
}

[[noreturn]] void Fail(int entry) { RaisePrefixed<EPGPxMFileFormatReader>(kPrefix, entry); }
[[noreturn]] void Fail(int entry, const std::string& s1) {
  RaisePrefixed<EPGPxMFileFormatReader>(kPrefix, entry, s1);
}

bool IsDigit(std::uint8_t c) { return c >= '0' && c <= '9'; }

void SkipComment(TInput& in) {
  std::uint8_t c;
  do c = in.Next();
  while (c != '\n' && c != '\r');
}

// Where a number is read decides what a "#" means: in the header it opens a
// comment, in pixel data it is an ordinary separator, and the one character
// that ends a binary header belongs to the pixels' side of the file.
enum class TNumberMode { Data, Header, LastBinaryHeader };

// Skips non-digits, then takes digits up to the first non-digit, which is
// consumed. The end of the data also ends a number, so a last sample
// without a trailing line feed is still read.
std::uint64_t ReadNumber(TInput& in, TNumberMode mode) {
  const bool header = mode != TNumberMode::Data;
  std::uint8_t c = in.Next();
  while (!IsDigit(c)) {
    if (header && c == '#') SkipComment(in);
    // A size of "-5" is none: read as 5 it would give an image the file
    // does not describe.
    if (header && c == '-') Fail(msgInvalid, "negative size");
    c = in.Next();
  }
  std::uint64_t value = 0;
  for (;;) {
    value = std::min<std::uint64_t>(value * 10 + (c - '0'), kNumberCap);
    if (!in.TryNext(c)) return value;
    if (!IsDigit(c)) break;
  }
  if (c == '#' && mode == TNumberMode::Header) SkipComment(in);
  return value;
}

int ReadMagic(TInput& in) {
  if (in.Next() != 'P') Fail(msgNotAFile, "PBM, PGM, PPM");
  const std::uint8_t digit = in.Next();
  if (digit < '1' || digit > '6') Fail(msgUnknownSubformat);
  return digit - '0';
}

struct TPnmHeader {
  TPnmForm Form;
  std::uint64_t Width = 0;
  std::uint64_t Height = 0;
  std::uint64_t MaxValue = 1;
};

void ReadDimensions(TInput& in, TPnmHeader& h) {
  h.Width = ReadNumber(in, TNumberMode::Header);
  const bool last = h.Form.Kind == pkPBM && h.Form.Binary;
  h.Height = ReadNumber(in, last ? TNumberMode::LastBinaryHeader : TNumberMode::Header);
  if (h.Form.Kind == pkPBM) return;
  h.MaxValue = ReadNumber(in, h.Form.Binary ? TNumberMode::LastBinaryHeader : TNumberMode::Header);
}

void CheckHeader(const TPnmHeader& h) {
  if (h.Width < 1 || h.Height < 1 || (h.Form.Binary && h.MaxValue >= 256))
    Fail(msgNotSupportedSubformat);
  if (h.MaxValue == 0) Fail(msgInvalid, "MaxValue");
  PGCheckImageSize<EPGPxMFileFormatReader>(kPrefix, static_cast<std::int64_t>(h.Width),
                                           static_cast<std::int64_t>(h.Height),
                                           BitCountOf(FormatOfKind(h.Form.Kind)));
}

// Every sample takes a byte or more (a digit in the ASCII forms); binary
// bitmaps pack eight pixels into a byte.
std::uint64_t MinDataBytes(const TPnmHeader& h) {
  if (h.Form.Kind == pkPBM && h.Form.Binary) return h.Height * ((h.Width + 7) / 8);
  return h.Width * h.Height * (h.Form.Kind == pkPPM ? 3 : 1);
}

void PrepareImage(TPixelGraphic& image, TPnmKind kind) {
  image.SetSizeAndFormat(0, 0, FormatOfKind(kind));
  if (kind == pkPBM) image.SetPaletteIdent(pBlackWhite);
  if (kind == pkPGM) image.SetPaletteIdent(pGray256);
}

// Reads one sample (a byte or an ASCII number) and scales it to 0..255.
std::uint8_t NextSample(TInput& in, const TPnmHeader& h) {
  const std::uint64_t v = h.Form.Binary ? in.Next() : ReadNumber(in, TNumberMode::Data);
  if (v > h.MaxValue) Fail(msgInvalid, "Sample value");
  return static_cast<std::uint8_t>(v * 255 / h.MaxValue);
}

// One digit per pixel: plain PBM needs no separators between pixels, and
// "0110" is four pixels, not one.
std::uint8_t NextBitDigit(TInput& in) {
  std::uint8_t c = in.Next();
  while (!IsDigit(c)) c = in.Next();
  return c;
}

void DecodePlainBitRow(TInput& in, std::uint8_t* row, int width) {
  for (int x = 0; x < width; ++x)
    if (NextBitDigit(in) == '0') row[x / 8] |= std::uint8_t(0x80 >> (x % 8));
}

// Binary PBM stores 1 for black; the image's index 1 is white.
void DecodeRawBitRow(TInput& in, std::uint8_t* row, int width) {
  const int bytes = (width + 7) / 8;
  in.ReadInto(row, bytes);
  for (int i = 0; i < bytes; ++i) row[i] = std::uint8_t(~row[i]);
  if (width % 8) row[bytes - 1] &= std::uint8_t(0xFF << (8 - width % 8));
}

void DecodeGreyRow(TInput& in, const TPnmHeader& h, std::uint8_t* row, int width) {
  for (int x = 0; x < width; ++x) row[x] = NextSample(in, h);
}

void DecodeRGBRow(TInput& in, const TPnmHeader& h, std::uint8_t* row, int width) {
  for (int x = 0; x < width; ++x) {
    row[3 * x + 2] = NextSample(in, h);
    row[3 * x + 1] = NextSample(in, h);
    row[3 * x] = NextSample(in, h);
  }
}

void DecodeRow(TInput& in, const TPnmHeader& h, std::uint8_t* row, int width) {
  if (h.Form.Kind == pkPBM)
    h.Form.Binary ? DecodeRawBitRow(in, row, width) : DecodePlainBitRow(in, row, width);
  else if (h.Form.Kind == pkPGM)
    DecodeGreyRow(in, h, row, width);
  else
    DecodeRGBRow(in, h, row, width);
}

void DecodeRows(TInput& in, TPixelGraphic& image, const TPnmHeader& h) {
  TPGProgressBracket bracket(image);
  const int height = image.Height();
  for (int y = 0; y < height; ++y) {
    DecodeRow(in, h, image.ScanLine(y), image.Width());
    image.DoRowsDone(y, 1);
    if (image.DoProgress(y, height)) break;
  }
}

int BitsOfKind(TPnmKind kind) { return kind == pkPBM ? 1 : kind == pkPGM ? 8 : 24; }

}  // namespace

// ---- readers

TPxMFileFormatReader::TPxMFileFormatReader() {
  HasSignature = true;
  SafeOnThreads = true;
  RowDelivery = rdTopDown;
  FillsRowsOneByOne = true;
}

bool TPxMFileFormatReader::MagicIs(const std::uint8_t* header, int headerSize, char ascii,
                                   char binary) {
  return headerSize >= 2 && header[0] == 'P' && (header[1] == ascii || header[1] == binary);
}

void TPxMFileFormatReader::ReadImage(TStream& stream, TPixelGraphic& image, int index) {
  if (index != 0) RaisePrefixed<EPGPxMFileFormatReader>("PxM: ", msgInvalid, "Index");
  image.FileGamma = PGSettings().DisplayGamma;
  TInput in(stream, kPrefix);
  TPnmHeader h;
  h.Form = FormOfMagic(ReadMagic(in));
  PrepareImage(image, h.Form.Kind);
  ReadDimensions(in, h);
  CheckHeader(h);
  PGCheckDataFor<EPGPxMFileFormatReader>(kPrefix, stream.Remaining() + in.Buffered(), MinDataBytes(h));
  image.SetSizeAndFormat(static_cast<int>(h.Width), static_cast<int>(h.Height),
                         FormatOfKind(h.Form.Kind));
  DecodeRows(in, image, h);
  in.Release();
}

void TPxMFileFormatReader::ReadInfo(TStream& stream, int index, TFileInfo& info) {
  TFileFormatReader::ReadInfo(stream, index, info);
  if (index != 0) Fail(msgInvalidValueFor, "Index");
  TInput in(stream, kPrefix);
  const TPnmForm form = FormOfMagic(ReadMagic(in));
  info.SubformatText = form.Binary ? "Binary" : "ASCII";
  info.BitsPerPixel = BitsOfKind(form.Kind);
  const auto clamp = [](std::uint64_t v) {
    return static_cast<int>(std::min<std::uint64_t>(v, 0x7FFFFFFF));
  };
  info.Width = clamp(ReadNumber(in, TNumberMode::Header));
  info.Height = clamp(ReadNumber(in, TNumberMode::Header));
  info.ColorCountText = info.BitsPerPixel == 24 ? "16.7M" : PGPowerOfTwoText(info.BitsPerPixel);
}

TPBMFileFormatReader::TPBMFileFormatReader() {
  Extension = "pbm";
  Description = "Portable Bitmap";
}
bool TPBMFileFormatReader::CheckSignature(const std::uint8_t* header, int headerSize) {
  return MagicIs(header, headerSize, '1', '4');
}

TPGMFileFormatReader::TPGMFileFormatReader() {
  Extension = "pgm";
  Description = "Portable Graymap";
}
bool TPGMFileFormatReader::CheckSignature(const std::uint8_t* header, int headerSize) {
  return MagicIs(header, headerSize, '2', '5');
}

TPPMFileFormatReader::TPPMFileFormatReader() {
  Extension = "ppm";
  Description = "Portable Pixelmap";
}
bool TPPMFileFormatReader::CheckSignature(const std::uint8_t* header, int headerSize) {
  return MagicIs(header, headerSize, '3', '6');
}

// ---- writer

namespace {

[[noreturn]] void FailWrite(const std::string& prefix, int entry) {
  RaisePrefixed<EPGPxMFileFormatWriter>(prefix, entry);
}

TPnmKind WriterKind(const std::string& extension) {
  if (extension == "pbm") return pkPBM;
  if (extension == "pgm") return pkPGM;
  if (extension == "ppm") return pkPPM;
  RaisePrefixed<EPGPxMFileFormatWriter>(kPrefix, msgUnknownExtension, extension);
}

void CheckWriteDepth(TPnmKind kind, const TPixelGraphic& image) {
  static const char* const kKindPrefix[] = {"PBM: ", "PGM: ", "PPM: "};
  if (image.PixelFormat() != FormatOfKind(kind))
    FailWrite(kKindPrefix[kind], msgInvalidColorResolution);
}

void WriteHeader(TPGBufferedOutput& out, TPnmKind kind, bool binary, int width, int height) {
  out.Put('P');
  out.PutDecimal(1 + kind + (binary ? 3 : 0));
  out.Put('\n');
  out.PutDecimal(width);
  out.Put(' ');
  out.PutDecimal(height);
  out.Put('\n');
  if (kind != pkPBM) out.Put("255\n");
}

// Separator after number i of a row of count numbers.
void PutSeparator(TPGBufferedOutput& out, int i, int count) { out.Put(i + 1 < count ? ' ' : '\n'); }

void WriteBitRow(TPGBufferedOutput& out, bool binary, const std::uint8_t* row, int width) {
  if (binary) {
    const int bytes = (width + 7) / 8;
    for (int i = 0; i < bytes; ++i) {
      const bool last = i + 1 == bytes && width % 8;
      out.Put(std::uint8_t(~row[i] & (last ? 0xFF << (8 - width % 8) : 0xFF)));
    }
    return;
  }
  for (int x = 0; x < width; ++x) {
    out.Put(((row[x / 8] >> (7 - x % 8)) & 1) ? '0' : '1');
    PutSeparator(out, x, width);
  }
}

// Grey rows are the indices themselves; RGB rows are the stored bytes
// reordered from blue, green, red.
void WriteByteRow(TPGBufferedOutput& out, bool binary, TPnmKind kind, const std::uint8_t* row,
                  int width) {
  const int count = kind == pkPPM ? 3 * width : width;
  for (int i = 0; i < count; ++i) {
    const std::uint8_t v = kind == pkPPM ? row[(i / 3) * 3 + 2 - i % 3] : row[i];
    if (binary) {
      out.Put(v);
    } else {
      out.PutDecimal(v);
      PutSeparator(out, i, count);
    }
  }
}

}  // namespace

void TPXMFileFormatWriter::Write(TStream& stream, TPixelGraphic& image) {
  const TPnmKind kind = WriterKind(Extension);
  const int width = image.Width();
  const int height = image.Height();
  if (width < 1 || height < 1) FailWrite(kPrefix, msgWidthOrHeightZero);
  CheckWriteDepth(kind, image);
  const bool binary = PGSettings().PxmBinary;
  TPGBufferedOutput out(stream);
  WriteHeader(out, kind, binary, width, height);
  TPGProgressBracket bracket(image);
  for (int y = 0; y < height; ++y) {
    const std::uint8_t* row = image.ScanLine(y);
    kind == pkPBM ? WriteBitRow(out, binary, row, width)
                  : WriteByteRow(out, binary, kind, row, width);
    image.DoProgress(y, height);
  }
  out.Flush();
}

TPBMFileFormatWriter::TPBMFileFormatWriter() {
  Extension = "pbm";
  Description = "Portable Bitmap";
  CanWriteResolutions = CrBit(crBlackWhite);
}

TPGMFileFormatWriter::TPGMFileFormatWriter() {
  Extension = "pgm";
  Description = "Portable Graymap";
  CanWriteResolutions = CrBit(cr256Grays);
}

TPPMFileFormatWriter::TPPMFileFormatWriter() {
  Extension = "ppm";
  Description = "Portable Pixelmap";
  CanWriteResolutions = CrBit(crTrueColor);
}
