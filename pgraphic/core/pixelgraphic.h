#pragma once
// TPixelGraphic: the library's raster image of 1, 4, 8 or 24 bits per pixel,
// stored as a bottom-up device-independent bitmap.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "pgraphic/core/colormatch.h"
#include "pgraphic/core/colorprofile.h"
#include "pgraphic/core/dither.h"
#include "pgraphic/core/errors.h"
#include "pgraphic/core/rowring.h"
#include "pgraphic/core/types.h"

class TStream;
class TPGFilter;
class TPixelGraphic;

struct TRect {
  int Left = 0, Top = 0, Right = 0, Bottom = 0;
};

// A drawing surface: an image's own (see Canvas) or a window's during its
// paint. The concrete surfaces come from the platform layer (core/canvas.h);
// the core only needs to flush them, end their painter and stretch
// an image onto them.
class TPGCanvas {
 public:
  virtual ~TPGCanvas() = default;
  // Completes batched drawing so the pixel memory is current.
  virtual void Flush() = 0;
  // Ends the painter; the next drawing call opens a new one.
  virtual void ReleasePainter() = 0;
  // Paints the whole of `image` scaled into `rect` (nearest neighbour). A rect
  // with Right < Left or Bottom < Top mirrors that axis.
  virtual void StretchDraw(TPixelGraphic& image, const TRect& rect) = 0;
};

constexpr int BitmapInfoHeaderSize = 40;

// Raises EPGInvalidBitCountNum unless bitCount is 1, 4, 8 or 24.
TPGPixelFormat PixelFormatFromBitCount(int bitCount);
int BitCountOf(TPGPixelFormat format);
int ColorTableSizeOf(TPGPixelFormat format);
// ((bitCount * width + 31) div 32) * 4, in 64 bits.
std::int64_t BytesPerRowFor(int bitCount, std::int64_t width);
// Copies the first `bits` bits of a row to `to` and clears the rest of its
// rowBytes bytes: a window's row as a copy or a file of its own holds it,
// without the neighbours' pixels that share its bytes in the source.
void PGPackRow(const std::uint8_t* from, std::uint8_t* to, std::size_t bits, std::size_t rowBytes);

// The 16 system colours in their standard order.
extern const TRGB Sys16Colors[16];
// The rows of an image that another thread is still filling.
class TPGRowGate {
 public:
  virtual ~TPGRowGate() = default;
  // Returns once row y (counted from the top) is final; raises when it never
  // will be (the filling failed or was given up).
  virtual void WaitForRow(int y) = 0;
};

// Greys and the fixed palettes used by SetPaletteIdent and ClassifyPalette
// (empty for the other kinds).
const std::vector<TRGB>& StandardPalette(TPaletteIdent ident);

class TPixelGraphic {
 public:
  TPixelGraphic();
  virtual ~TPixelGraphic();
  TPixelGraphic(const TPixelGraphic&) = delete;
  TPixelGraphic& operator=(const TPixelGraphic&) = delete;

  // ---- creation and copies
  void Assign(const TPixelGraphic* source);
  void CopyPalette(const TPixelGraphic& source);

  // ---- size and depth
  void SetSizeAndFormat(int width, int height, TPGPixelFormat format);
  int Width() const { return FWidth; }
  int Height() const { return FHeight; }
  void SetWidth(int value);
  void SetHeight(int value);
  TPGPixelFormat PixelFormat() const { return FPixelFormat; }
  void SetPixelFormat(TPGPixelFormat value);
  int BitCount() const { return BitCountOf(FPixelFormat); }
  int ColorTableSize() const { return ColorTableSizeOf(FPixelFormat); }
  bool Empty() const { return !FBits && !FRowsIn; }
  std::uint32_t ImageSize() const { return FImageSize; }
  std::uint32_t BytesPerRow() const { return FBytesPerRow; }
  void Clear();

  // ---- pixels
  std::uint32_t GetPixel(int x, int y);
  void SetPixel(int x, int y, std::uint32_t value);
  TRGB GetPixelColor(int x, int y);
  void SetPixelColor(int x, int y, TRGB color);
  std::uint8_t* ScanLine(int y);
  // The pixel memory as one block; null where the rows live in bands.
  std::uint8_t* Bits();
  // Every size this image takes from now on keeps its rows in bands
  // (rowring.h) rather than in one block, until told otherwise. Rows are
  // then reached through ScanLine only. Loading through the registry asks
  // it of the readers that fill rows that way, for that load alone.
  void SetRowsInBands(bool value) { FRowsInBands = value; }
  bool RowsInBands() const { return FRowsInBands; }
  // The bands this image's rows live in (a window's are its source's), or null.
  TPGRowRing* RowRing() const { return FRowsIn; }
  TRGB BackGroundColor();
  void SetBackGroundColor(TRGB color);
  std::uint32_t BackgroundValue = 0;

