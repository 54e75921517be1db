#include "pgraphic/core/pixelgraphic.h"

#include <algorithm>
#include <cstring>
#include <cstdlib>

#include "pgraphic/core/library.h"
#include "pgraphic/core/settings.h"

// ---------------------------------------------------------------- helpers

TPGPixelFormat PixelFormatFromBitCount(int bitCount) {
  switch (bitCount) {
    case 1: return pgpf1Bit;
    case 4: return pgpf4Bit;
    case 8: return pgpf8Bit;
    case 24: return pgpf24Bit;
    default: RaisePG<EPGInvalidBitCountNum>(msgInvalidValueFor, "BitCountNum");
  }
}

int BitCountOf(TPGPixelFormat format) {
  static constexpr int counts[] = {1, 4, 8, 24};
  return counts[format & 3];
}

int ColorTableSizeOf(TPGPixelFormat format) {
  static constexpr int sizes[] = {2, 16, 256, 0};
  return sizes[format & 3];
}

std::int64_t BytesPerRowFor(int bitCount, std::int64_t width) {
  return ((std::int64_t(bitCount) * width + 31) / 32) * 4;
}

void PGPackRow(const std::uint8_t* from, std::uint8_t* to, std::size_t bits, std::size_t rowBytes) {
  const std::size_t used = (bits + 7) / 8;
  std::memcpy(to, from, used);
  if (bits % 8) to[used - 1] &= std::uint8_t(0xFF << (8 - bits % 8));
  std::memset(to + used, 0, rowBytes - used);
}

static void PutLE16(std::uint8_t* p, std::uint16_t v) {
  p[0] = std::uint8_t(v);
  p[1] = std::uint8_t(v >> 8);
}

static void PutLE32(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = std::uint8_t(v >> (8 * i));
}

// ---------------------------------------------------------------- lifetime

void TPixelGraphic::TFreeDeleter::operator()(std::uint8_t* p) const noexcept {
  if (Owned) std::free(p);
}

TPixelGraphic::TPixelGraphic() {
  PGLibraryInit();
  FileGamma = PGSettings().DisplayGamma;
}

TPixelGraphic::~TPixelGraphic() {
  FlushPending();
  FreeDither();
  InvalidateColorCache();
  FCanvas.reset();
}

void TPixelGraphic::FlushPending() {
  // Workers reading an image call this too: with nothing pending it must
  // not write, or two readers of one image would race on the flag.
  if (!FDrawingPending) return;
  if (FCanvas) FCanvas->Flush();
  FDrawingPending = false;
}

void TPixelGraphic::ReleaseCanvasPainter() {
  if (FCanvas) FCanvas->ReleasePainter();
}

void TPixelGraphic::Assign(const TPixelGraphic* source) {
  TPGUpdateGuard update(*this);
  if (!source) {
    SetSizeAndFormat(0, 0, pgpf24Bit);
    return;
  }
  if (source == this) return;
  FlushPending();
  const_cast<TPixelGraphic*>(source)->FlushPending();
  SetSizeAndFormat(source->FWidth, source->FHeight, source->FPixelFormat);
  if (FImageSize > 0 && source->FImageSize == FImageSize) CopyPixelsOf(*source);
  CopyAlphaOf(*const_cast<TPixelGraphic*>(source));
  SetPaletteIdent(source->FPaletteIdent);
  SetPaletteCount(source->PaletteCount());
  BackgroundValue = source->BackgroundValue;
  Dither = source->Dither;
  DitherErrorLimit = source->DitherErrorLimit;
  DitherErrorLimitAuto = source->DitherErrorLimitAuto;
  DitherErrorLimitSoft = source->DitherErrorLimitSoft;
  FMatcher.SetUseCache(source->UseColorCache());
  FileGamma = source->FileGamma;
  ColorProfile = source->ColorProfile;
  FMatcher.SetRGBWeighting(source->RGBWeighting());
  StretchMode = source->StretchMode;
  ReadWarningAction = source->ReadWarningAction;
  RaiseOnOutOfRange = source->RaiseOnOutOfRange;
  SaveColorResWarningAction = source->SaveColorResWarningAction;
  FMatcher.ForgetLastResult();
  for (int i = 0; i < source->PaletteCount(); ++i) SetPaletteEntry(i, source->FPaletteEntries[i]);
  ClassifyPalette();
}

