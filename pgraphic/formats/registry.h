#pragma once
// The process-wide registry of file format readers and writers, and the
// load and save pipelines that run through it.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "pgraphic/core/pixelgraphic.h"
#include "pgraphic/core/settings.h"
#include "pgraphic/core/stream.h"

enum TColorResolution : std::uint8_t {
  crBlackWhite = 0,
  cr2Colors,
  cr16Grays,
  cr16SysColors,
  cr16Colors,
  cr256Grays,
  cr256Colors,
  crTrueColor,
};
constexpr int ColorResolutionCount = 8;

// A set of colour resolutions: bit n stands for value n.
using TColorResolutions = std::uint8_t;
constexpr TColorResolutions CrBit(TColorResolution r) { return TColorResolutions(1u << r); }

// Display name of a resolution (message-table entries 8 to 15).
std::string ColorResolutionName(TColorResolution r);
// The current resolution of an image from its depth and classified palette.
TColorResolution ImageColorResolution(const TPixelGraphic& image);

struct TFileInfo {
  int ImageCount = 1;
  int BitsPerPixel = 0;
  std::string ColorCountText;
  int Height = 0;
  int Width = 0;
  std::string ExtraText;
  std::string SubformatText;
  // The file's colour profile ("ICC profile: " and its description, or
  // what is wrong with it); empty when it has none.
  std::string ColorProfileText;
  // The pixels have alpha (a channel of it, or a transparent colour).
  bool Alpha = false;
};

class TFileFormatReaderWriter {
 public:
  virtual ~TFileFormatReaderWriter() = default;
  bool Listed = true;
  std::string Extension;    // lower case, without the dot
  std::string Description;  // human-readable format name
  // Several threads may use the entry at once: each call keeps what it
  // knows of its file to itself.
  bool SafeOnThreads = false;
  // Class name, used in messages such as "<class>.CanWriteResolutions".
  virtual const char* ClassName() const = 0;
};

// When a reader's rows become final, told through the image's OnRowsDone.
enum TRowDelivery : std::uint8_t {
  rdAtEnd,     // only once the whole image is read
  rdTopDown,   // as it decodes them, from the top down
  rdAsStored,  // as it decodes them, from the top or from the bottom, as the file stores them
};

class TFileFormatReader : public TFileFormatReaderWriter {
 public:
  static constexpr int SignatureSize = 17;
  bool HasSignature = false;
  // What the reader does where the file allows it; a file that does not
  // (an interlaced one, for one) has its rows final at the end.
  TRowDelivery RowDelivery = rdAtEnd;
  // Fills the image row by row through ScanLine, never its memory as one
  // block: the rows may live in bands (TPixelGraphic::SetRowsInBands).
  bool FillsRowsOneByOne = false;
  // header: the first bytes of the data (headerSize <= SignatureSize are valid).
  virtual bool CheckSignature(const std::uint8_t* header, int headerSize);
  // Decodes image number index from the stream's position into image.
  virtual void ReadImage(TStream& stream, TPixelGraphic& image, int index);
  // Fills info without decoding pixels. Overrides call the base first.
  virtual void ReadInfo(TStream& stream, int index, TFileInfo& info);
};

class TFileFormatWriter : public TFileFormatReaderWriter {
 public:
  bool MultiImage = false;
  TColorResolutions CanWriteResolutions = 0;
  // Writes the rows from the top down, asking the image for each one
  // (ScanLine) only when it comes to it: an image still being read can be
  // written as its rows come.
  bool TakesRowsTopDown = false;
  // Writes an image of 256 greys as a grey file, which looks the same as
  // colour and takes fewer bytes.
  bool WritesGrey = false;
  // Embeds the image's colour profile. Under ColorProfile keep an image
  // with a profile goes to any other writer converted to sRGB: pixels kept
  // in the profile's space without it would show wrong everywhere.
  bool EmbedsProfile = false;
  // Keeps an image's alpha plane; the save lays the image on PageColor
  // for the others.
  bool WritesAlpha = false;
  virtual void Write(TStream& stream, TPixelGraphic& image);
  virtual void BeginFile(TStream& stream);
  virtual void AppendImage(TStream& stream, TPixelGraphic& image);
  virtual void EndFile(TStream& stream);
};

using TReaderList = std::vector<std::unique_ptr<TFileFormatReader>>;
using TWriterList = std::vector<std::unique_ptr<TFileFormatWriter>>;

// The registry lists, created on first use and kept in extension order.
TReaderList& FileFormatReaders();
TWriterList& FileFormatWriters();
TFileFormatWriter& DefaultWriter();

// Sorts by lower-cased extension when any two neighbours are out of order.
void SortRegistry(TReaderList& list);
void SortRegistry(TWriterList& list);

TFileFormatReader* FindReader(TStream& stream, std::string extension);
TFileFormatWriter& FindWriter(std::string extension);

bool GetFileInfo(TStream& stream, const std::string& extension, int index, TFileInfo& info,
                 std::string& description);
bool GetFileInfo(const std::string& fileName, int index, TFileInfo& info,
                 std::string& description);

// The facts of a file as lines of text: the format's description, the
// sub-format, the extra text and the colour profile (each when not empty),
// then the size line
// "W x H x colours bits bit", followed by ", " and the count of images when
// the file holds more than one.
std::vector<std::string> FileInfoLines(const TFileInfo& info, const std::string& description);

std::string BuildOpenFilter();
int ListedReaderCount();
// Lower-cased extension of the n-th listed reader, n counted from 2.
std::string ListedReaderExtension(int n);

// Lower-cased extension of a file name, without the dot ("" when none).
std::string FileExtensionOf(const std::string& fileName);

// Preferred save targets per current resolution (row), most preferred first.
extern const TColorResolution ResolutionFallback[ColorResolutionCount][ColorResolutionCount];
// The first resolution of row cur that the writer can store; raises
// EPGCanWriteResolutionsEmpty when it can store none.
TColorResolution SaveTargetResolution(const TFileFormatWriter& writer, TColorResolution cur);

// The load pipeline: finds the reader, decodes image index, converts the
// colours (colour profile and gamma, loadstep.h) and classifies the palette,
// all inside one update bracket of image.
void LoadImageThroughRegistry(TPixelGraphic& image, TStream& stream, const std::string& extension,
                              int index);
// The save pipeline: picks the writer by extension, converts a temporary copy
// when the writer cannot hold the image's resolution (after the warning
// policy) or its transparency (laid on PageColor), and writes at the
// stream's position. The image is not changed.
void SaveImageThroughRegistry(TPixelGraphic& image, TStream& stream, std::string extension);

// Registration tables (registry_table.cpp).
void RegisterReaders(TReaderList& readers);
void RegisterWriters(TWriterList& writers);
std::unique_ptr<TFileFormatWriter> MakeDefaultWriter();