  // ---- transparency: an optional plane of 8-bit alpha beside the pixels
  // (0 transparent, 255 opaque), one byte a pixel, rows from the top. The
  // pixels keep their own colours under it, so everything that works on
  // pixels alone works as before; only what shows or writes an image needs
  // to look at the plane. A new size or depth drops it.
  bool HasAlpha() const { return FAlpha != nullptr; }
  // Gives the image a plane, all opaque (nothing when it has one).
  void AddAlpha();
  void DropAlpha();
  // Row y (from the top) of the plane, null without one; waits for the row
  // as ScanLine does.
  std::uint8_t* AlphaLine(int y);

  // The 40-byte information header followed by the colour table; empty without pixels.
  const std::vector<std::uint8_t>& BitmapInfo() const { return FBitmapInfo; }

  // ---- palette
  int PaletteCount() const { return static_cast<int>(FPaletteEntries.size()); }
  virtual void SetPaletteCount(int n);
  TRGB GetPaletteEntry(int i) const;
  virtual void SetPaletteEntry(int i, TRGB color);
  TPaletteIdent PaletteIdent() const { return FPaletteIdent; }
  virtual void SetPaletteIdent(TPaletteIdent ident);
  const std::vector<TRGB>& PaletteEntries() const { return FPaletteEntries; }
  bool IsGrayPalette() const { return FIsGrayPalette; }
  void ClassifyPalette();
  // Colour matching is the matcher's (colormatch.h); these hand it the palette.
  virtual std::uint32_t ColorToIndex(TRGB color) {
    return FMatcher.Index(color, FPaletteEntries, FPaletteIdent);
  }
  virtual void InvalidateColorCache() { FMatcher.InvalidateCache(); }
  bool UseColorCache() const { return FMatcher.UseCache(); }
  virtual void SetUseColorCache(bool value) {
    if (FMatcher.SetUseCache(value)) Changed();
  }
  bool RGBWeighting() const { return FMatcher.RGBWeighting(); }
  virtual void SetRGBWeighting(bool value) { FMatcher.SetRGBWeighting(value); }
  // Grey value 0..765 of a colour, by RGBWeighting.
  int GreyValue(TRGB color) const { return FMatcher.GreyValue(color); }

  // ---- error diffusion (used while writing colours into a palette image;
  // the work is TPGErrorDiffusion's, held from PrepareDither to FreeDither)
  bool Dither = true;
  std::uint8_t DitherErrorLimit = 32;
  bool DitherErrorLimitAuto = true;
  bool DitherErrorLimitSoft = true;
  void PrepareDither();
  void NextDitherRow();
  void PutDithered(int x, int y, int r, int g, int b);
  void FreeDither();

  // ---- change notification and progress
  void BeginUpdate();
  void EndUpdate();
  void Changed();
  TNotifyEvent OnImageChange;
  TPGProgressEvent OnProgress;
  TNotifyEvent OnProgressEnd;
  TNotifyEvent OnProgressStart;
  void DoProgressStart();
  // Calls OnProgress when assigned; returns true when the handler asked to abort.
  bool DoProgress(int step, int max);
  void DoProgressEnd();
  // Told by readers that fill the image band by band, after each band. By
  // the first call size, depth and palette are final. A handler may hand
  // the rows told to other threads at once: the reader writes no byte of
  // them again and goes on with the others meanwhile. Loading through the
  // registry calls the handler on a helper thread, band after band, once
  // the band's gamma step is done.
  TPGRowsEvent OnRowsDone;
  void DoRowsDone(int top, int count);

  // ---- other properties
  bool PreviewLoad = false;
  long double FileGamma;
  // The profile the pixels are meant in, when loading kept the one the file
  // carried (null: sRGB, the web's). Writers that can hold it embed it.
  TPGColorProfileRef ColorProfile;
  TStretchMode StretchMode = smPrecise;
  TPGWarningAction ReadWarningAction = pgwaOKCancelBox;
  bool RaiseOnOutOfRange = false;
  TPGWarningAction SaveColorResWarningAction = pgwaOKCancelBox;

  // ---- drawing (the surface is provided by the platform layer)
  // The image's own drawing surface, created on first use; null when no
  // surface factory is installed (headless programs).
  TPGCanvas* Canvas();
  void Draw(TPGCanvas& canvas, const TRect& rect);
  // Completes batched drawing before direct pixel access. With nothing
  // pending it only reads, so once the owner has flushed an image, threads
  // that read it may call it at the same time.
  void FlushPending();

  // ---- files and streams: the format registry's work. The core cannot
  // reach the registry, so these are defined beside it, each handing its
  // call on (pgraphic/formats/imagefiles.cpp); the image's own persistence
  // and the clipboard are free functions there.
  void LoadFromFile(const std::string& fileName);
  void LoadFromStream(TStream& stream);
  void LoadFromStreamExt(TStream& stream, const std::string& extension, int index);
  void SaveToFile(const std::string& fileName);
  virtual void SaveToStreamExt(TStream& stream, const std::string& extension);
  // Always BMP.
  void SaveToStream(TStream& stream);