void TPixelGraphic::CopyPalette(const TPixelGraphic& source) {
  SetPaletteCount(source.PaletteCount());
  for (int i = 0; i < source.PaletteCount(); ++i) SetPaletteEntry(i, source.FPaletteEntries[i]);
  ClassifyPalette();
}

// ---------------------------------------------------------------- size and depth

void TPixelGraphic::FreeBitmap() {
  DropAlpha();
  FBits.reset();
  FBits.get_deleter().Owned = true;
  FRowGate = nullptr;
  FRowsIn = nullptr;
  FRing.reset();
  FRingTop = 0;
  FRingByte = 0;
  FBitmapInfo.clear();
}

// Same size and depth. A window's rows lie apart in its source's memory,
// and their padding, even when it is as long as ours, holds the
// neighbours' pixels: row by row then, each packed.
void TPixelGraphic::CopyPixelsOf(const TPixelGraphic& source) {
  const bool window = source.ShowsRowsOfAnother();
  if (!window && !source.FRowsIn && !FRowsIn) {
    std::memcpy(FBits.get(), source.FBits.get(), FImageSize);
    return;
  }
  const std::size_t bits = std::size_t(FWidth) * std::size_t(BitCount());
  for (int y = 0; y < FHeight; ++y)
    if (window)
      PGPackRow(source.RowAt(y), RowAt(y), bits, FBytesPerRow);
    else
      std::memcpy(RowAt(y), source.RowAt(y), FBytesPerRow);
}

// A window's plane lies in its source's, rows apart by the source's width.
void TPixelGraphic::CopyAlphaOf(TPixelGraphic& source) {
  DropAlpha();
  if (!source.HasAlpha() || FImageSize == 0) return;
  AddAlpha();
  for (int y = 0; y < FHeight; ++y) std::memcpy(AlphaLine(y), source.AlphaLine(y), std::size_t(FWidth));
}

void TPixelGraphic::AddAlpha() {
  // The plane is whole even when the pixels' rows pass in bands: it is a
  // quarter of a true-colour image at most and its rows are never reused.
  if (FAlpha || FWidth <= 0 || FHeight <= 0 || Empty()) return;
  const std::size_t size = std::size_t(FWidth) * std::size_t(FHeight);
  auto* plane = static_cast<std::uint8_t*>(std::malloc(size));
  if (!plane) RaisePG<EPixelGraphic>(msgFailed, "CreateDIBSection");
  std::memset(plane, 0xFF, size);
  FAlpha.get_deleter().Owned = true;
  FAlpha.reset(plane);
  FAlphaStride = std::size_t(FWidth);
}

void TPixelGraphic::DropAlpha() {
  FAlpha.reset();
  FAlpha.get_deleter().Owned = true;
  FAlphaStride = 0;
}

std::uint8_t* TPixelGraphic::AlphaLine(int y) {
  if (!FAlpha) return nullptr;
  if (FRowGate) FRowGate->WaitForRow(y);
  return FAlpha.get() + std::size_t(y) * FAlphaStride;
}

void TPixelGraphic::WriteColorTableSlot(int i, TRGB color) {
  std::uint8_t* slot = FBitmapInfo.data() + BitmapInfoHeaderSize + 4 * i;
  slot[0] = std::uint8_t(GetBValue(color));
  slot[1] = std::uint8_t(GetGValue(color));
  slot[2] = std::uint8_t(GetRValue(color));
  slot[3] = 0;
}

void TPixelGraphic::BuildBitmapInfo(int tableSize) {
  FBitmapInfo.assign(BitmapInfoHeaderSize + 4 * tableSize, 0);
  std::uint8_t* h = FBitmapInfo.data();
  PutLE32(h + 0, BitmapInfoHeaderSize);
  PutLE32(h + 4, std::uint32_t(FWidth));
  PutLE32(h + 8, std::uint32_t(FHeight));
  PutLE16(h + 12, 1);
  PutLE16(h + 14, std::uint16_t(BitCount()));
  PutLE32(h + 20, FImageSize);
  PutLE32(h + 32, std::uint32_t(tableSize));
  const int count = PaletteCount();
  for (int i = 0; i < tableSize; ++i)
    WriteColorTableSlot(i, i < count ? FPaletteEntries[i] : count > 0 ? FPaletteEntries[0] : 0);
}

