#include "pgraphic/formats/registry.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <utility>

#include "pgraphic/core/alpha.h"
#include "pgraphic/core/errors.h"
#include "pgraphic/core/messages.h"
#include "pgraphic/core/optpalette.h"
#include "pgraphic/core/uihooks.h"
#include "pgraphic/formats/loadstep.h"
#include "pgraphic/formats/rowrelay.h"

// ---------------------------------------------------------------- base classes

bool TFileFormatReader::CheckSignature(const std::uint8_t*, int) { return false; }
void TFileFormatReader::ReadImage(TStream&, TPixelGraphic&, int) {}
void TFileFormatReader::ReadInfo(TStream&, int, TFileInfo& info) { info = TFileInfo{}; }

void TFileFormatWriter::Write(TStream&, TPixelGraphic&) {}
void TFileFormatWriter::BeginFile(TStream&) {}
void TFileFormatWriter::AppendImage(TStream&, TPixelGraphic&) {}
void TFileFormatWriter::EndFile(TStream&) {}

// ---------------------------------------------------------------- helpers

namespace {

std::string Lower(std::string s) {
  for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::string Upper(std::string s) {
  for (char& c : s) c = char(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

void DropLeadingDot(std::string& extension) {
  if (!extension.empty() && extension[0] == '.') extension.erase(0, 1);
}

template <class List>
void SortByExtension(List& list) {
  auto less = [](const auto& a, const auto& b) { return Lower(a->Extension) < Lower(b->Extension); };
  if (!std::is_sorted(list.begin(), list.end(), less))
    std::stable_sort(list.begin(), list.end(), less);
}

// Reads up to the signature size at the stream's position and steps back.
int ReadSignatureHeader(TStream& stream, std::uint8_t* header) {
  const std::int64_t pos = stream.Position();
  std::int64_t n = 0;
  try {
    n = stream.Read(header, TFileFormatReader::SignatureSize);
  } catch (...) {
    stream.SetPosition(pos);
    throw;
  }
  stream.SetPosition(pos);
  return int(std::max<std::int64_t>(n, 0));
}

TFileFormatReader* FindReaderUnguarded(TStream& stream, std::string extension) {
  DropLeadingDot(extension);
  std::uint8_t header[TFileFormatReader::SignatureSize] = {};
  const int headerSize = ReadSignatureHeader(stream, header);
  TReaderList& readers = FileFormatReaders();
  SortRegistry(readers);
  for (auto& r : readers)
    if (r->HasSignature && r->CheckSignature(header, headerSize)) return r.get();
  if (extension.empty()) return nullptr;
  const std::string ext = Lower(extension);
  for (auto& r : readers)
    if (!r->HasSignature && Lower(r->Extension) == ext) return r.get();
  return nullptr;
}

}  // namespace

// ---------------------------------------------------------------- colour resolutions

const TColorResolution ResolutionFallback[ColorResolutionCount][ColorResolutionCount] = {
    {crBlackWhite, cr2Colors, cr16Grays, cr16SysColors, cr16Colors, cr256Grays, cr256Colors, crTrueColor},
    {cr2Colors, cr16Colors, cr256Colors, crTrueColor, cr16SysColors, crBlackWhite, cr16Grays, cr256Grays},
    {cr16Grays, cr16Colors, cr256Grays, cr256Colors, crTrueColor, cr16SysColors, crBlackWhite, cr2Colors},
    {cr16SysColors, cr16Colors, cr256Colors, crTrueColor, cr16Grays, cr256Grays, crBlackWhite, cr2Colors},
    {cr16Colors, cr256Colors, crTrueColor, cr16SysColors, cr16Grays, cr256Grays, crBlackWhite, cr2Colors},
    {cr256Grays, cr256Colors, crTrueColor, cr16Grays, cr16Colors, cr16SysColors, crBlackWhite, cr2Colors},
    {cr256Colors, crTrueColor, cr16Colors, cr16SysColors, cr256Grays, cr16Grays, crBlackWhite, cr2Colors},
    {crTrueColor, cr256Colors, cr16Colors, cr16SysColors, cr256Grays, cr16Grays, crBlackWhite, cr2Colors},
};

std::string ColorResolutionName(TColorResolution r) {
  if (int(r) >= ColorResolutionCount) return "";
  return GetLangStr(msgColorResFirst + int(r));
}

TColorResolution ImageColorResolution(const TPixelGraphic& image) {
  const TPaletteIdent ident = image.PaletteIdent();
  switch (image.PixelFormat()) {
    case pgpf1Bit: return ident == pBlackWhite ? crBlackWhite : cr2Colors;
    case pgpf4Bit:
      return ident == pGray16 ? cr16Grays : ident == pSys16 ? cr16SysColors : cr16Colors;
    case pgpf8Bit: return ident == pGray256 ? cr256Grays : cr256Colors;
    default: return crTrueColor;
  }
}

TColorResolution SaveTargetResolution(const TFileFormatWriter& writer, TColorResolution cur) {
  for (TColorResolution target : ResolutionFallback[cur])
    if (writer.CanWriteResolutions & CrBit(target)) return target;
  RaisePG<EPGCanWriteResolutionsEmpty>(msgIsEmpty,
                                       std::string(writer.ClassName()) + ".CanWriteResolutions");
}

// ---------------------------------------------------------------- the lists

// Both lists are sorted as they are created, so that the searches of several
// threads never find a list that needs rearranging.
template <class List>
static List SortedRegistration(void (*registerAll)(List&)) {
  List list;
  registerAll(list);
  SortByExtension(list);
  return list;
}

TReaderList& FileFormatReaders() {
  static TReaderList readers = SortedRegistration(RegisterReaders);
  return readers;
}

TWriterList& FileFormatWriters() {
  static TWriterList writers = SortedRegistration(RegisterWriters);
  return writers;
}

TFileFormatWriter& DefaultWriter() {
  static const std::unique_ptr<TFileFormatWriter> writer = MakeDefaultWriter();
  if (!writer) RaisePG<EPGFileFormatWritersEmpty>(msgIsEmpty, "DefaultWriter");
  return *writer;
}

void SortRegistry(TReaderList& list) { SortByExtension(list); }
void SortRegistry(TWriterList& list) { SortByExtension(list); }

// ---------------------------------------------------------------- searching

TFileFormatReader* FindReader(TStream& stream, std::string extension) {
  try {
    return FindReaderUnguarded(stream, std::move(extension));
  } catch (...) {
    return nullptr;
  }
}

TFileFormatWriter& FindWriter(std::string extension) {
  DropLeadingDot(extension);
  TWriterList& writers = FileFormatWriters();
  SortRegistry(writers);
  if (writers.empty()) RaisePG<EPGFileFormatWritersEmpty>(msgIsEmpty, "FileFormatWriters");
  const std::string ext = Lower(extension);
  for (auto& w : writers)
    if (Lower(w->Extension) == ext) return *w;
  RaisePG<EPGUnknownExtension>(msgUnknownExtension, ext);
}

std::string FileExtensionOf(const std::string& fileName) {
  const std::size_t slash = fileName.find_last_of('/');
  const std::size_t start = slash == std::string::npos ? 0 : slash + 1;
  const std::size_t dot = fileName.find_last_of('.');
  if (dot == std::string::npos || dot < start) return "";
  return Lower(fileName.substr(dot + 1));
}

// ---------------------------------------------------------------- file information

bool GetFileInfo(TStream& stream, const std::string& extension, int index, TFileInfo& info,
                 std::string& description) {
  try {
    TFileFormatReader* reader = FindReader(stream, extension);
    if (!reader) return false;
    description = reader->Description;
    const std::int64_t pos = stream.Position();
    try {
      reader->ReadInfo(stream, index, info);
    } catch (...) {
      stream.SetPosition(pos);
      throw;
    }
    stream.SetPosition(pos);
    return true;
  } catch (...) {
    return false;
  }
}

static bool IsRegularFile(const std::string& fileName) {
  struct stat st {};
  return ::stat(fileName.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool GetFileInfo(const std::string& fileName, int index, TFileInfo& info,
                 std::string& description) {
  if (fileName.empty() || fileName.back() == '/' || !IsRegularFile(fileName)) return false;
  try {
    TFileStream file(fileName, TFileStream::fmOpenRead);
    return GetFileInfo(file, FileExtensionOf(fileName), index, info, description);
  } catch (...) {
    return false;
  }
}

std::vector<std::string> FileInfoLines(const TFileInfo& info, const std::string& description) {
  std::vector<std::string> lines;
  for (const std::string* text : {&description, &info.SubformatText, &info.ExtraText, &info.ColorProfileText})
    if (!text->empty()) lines.push_back(*text);
  std::string size = std::to_string(info.Width) + "x" + std::to_string(info.Height) + "x" +
                     info.ColorCountText + " " + std::to_string(info.BitsPerPixel) + " " +
                     GetLangStr(msgBit);
  if (info.ImageCount > 1) size += ", " + std::to_string(info.ImageCount);
  lines.push_back(size);
  return lines;
}

// ---------------------------------------------------------------- open dialog filter

static std::vector<const TFileFormatReader*> ListedReaders() {
  TReaderList& readers = FileFormatReaders();
  SortRegistry(readers);
  std::vector<const TFileFormatReader*> listed;
  for (auto& r : readers)
    if (r->Listed) listed.push_back(r.get());
  return listed;
}

std::string BuildOpenFilter() {
  const auto listed = ListedReaders();
  std::string filter;
  if (!listed.empty()) {
    std::string patterns, entries;
    for (const TFileFormatReader* r : listed) {
      const std::string ext = Lower(r->Extension);
      patterns += (patterns.empty() ? "*." : "; *.") + ext;
      entries += Upper(r->Extension) + " - " + r->Description + "|*." + ext + "|";
    }
    filter = GetLangStr(msgImageFiles) + "|" + patterns + "|" + entries;
  }
  return filter + GetLangStr(msgAllFiles) + "|*.*";
}

int ListedReaderCount() { return int(ListedReaders().size()); }

std::string ListedReaderExtension(int n) {
  const auto listed = ListedReaders();
  if (n < 2 || n - 2 >= int(listed.size())) return "";
  return Lower(listed[std::size_t(n - 2)]->Extension);
}

// ---------------------------------------------------------------- loading

void LoadImageThroughRegistry(TPixelGraphic& image, TStream& stream, const std::string& extension,
                              int index) {
  TPGUpdateGuard update(image);
  // Rows in bands are asked for one load, and given where the reader can
  // fill them so.
  struct TBandsForThisLoad {
    TPixelGraphic& Image;
    bool Asked;
    ~TBandsForThisLoad() { Image.SetRowsInBands(false); }
  } bands{image, image.RowsInBands()};
  image.SetRowsInBands(false);
  image.SetSizeAndFormat(0, 0, pgpf24Bit);
  image.FileGamma = PGSettings().DisplayGamma;
  image.ColorProfile.reset();
  TFileFormatReader* reader = FindReader(stream, extension);
  if (!reader) RaisePG<EPGUnknownFileFormat>(msgUnknownFileFormat);
  image.SetRowsInBands(bands.Asked && reader->FillsRowsOneByOne);
  TRowRelay relay(image);
  reader->ReadImage(stream, image, index);
  image.SetRowsInBands(false);
  relay.Finish();
  image.ClassifyPalette();
}

// ---------------------------------------------------------------- saving

static void ConfirmResolutionChange(TPGWarningAction action, const TFileFormatWriter& writer,
                                    TColorResolution cur, TColorResolution target) {
  const std::string curName = ColorResolutionName(cur);
  if (action == pgwaIgnore) return;
  if (action == pgwaOKBox || action == pgwaOKCancelBox) {
    const std::string text =
        FormatLangStr3(msgColorResWarning, writer.Description, curName, ColorResolutionName(target));
    const bool ask = action == pgwaOKCancelBox;
    const TPGMsgResult answer = PGWarningBox(text, ask ? TPGMsgButtons::mbOKCancel : TPGMsgButtons::mbOK);
    if (!ask || answer == TPGMsgResult::mrOK) return;
  }
  throw EPGCannotWriteColorRes(FormatLangStr2(msgCannotWriteColorRes, writer.Description, curName));
}

static void GiveTargetPalette(TPixelGraphic& temp, TPixelGraphic& source, TColorResolution target) {
  switch (target) {
    case crBlackWhite: temp.SetPaletteIdent(pBlackWhite); break;
    case cr2Colors: BuildOptimizedPalette(temp, source, 2, false); break;
    case cr16Grays: temp.SetPaletteIdent(pGray16); break;
    case cr16SysColors: temp.SetPaletteIdent(pSys16); break;
    case cr16Colors: BuildOptimizedPalette(temp, source, 16, false); break;
    case cr256Grays: temp.SetPaletteIdent(pGray256); break;
    case cr256Colors: BuildOptimizedPalette(temp, source, 252, true); break;
    default: break;
  }
}

static TPGPixelFormat FormatOfResolution(TColorResolution r) {
  if (r <= cr2Colors) return pgpf1Bit;
  if (r <= cr16Colors) return pgpf4Bit;
  if (r <= cr256Colors) return pgpf8Bit;
  return pgpf24Bit;
}

// Fills temp with source converted (dithered) to the target resolution.
static void ConvertForSave(TPixelGraphic& source, TPixelGraphic& temp, TColorResolution target) {
  temp.OnProgress = source.OnProgress;
  temp.OnProgressStart = source.OnProgressStart;
  temp.OnProgressEnd = source.OnProgressEnd;
  temp.SetSizeAndFormat(source.Width(), source.Height(), FormatOfResolution(target));
  GiveTargetPalette(temp, source, target);
  temp.CopyRect(0, 0, source, 0, 0, source.Width(), source.Height());
  temp.ClassifyPalette();
}

void SaveImageThroughRegistry(TPixelGraphic& image, TStream& stream, std::string extension) {
  TPGUpdateGuard update(image);
  DropLeadingDot(extension);
  TFileFormatWriter& writer = FindWriter(extension);
  if (!writer.WritesAlpha && !PGAlphaIsOpaque(image)) {
    TPixelGraphic laid;
    laid.SaveColorResWarningAction = image.SaveColorResWarningAction;
    laid.ReadWarningAction = image.ReadWarningAction;
    PGCopyLaidOn(laid, image, PGSettings().PageColor);
    return SaveImageThroughRegistry(laid, stream, extension);
  }
  if (image.ColorProfile && !writer.EmbedsProfile && PGSettings().ColorProfile == TColorProfileMode::cpmKeep) {
    TPixelGraphic converted;
    converted.SaveColorResWarningAction = image.SaveColorResWarningAction;
    CopyInSRGB(image, converted);
    SaveImageThroughRegistry(converted, stream, extension);
    return;
  }
  image.ClassifyPalette();
  const TColorResolution cur = ImageColorResolution(image);
  const TColorResolution target = SaveTargetResolution(writer, cur);
  if (target == cur) {
    image.ClassifyPalette();
    writer.Write(stream, image);
    return;
  }
  ConfirmResolutionChange(image.SaveColorResWarningAction, writer, cur, target);
  TPixelGraphic temp;
  temp.ColorProfile = image.ColorProfile;
  ConvertForSave(image, temp, target);
  writer.Write(stream, temp);
}