  // ---- windows on another image's rows
  // Makes this image show the width x height rectangle at (left, top) of
  // source, in source's depth, palette and colour profile, without copying: its rows are
  // source's rows, so source must keep its pixel memory unchanged in size
  // while this image shows them. With a gate, ScanLine waits for each row
  // until the gate lets it through. A size of its own (SetSizeAndFormat)
  // ends the window. For depths below 8 bits, left must fall on a byte.
  void ShowRowsOf(TPixelGraphic& source, int left, int top, int width, int height,
                  TPGRowGate* gate = nullptr);
  bool ShowsRowsOfAnother() const { return !FBits.get_deleter().Owned; }

  // ---- copying
  void CopyRect(int destX, int destY, TPixelGraphic& source, int srcX, int srcY, int width,
                int height);
  void StretchCopy(int destX, int destY, int destWidth, int destHeight, TPixelGraphic& source,
                   int srcX, int srcY, int srcWidth, int srcHeight);
  void CopyFrom(TPixelGraphic& source);
  void ApplyFilter(TPGFilter& filter, TPixelGraphic& source);

 private:
  friend class TPixelGraphicTestAccess;
  void ReleaseCanvasPainter();
  void FreeBitmap();
  void BuildBitmapInfo(int tableSize);
  void WriteColorTableSlot(int i, TRGB color);
  void ClearPixels();
  // Row y (from the top) wherever it lives, without waiting at a gate.
  std::uint8_t* RowAt(int y) const {
    if (FRowsIn) return FRowsIn->Row(FRingTop + y) + FRingByte;
    return FBits.get() + std::size_t(FHeight - 1 - y) * FBytesPerRow;
  }
  void CopyPixelsOf(const TPixelGraphic& source);
  void CopyAlphaOf(TPixelGraphic& source);
  void CopyAlphaRect(int destX, int destY, TPixelGraphic& source, int srcX, int srcY, int firstRow, int lastRow,
                     int firstCol, int lastCol);
  void CopyRectRows(int destX, int destY, TPixelGraphic& source, int srcX, int srcY, int firstRow,
                    int lastRow, int firstCol, int lastCol);

  int FWidth = 0;
  int FHeight = 0;
  TPGPixelFormat FPixelFormat = pgpf24Bit;
  struct TFreeDeleter {
    TFreeDeleter() noexcept : Owned(true) {}
    bool Owned;  // false while the memory is another image's (ShowRowsOf)
    void operator()(std::uint8_t* p) const noexcept;
  };
  // Zeroed pixel memory straight from the allocator (no separate clearing pass).
  std::unique_ptr<std::uint8_t, TFreeDeleter> FBits;
  TPGRowGate* FRowGate = nullptr;
  std::unique_ptr<std::uint8_t, TFreeDeleter> FAlpha;
  std::size_t FAlphaStride = 0;  // bytes from one row of the plane to the next
  // Rows in bands: the image's own ring, or the source's for a window on
  // one (FRingTop and FRingByte place the window in it).
  std::unique_ptr<TPGRowRing> FRing;
  TPGRowRing* FRowsIn = nullptr;
  int FRingTop = 0;
  std::size_t FRingByte = 0;
  bool FRowsInBands = false;
  std::vector<std::uint8_t> FBitmapInfo;
  std::unique_ptr<TPGCanvas> FCanvas;
  bool FDrawingPending = false;
  std::uint32_t FImageSize = 0;
  std::uint32_t FBytesPerRow = 0;
  bool FIsGrayPalette = false;
  std::vector<TRGB> FPaletteEntries;
  TPaletteIdent FPaletteIdent = pTrueColor;
  int FUpdateCount = 0;
  TPGColorMatcher FMatcher;

  std::unique_ptr<TPGErrorDiffusion> FDiffusion;
};

// Restores an update bracket on every exit path.
class TPGUpdateGuard {
 public:
  explicit TPGUpdateGuard(TPixelGraphic& g) : G(g) { G.BeginUpdate(); }
  ~TPGUpdateGuard() { G.EndUpdate(); }
  TPGUpdateGuard(const TPGUpdateGuard&) = delete;
  TPGUpdateGuard& operator=(const TPGUpdateGuard&) = delete;

 private:
  TPixelGraphic& G;
};

// Frees the diffusion work memory on every exit path.
class TPGDitherGuard {
 public:
  explicit TPGDitherGuard(TPixelGraphic& g) : G(g) {}
  ~TPGDitherGuard() { G.FreeDither(); }
  TPGDitherGuard(const TPGDitherGuard&) = delete;
  TPGDitherGuard& operator=(const TPGDitherGuard&) = delete;

 private:
  TPixelGraphic& G;
};