void TPixelGraphic::SetSizeAndFormat(int width, int height, TPGPixelFormat format) {
  if (width < 0) RaisePG<EPGInvalidSize>(msgNegativeWidth);
  if (height < 0) RaisePG<EPGInvalidSize>(msgNegativeHeight);
  if (width == FWidth && height == FHeight && format == FPixelFormat && !ShowsRowsOfAnother() &&
      (FRing != nullptr) == FRowsInBands) {
    DropAlpha();
    Clear();
    return;
  }
  // Pending drawing is completed on the old pixels, while the stored size
  // still describes them.
  FlushPending();
  ReleaseCanvasPainter();
  FWidth = width;
  FHeight = height;
  FPixelFormat = format;
  FreeBitmap();
  FImageSize = 0;
  FBytesPerRow = 0;
  // Sizes are computed in 64 bits: a size that cannot be held is a failed
  // bitmap creation, never a wrapped allocation.
  const std::int64_t bpr = BytesPerRowFor(BitCount(), width);
  const std::int64_t size = bpr * std::int64_t(height);
  if (std::uint64_t(width) * std::uint64_t(height) > PGSettings().MaxImagePixels)
    RaisePG<EPGInvalidSize>(msgInvalidSizeOf, "image");
  if (size > 0xFFFFFFFFll || bpr > 0xFFFFFFFFll)
    RaisePG<EPixelGraphic>(msgFailed, "CreateDIBSection");
  FBytesPerRow = std::uint32_t(bpr);
  if (size > 0) {
    const int n = ColorTableSize();
    if (n < PaletteCount()) SetPaletteCount(n);
    if (format == pgpf24Bit) FPaletteIdent = pTrueColor;
    if (FRowsInBands) {
      FRing = std::make_unique<TPGRowRing>(height, std::size_t(bpr));
      FRowsIn = FRing.get();
    } else {
      FBits.reset(static_cast<std::uint8_t*>(std::calloc(std::size_t(size), 1)));
    }
    if (!FBits && !FRowsIn) {
      FBytesPerRow = 0;
      RaisePG<EPixelGraphic>(msgFailed, "CreateDIBSection");
    }
    FImageSize = std::uint32_t(size);
    BuildBitmapInfo(n);
  }
  Changed();
}

void TPixelGraphic::SetWidth(int value) {
  if (value != FWidth) SetSizeAndFormat(value, FHeight, FPixelFormat);
}

void TPixelGraphic::SetHeight(int value) {
  if (value != FHeight) SetSizeAndFormat(FWidth, value, FPixelFormat);
}

void TPixelGraphic::SetPixelFormat(TPGPixelFormat value) {
  if (value != FPixelFormat) SetSizeAndFormat(FWidth, FHeight, value);
}

void TPixelGraphic::ClearPixels() {
  if (BackgroundValue == 0 && !ShowsRowsOfAnother()) {
    if (!FRowsIn) std::memset(FBits.get(), 0, FImageSize);
    for (int y = 0; FRowsIn && y < FHeight; ++y) std::memset(RowAt(y), 0, FBytesPerRow);
    return;
  }
  if (FPixelFormat == pgpf8Bit && !ShowsRowsOfAnother()) {
    for (int y = 0; y < FHeight; ++y)
      std::memset(ScanLine(y), int(BackgroundValue & 0xFF), std::size_t(FWidth));
    return;
  }
  for (int y = 0; y < FHeight; ++y)
    for (int x = 0; x < FWidth; ++x) SetPixel(x, y, BackgroundValue);
}

void TPixelGraphic::Clear() {
  if (Empty() || FWidth == 0 || FHeight == 0) return;
  FlushPending();
  ClearPixels();
  Changed();
}

// ---------------------------------------------------------------- pixels

std::uint8_t* TPixelGraphic::ScanLine(int y) {
  FlushPending();
  if (Empty()) return nullptr;
  if (FRowGate) FRowGate->WaitForRow(y);
  return RowAt(y);
}

std::uint8_t* TPixelGraphic::Bits() {
  FlushPending();
  return FBits.get();
}

std::uint32_t TPixelGraphic::GetPixel(int x, int y) {
  FlushPending();
  if (x < 0 || y < 0 || x >= FWidth || y >= FHeight || Empty()) {
    if (RaiseOnOutOfRange) RaisePG<EPGXYIndexOutOfRange>(msgXYIndexOutOfRange);
    return BackgroundValue;
  }
  const std::uint8_t* row = RowAt(y);
  switch (FPixelFormat) {
    case pgpf1Bit: return (row[x >> 3] >> (7 - (x & 7))) & 1;
    case pgpf4Bit: return (x & 1) ? row[x >> 1] & 0x0F : row[x >> 1] >> 4;
    case pgpf8Bit: return row[x];
    default: {
      const std::uint8_t* p = row + 3 * std::size_t(x);
      return RGBColor(p[2], p[1], p[0]);
    }
  }
}

void TPixelGraphic::SetPixel(int x, int y, std::uint32_t value) {
  FlushPending();
  if (x < 0 || y < 0 || x >= FWidth || y >= FHeight || Empty()) {
    if (RaiseOnOutOfRange) RaisePG<EPGXYIndexOutOfRange>(msgXYIndexOutOfRange);
    return;
  }
  std::uint8_t* row = RowAt(y);
  switch (FPixelFormat) {
    case pgpf1Bit: {
      const std::uint8_t mask = std::uint8_t(0x80 >> (x & 7));
      row[x >> 3] = value == 1 ? row[x >> 3] | mask : row[x >> 3] & ~mask;
      break;
    }
    case pgpf4Bit: {
      std::uint8_t& b = row[x >> 1];
      b = (x & 1) ? std::uint8_t((b & 0xF0) | (value & 0x0F))
                  : std::uint8_t((b & 0x0F) | ((value & 0x0F) << 4));
      break;
    }
    case pgpf8Bit: row[x] = std::uint8_t(value); break;
    default: {
      std::uint8_t* p = row + 3 * std::size_t(x);
      p[0] = std::uint8_t(GetBValue(value));
      p[1] = std::uint8_t(GetGValue(value));
      p[2] = std::uint8_t(GetRValue(value));
    }
  }
}

TRGB TPixelGraphic::GetPixelColor(int x, int y) {
  if (FPixelFormat == pgpf24Bit) return GetPixel(x, y);
  return GetPaletteEntry(int(GetPixel(x, y)));
}

void TPixelGraphic::SetPixelColor(int x, int y, TRGB color) {
  if (FPixelFormat == pgpf24Bit)
    SetPixel(x, y, color);
  else
    SetPixel(x, y, ColorToIndex(color));
}

TRGB TPixelGraphic::BackGroundColor() {
  if (FPixelFormat == pgpf24Bit) return BackgroundValue;
  return GetPaletteEntry(int(BackgroundValue));
}

void TPixelGraphic::SetBackGroundColor(TRGB color) {
  BackgroundValue = FPixelFormat == pgpf24Bit ? color : ColorToIndex(color);
}

// ---------------------------------------------------------------- palette

void TPixelGraphic::SetPaletteCount(int n) {
  if (n < 0) n = 0;
  if (n != PaletteCount()) {
    FlushPending();
    ReleaseCanvasPainter();
    FPaletteEntries.resize(std::size_t(n), 0);
    FPaletteIdent = n > 0 ? pUnknown : pNone;
    FMatcher.ForgetLastResult();
    if (!FBitmapInfo.empty()) PutLE32(FBitmapInfo.data() + 32, std::uint32_t(n));
  }
  InvalidateColorCache();
}

TRGB TPixelGraphic::GetPaletteEntry(int i) const {
  if (FPaletteIdent == pTrueColor) return TRGB(i);
  if (i < 0 || i >= PaletteCount()) RaisePG<EPGInvalidPaletteIndex>(msgInvalidPaletteIndex);
  return FPaletteEntries[std::size_t(i)];
}

void TPixelGraphic::SetPaletteEntry(int i, TRGB color) {
  if (FPaletteIdent == pNone || FPaletteIdent == pTrueColor) RaisePG<EPGNoPalette>(msgNoPalette);
  if (i < 0 || i >= PaletteCount()) RaisePG<EPGInvalidPaletteIndex>(msgInvalidPaletteIndex);
  ReleaseCanvasPainter();
  const int tableSlots = FBitmapInfo.empty() ? 0 : ColorTableSize();
  if (i < tableSlots) WriteColorTableSlot(i, color);
  FPaletteEntries[std::size_t(i)] = color;
  FPaletteIdent = pUnknown;
  FMatcher.ForgetLastResult();
  InvalidateColorCache();
}

static bool PaletteEquals(const std::vector<TRGB>& entries, TPaletteIdent ident) {
  return entries == StandardPalette(ident);
}

void TPixelGraphic::ClassifyPalette() {
  FIsGrayPalette = FPixelFormat != pgpf24Bit &&
                   std::all_of(FPaletteEntries.begin(), FPaletteEntries.end(), [](TRGB c) {
                     return GetRValue(c) == GetGValue(c) && GetGValue(c) == GetBValue(c);
                   });
  static constexpr TPaletteIdent order[] = {pBlackWhite, pGray4,      pSysGray4,   pGray16,
                                            pGray236,    pGray256,    pSys16,      pSpecial216,
                                            pSpecial125, pSpecial252};
  for (TPaletteIdent ident : order) {
    if (PaletteEquals(FPaletteEntries, ident)) {
      FPaletteIdent = ident;
      return;
    }
  }
  if (FPaletteEntries.empty())
    FPaletteIdent = FPixelFormat == pgpf24Bit ? pTrueColor : pNone;
  else
    FPaletteIdent = pUnknown;
}

// ---------------------------------------------------------------- notification

void TPixelGraphic::BeginUpdate() { ++FUpdateCount; }

void TPixelGraphic::EndUpdate() {
  --FUpdateCount;
  Changed();
}

void TPixelGraphic::Changed() {
  if (FUpdateCount == 0 && OnImageChange) OnImageChange(this);
}

void TPixelGraphic::DoProgressStart() {
  if (OnProgressStart) OnProgressStart(this);
}

bool TPixelGraphic::DoProgress(int step, int max) {
  bool abort = false;
  if (OnProgress) OnProgress(this, step, max, abort);
  return abort;
}

void TPixelGraphic::DoProgressEnd() {
  if (OnProgressEnd) OnProgressEnd(this);
}

void TPixelGraphic::DoRowsDone(int top, int count) {
  if (OnRowsDone) OnRowsDone(this, top, count);
}

// ---------------------------------------------------------------- windows

void TPixelGraphic::ShowRowsOf(TPixelGraphic& source, int left, int top, int width, int height,
                               TPGRowGate* gate) {
  source.FlushPending();
  const bool inside = left >= 0 && top >= 0 && width >= 0 && height >= 0 &&
                      std::int64_t(left) + width <= source.FWidth &&
                      std::int64_t(top) + height <= source.FHeight;
  const std::int64_t bitOffset = std::int64_t(left) * source.BitCount();
  if (!inside || bitOffset % 8 != 0 || (width > 0 && height > 0 && source.Empty()))
    RaisePG<EPGInvalidSize>(msgInvalidSizeOf, "window");
  // The size limit holds for every image, whether it owns its pixels or not.
  if (std::uint64_t(width) * std::uint64_t(height) > PGSettings().MaxImagePixels)
    RaisePG<EPGInvalidSize>(msgInvalidSizeOf, "image");
  FlushPending();
  ReleaseCanvasPainter();
  FreeBitmap();
  FWidth = width;
  FHeight = height;
  FPixelFormat = source.FPixelFormat;
  FPaletteEntries = source.FPaletteEntries;
  FPaletteIdent = source.FPaletteIdent;
  ColorProfile = source.ColorProfile;
  FMatcher.ForgetLastResult();
  InvalidateColorCache();
  FImageSize = 0;
  FBytesPerRow = 0;
  if (width > 0 && height > 0) {
    FBytesPerRow = source.FBytesPerRow;
    FImageSize = std::uint32_t(BytesPerRowFor(BitCount(), width) * height);
    FBits.get_deleter().Owned = false;
    if (source.FRowsIn) {
      FRowsIn = source.FRowsIn;
      FRingTop = source.FRingTop + top;
      FRingByte = source.FRingByte + std::size_t(bitOffset / 8);
    } else {
      FBits.reset(source.FBits.get() + std::size_t(source.FHeight - top - height) * source.FBytesPerRow +
                  std::size_t(bitOffset / 8));
    }
    FRowGate = gate;
    BuildBitmapInfo(ColorTableSize());
    if (source.FAlpha) {
      FAlpha.get_deleter().Owned = false;
      FAlpha.reset(source.FAlpha.get() + std::size_t(top) * source.FAlphaStride + std::size_t(left));
      FAlphaStride = source.FAlphaStride;
    }
  }
  Changed();
}

// ---------------------------------------------------------------- CopyRect

namespace {
// Fires OnProgressEnd and frees the diffusion memory on every exit path.
struct TCopyFrame {
  TPixelGraphic& G;
  explicit TCopyFrame(TPixelGraphic& g) : G(g) { G.DoProgressStart(); }
  ~TCopyFrame() {
    G.DoProgressEnd();
    G.FreeDither();
  }
};
}  // namespace

void TPixelGraphic::CopyRect(int destX, int destY, TPixelGraphic& source, int srcX, int srcY,
                             int width, int height) {
  FlushPending();
  source.FlushPending();
  if (FWidth <= 0 || FHeight <= 0 || source.FWidth <= 0 || source.FHeight <= 0) return;
  const int firstRow = std::max(destY, 0);
  const int lastRow = int(std::min<std::int64_t>(std::int64_t(destY) + height - 1, FHeight - 1));
  // Columns valid in both images.
  const std::int64_t lo = std::max<std::int64_t>({destX, 0, std::int64_t(destX) - srcX});
  const std::int64_t hi = std::min<std::int64_t>(
      {std::int64_t(destX) + width - 1, FWidth - 1, std::int64_t(source.FWidth) - 1 + destX - srcX});
  if (lo <= hi && !Empty() && !source.Empty()) {
    CopyRectRows(destX, destY, source, srcX, srcY, firstRow, lastRow, int(lo), int(hi));
    CopyAlphaRect(destX, destY, source, srcX, srcY, firstRow, lastRow, int(lo), int(hi));
  }
  Changed();
}

// An image with a plane takes the source's alpha with its pixels; pixels
// of a source without one are opaque.
void TPixelGraphic::CopyAlphaRect(int destX, int destY, TPixelGraphic& source, int srcX, int srcY, int firstRow,
                                  int lastRow, int firstCol, int lastCol) {
  if (!FAlpha) return;
  const std::size_t count = std::size_t(lastCol - firstCol + 1);
  for (int y = firstRow; y <= lastRow; ++y) {
    const std::int64_t sy = std::int64_t(y) - destY + srcY;
    if (sy < 0 || sy >= source.FHeight) continue;
    std::uint8_t* to = AlphaLine(y) + firstCol;
    if (source.FAlpha)
      std::memcpy(to, source.AlphaLine(int(sy)) + (firstCol - destX + srcX), count);
    else
      std::memset(to, 0xFF, count);
  }
}

void TPixelGraphic::CopyRectRows(int destX, int destY, TPixelGraphic& source, int srcX, int srcY,
                                 int firstRow, int lastRow, int firstCol, int lastCol) {
  const bool dithering = Dither && FPixelFormat != pgpf24Bit;
  if (dithering)
    PrepareDither();
  else
    FreeDither();
  TCopyFrame frame(*this);
  const bool fast = FPixelFormat == pgpf24Bit && source.FPixelFormat == pgpf24Bit;
  for (int y = firstRow; y <= lastRow; ++y) {
    const std::int64_t sy = std::int64_t(y) - destY + srcY;
    if (sy < 0 || sy >= source.FHeight) continue;
    if (fast) {
      std::memcpy(ScanLine(y) + 3 * std::size_t(firstCol),
                  source.ScanLine(int(sy)) + 3 * std::size_t(firstCol - destX + srcX),
                  3 * std::size_t(lastCol - firstCol + 1));
      continue;
    }
    if (dithering) NextDitherRow();
    const bool even = (y & 1) == 0;
    const std::uint8_t* srcRow = source.ScanLine(int(sy));
    for (int i = 0; i <= lastCol - firstCol; ++i) {
      const int x = even ? firstCol + i : lastCol - i;
      const int sx = x - destX + srcX;
      TRGB c;
      if (source.FPixelFormat == pgpf24Bit) {
        const std::uint8_t* p = srcRow + 3 * std::size_t(sx);
        c = RGBColor(p[2], p[1], p[0]);
      } else {
        c = source.GetPixelColor(sx, int(sy));
      }
      if (FPixelFormat == pgpf24Bit)
        SetPixel(x, y, c);
      else if (dithering)
        PutDithered(x, y, int(GetRValue(c)), int(GetGValue(c)), int(GetBValue(c)));
      else
        SetPixelColor(x, y, c);
    }
    if (OnProgress && DoProgress(y - firstRow, lastRow - firstRow)) break;
  }
}
