#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cmath>
#include <cstring>
#include <filesystem>

#include "pgraphic/core/settings.h"
#include "pgraphic/core/uihooks.h"
#include "support/box_recorder.h"
#include "pgraphic/formats/bmp.h"
#include "pgraphic/formats/bmp_fixtures.h"
#include "pgraphic/formats/registry.h"

using namespace bmpfix;
namespace fs = std::filesystem;

namespace {

template <class List>
std::vector<std::string> Extensions(List& list) {
  std::vector<std::string> exts;
  for (auto& e : list) exts.push_back(e->Extension);
  return exts;
}

TPixelGraphic& PaletteImage(TPixelGraphic& image, TPGPixelFormat format, TPaletteIdent ident) {
  image.SetSizeAndFormat(6, 4, format);
  image.SetPaletteIdent(ident);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 6; ++x) image.SetPixel(x, y, std::uint32_t(x + y) % std::uint32_t(image.PaletteCount()));
  image.ClassifyPalette();
  return image;
}

TPixelGraphic& SixteenColors(TPixelGraphic& image) {
  PaletteImage(image, pgpf4Bit, pSys16);
  image.SetPaletteEntry(3, RGBColor(1, 2, 3));  // no longer a standard palette
  image.ClassifyPalette();
  return image;
}


// A registry entry that lives for one test.
template <class List, class T>
class TTemporaryEntry {
 public:
  TTemporaryEntry(List& list, std::unique_ptr<T> entry) : L(list), Entry(entry.get()) {
    L.push_back(std::move(entry));
  }
  ~TTemporaryEntry() {
    std::erase_if(L, [&](const auto& e) { return e.get() == Entry; });
  }
  T* operator->() { return Entry; }

 private:
  List& L;
  T* Entry;
};

// A writer that writes a few bytes and then fails, like a full disk.
class TFailingWriter : public TFileFormatWriter {
 public:
  TFailingWriter() {
    Extension = "failtest";
    CanWriteResolutions = 0xFF;
  }
  const char* ClassName() const override { return "TFailingWriter"; }
  void Write(TStream& stream, TPixelGraphic&) override {
    stream.WriteBuffer("partial", 7);
    throw EPixelGraphic("write failed");
  }
};

// A reader chosen by extension that delivers a fixed image with a given gamma.
class TGammaReader : public TFileFormatReader {
 public:
  TGammaReader() { Extension = "gammatest"; }
  const char* ClassName() const override { return "TGammaReader"; }
  void ReadImage(TStream&, TPixelGraphic& image, int) override {
    if (Palette || Grey) {
      image.SetSizeAndFormat(256, 1, pgpf8Bit);
      image.SetPaletteIdent(pGray256);
      for (int i = 0; i < 256 && Palette; ++i) image.SetPaletteEntry(i, RGBColor(i, i, 255 - i));
      for (int x = 0; x < 256 && Grey; ++x) image.SetPixel(x, 0, TRGB(x));
    } else {
      image.SetSizeAndFormat(86, 1, pgpf24Bit);
      for (int x = 0; x < 86; ++x) image.SetPixel(x, 0, RGBColor(3 * x, 3 * x + 1, 3 * x + 2));
    }
    image.FileGamma = Gamma;
    if (FailAfterSizing) throw EPixelGraphic("broken");
  }
  long double Gamma = 1.8L;
  bool Palette = false;
  bool Grey = false;
  bool FailAfterSizing = false;
};

// The first 256 colour bytes of the loaded test image: its pixels' bytes for
// 24 bits and 256 greys, the red of its palette entries otherwise.
std::vector<int> LoadedBytes(TPixelGraphic& image) {
  std::vector<int> bytes;
  if (image.PixelFormat() == pgpf8Bit && image.PaletteIdent() == pGray256) {
    for (int x = 0; x < image.Width(); ++x) bytes.push_back(int(image.GetPixel(x, 0)));
    return bytes;
  }
  if (image.PixelFormat() != pgpf24Bit) {
    for (int i = 0; i < image.PaletteCount(); ++i) bytes.push_back(int(GetRValue(image.GetPaletteEntry(i))));
    return bytes;
  }
  for (int x = 0; x < image.Width(); ++x) {
    const TRGB c = image.GetPixel(x, 0);
    bytes.insert(bytes.end(), {int(GetRValue(c)), int(GetGValue(c)), int(GetBValue(c))});
  }
  bytes.resize(256);
  return bytes;
}

std::vector<std::string> DirectoryEntries(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace

// ---------------------------------------------------------------- the lists

TEST(RegistryLists, ReadersAndWritersAreInExtensionOrderWithTheirFields) {
  const std::vector<std::string> readers{"bmp", "dib", "jif", "jpeg", "jpg", "pbm", "pcx",
                                         "pgm", "png", "ppm", "rle", "tga", "tif", "tiff", "webp"};
  const std::vector<std::string> writers{"bmp", "dib", "jif", "jpeg", "jpg", "pbm", "pgm",
                                         "png", "png8", "ppm", "tga", "tif", "tiff", "webp"};
  EXPECT_EQ(Extensions(FileFormatReaders()), readers);
  EXPECT_EQ(Extensions(FileFormatWriters()), writers);
  for (auto& r : FileFormatReaders()) EXPECT_EQ(r->HasSignature, r->Extension != "tga") << r->Extension;
  const struct {
    const char* Ext;
    bool Listed, Multi;
    int Resolutions;
  } table[] = {{"bmp", true, false, 255}, {"dib", false, false, 255}, {"jif", false, false, 160},
               {"jpeg", false, false, 160}, {"jpg", true, false, 160}, {"pbm", true, false, 1},
               {"pgm", true, false, 32}, {"png", true, false, 255}, {"ppm", true, false, 128},
               {"tga", true, false, 192}, {"tif", true, true, 253}, {"tiff", false, true, 253},
               {"png8", false, false, 255}, {"webp", true, false, 255}};
  for (const auto& t : table) {
    const TFileFormatWriter& w = FindWriter(t.Ext);
    EXPECT_EQ(w.Listed, t.Listed) << t.Ext;
    EXPECT_EQ(w.MultiImage, t.Multi) << t.Ext;
    EXPECT_EQ(int(w.CanWriteResolutions), t.Resolutions) << t.Ext;
  }
  EXPECT_STREQ(DefaultWriter().ClassName(), "TBMPFileFormatWriter");
}

TEST(RegistryLists, SortRegistryOrdersByLowerCasedExtension) {
  TWriterList list;
  for (const char* ext : {"TGA", "bmp", "Png", "BMP"}) {
    list.push_back(std::make_unique<TBMPFileFormatWriter>());
    list.back()->Extension = ext;
  }
  TFileFormatWriter* firstBmp = list[1].get();
  SortRegistry(list);
  EXPECT_EQ(Extensions(list), (std::vector<std::string>{"bmp", "BMP", "Png", "TGA"}));
  EXPECT_EQ(list[0].get(), firstBmp);  // equal keys keep their order
}

// ---------------------------------------------------------------- finding readers and writers

TEST(RegistryFind, SignaturesWinAndOnlyReadersWithoutOneGoByExtension) {
  TPixelGraphic image;
  peer::FromRgb(image, peer::Pattern(4, 3));
  const Bytes png = SaveBytes(image, "png"), tga = SaveBytes(image, "tga");
  Bytes jpg = SaveBytes(image, "jpg");
  jpg[0] = 0;
  auto find = [](const Bytes& data, const std::string& ext) -> std::string {
    TMemoryStream stream(data);
    TFileFormatReader* r = FindReader(stream, ext);
    EXPECT_EQ(stream.Position(), 0);
    return r ? r->Extension : "none";
  };
  EXPECT_EQ(find(png, "bmp"), "png");
  EXPECT_EQ(find(tga, "TGA"), "tga");
  EXPECT_EQ(find(tga, ".tga"), "tga");
  EXPECT_EQ(find(tga, "dat"), "none");
  EXPECT_EQ(find(tga, ""), "none");
  EXPECT_EQ(find(jpg, "jpg"), "none");
  EXPECT_EQ(find(SaveBytes(image, "jpg"), "bmp"), "jif");
  EXPECT_EQ(find(SaveBytes(image, "bmp"), ""), "bmp");
  EXPECT_EQ(find({}, "bmp"), "none");
  // The header is read at the stream's position, which is restored.
  Bytes shifted{1, 2, 3};
  shifted.insert(shifted.end(), png.begin(), png.end());
  TMemoryStream stream(shifted);
  stream.SetPosition(3);
  ASSERT_NE(FindReader(stream, ""), nullptr);
  EXPECT_EQ(stream.Position(), 3);
}

TEST(RegistryFind, WritersByExtensionListedOrNot) {
  EXPECT_EQ(FindWriter("jpeg").Extension, "jpeg");
  EXPECT_FALSE(FindWriter("jpeg").Listed);
  EXPECT_EQ(FindWriter(".BMP").Extension, "bmp");
  EXPECT_EQ(MessageOf<EPGUnknownExtension>([] { FindWriter("GIF"); }), "Unknown file extension \"gif\"");
  EXPECT_EQ(FileExtensionOf("dir.d/photo.TGA"), "tga");
  EXPECT_EQ(FileExtensionOf("dir.d/photo"), "");
  EXPECT_EQ(FileExtensionOf("a.tar.GZ"), "gz");
}

TEST(RegistryFind, OpenFilterListsEveryListedReader) {
  const std::vector<std::pair<std::string, std::string>> readers{
      {"bmp", "Bitmap"}, {"dib", "Bitmap"}, {"jif", "JPEG (JFIF compliant)"},
      {"jpeg", "JPEG (JFIF compliant)"}, {"jpg", "JPEG (JFIF compliant)"}, {"pbm", "Portable Bitmap"},
      {"pcx", "Paintbrush"}, {"pgm", "Portable Graymap"}, {"png", "Portable Network Graphics"},
      {"ppm", "Portable Pixelmap"}, {"rle", "Bitmap"}, {"tga", "Truevision Targa"},
      {"tif", "Tagged Image File Format"}, {"tiff", "Tagged Image File Format"}, {"webp", "WebP image"}};
  std::string patterns, entries;
  for (const auto& [ext, description] : readers) {
    patterns += (patterns.empty() ? "*." : "; *.") + ext;
    std::string upper = ext;
    for (char& c : upper) c = char(std::toupper(c));
    entries += upper + " - " + description + "|*." + ext + "|";
  }
  const std::string filter = BuildOpenFilter();
  EXPECT_EQ(filter, "Image files|" + patterns + "|" + entries + "All files|*.*");
  EXPECT_EQ(ListedReaderCount(), 15);
  EXPECT_EQ(ListedReaderExtension(2), "bmp");
  EXPECT_EQ(ListedReaderExtension(16), "webp");
  EXPECT_EQ(ListedReaderExtension(1), "");
  EXPECT_EQ(ListedReaderExtension(17), "");
}

// ---------------------------------------------------------------- colour resolutions

TEST(RegistryResolutions, CurrentResolutionNamesAndFallbackTargets) {
  const struct {
    TPGPixelFormat Format;
    TPaletteIdent Ident;
    TColorResolution Expected;
  } kinds[] = {{pgpf1Bit, pBlackWhite, crBlackWhite}, {pgpf1Bit, pUnknown, cr2Colors},
               {pgpf4Bit, pGray16, cr16Grays}, {pgpf4Bit, pSys16, cr16SysColors},
               {pgpf4Bit, pUnknown, cr16Colors}, {pgpf8Bit, pGray256, cr256Grays},
               {pgpf8Bit, pSpecial252, cr256Colors}, {pgpf24Bit, pTrueColor, crTrueColor}};
  for (const auto& k : kinds) {
    TPixelGraphic image;
    image.SetSizeAndFormat(2, 2, k.Format);
    if (k.Ident == pUnknown) {
      image.SetPaletteCount(2);
      image.SetPaletteEntry(0, RGBColor(9, 9, 9));
    } else {
      image.SetPaletteIdent(k.Ident);
    }
    image.ClassifyPalette();
    EXPECT_EQ(ImageColorResolution(image), k.Expected) << int(k.Expected);
  }
  const char* names[] = {"black and white", "2 colors", "16 shades of gray", "16 system colors",
                         "16 colors", "256 shades of gray", "256 colors", "16.7 million colors"};
  for (int r = 0; r < 8; ++r) EXPECT_EQ(ColorResolutionName(TColorResolution(r)), names[r]);
  EXPECT_EQ(SaveTargetResolution(FindWriter("pgm"), crTrueColor), cr256Grays);
  EXPECT_EQ(SaveTargetResolution(FindWriter("tga"), crTrueColor), crTrueColor);
  EXPECT_EQ(SaveTargetResolution(FindWriter("tga"), cr16Grays), cr256Colors);
  EXPECT_EQ(SaveTargetResolution(FindWriter("tif"), cr2Colors), cr16Colors);
  EXPECT_EQ(SaveTargetResolution(FindWriter("jpg"), cr256Colors), crTrueColor);
  EXPECT_EQ(SaveTargetResolution(FindWriter("pbm"), crTrueColor), crBlackWhite);
  TFailingWriter none;
  none.CanWriteResolutions = 0;
  EXPECT_EQ(MessageOf<EPGCanWriteResolutionsEmpty>([&] { SaveTargetResolution(none, crTrueColor); }),
            "TFailingWriter.CanWriteResolutions is empty");
}

// ---------------------------------------------------------------- saving

TEST(RegistrySave, WarningPolicyDecidesAboutAResolutionChange) {
  const std::string refused =
      "The graphic cannot be saved with to a JPEG (JFIF compliant) file with the current color "
      "resolution (16 colors)";
  const std::string warning =
      "The graphic cannot be saved to a JPEG (JFIF compliant) file with the current color resolution "
      "(16 colors).\r\rThe graphic will be saved with a different color resolution (16.7 million colors).";
  TPixelGraphic image;
  SixteenColors(image);
  auto save = [&](TPGWarningAction action) {
    image.SaveColorResWarningAction = action;
    return MessageOf<EPGCannotWriteColorRes>([&] { SaveBytes(image, "jpg"); });
  };
  EXPECT_EQ(save(pgwaOKCancelBox), refused);  // headless: the question is answered Cancel
  {
    TBoxRecorder hooks(TPGMsgResult::mrCancel);
    EXPECT_EQ(save(pgwaRaise), refused);
    EXPECT_TRUE(hooks.Texts.empty());
    EXPECT_EQ(save(pgwaOKCancelBox), refused);
    hooks.Answer = TPGMsgResult::mrOK;
    EXPECT_EQ(save(pgwaOKCancelBox), "(nothing raised)");
    EXPECT_EQ(save(pgwaOKBox), "(nothing raised)");
    EXPECT_EQ(save(pgwaIgnore), "(nothing raised)");
    EXPECT_EQ(hooks.Texts, std::vector<std::string>(3, warning));
    EXPECT_EQ(hooks.Captions[0], "Warning");
    EXPECT_EQ(hooks.Buttons, (std::vector<TPGMsgButtons>{TPGMsgButtons::mbOKCancel, TPGMsgButtons::mbOKCancel,
                                                         TPGMsgButtons::mbOK}));
  }
  TPixelGraphic back;
  image.SaveColorResWarningAction = pgwaIgnore;
  LoadBytes(back, SaveBytes(image, "jpg"));
  EXPECT_EQ(back.PixelFormat(), pgpf24Bit);
}

TEST(RegistrySave, ConvertingSaveWritesTheTargetAndLeavesTheSourceAlone) {
  TPixelGraphic greys;
  peer::RgbImage rgb{5, 3, {}};
  for (int i = 0; i < 15; ++i) rgb.Rgb.insert(rgb.Rgb.end(), 3, std::uint8_t(i * 17));
  peer::FromRgb(greys, rgb);
  greys.SaveColorResWarningAction = pgwaIgnore;
  const Bytes before = PixelBytes(greys);
  TPixelGraphic back;
  LoadBytes(back, SaveBytes(greys, "pgm"));
  EXPECT_EQ(ImageColorResolution(back), cr256Grays);
  for (int i = 0; i < 15; ++i) EXPECT_EQ(back.GetPixel(i % 5, i / 5), std::uint32_t(i * 17));
  EXPECT_EQ(PixelBytes(greys), before);
  EXPECT_EQ(greys.PixelFormat(), pgpf24Bit);

  TPixelGraphic grey16;
  PaletteImage(grey16, pgpf4Bit, pGray16).SaveColorResWarningAction = pgwaIgnore;
  LoadBytes(back, SaveBytes(grey16, "tga"), "tga");
  EXPECT_EQ(ImageColorResolution(back), cr256Colors);
  EXPECT_EQ(peer::ToRgb(back), peer::ToRgb(grey16));

  TPixelGraphic two;
  two.SetSizeAndFormat(4, 2, pgpf1Bit);
  two.SetPaletteCount(2);
  two.SetPaletteEntry(0, RGBColor(200, 0, 0));
  two.SetPaletteEntry(1, RGBColor(0, 0, 200));
  two.SetPixel(1, 1, 1);
  two.SaveColorResWarningAction = pgwaIgnore;
  LoadBytes(back, SaveBytes(two, "tif"));
  EXPECT_EQ(back.PixelFormat(), pgpf4Bit);
  EXPECT_EQ(peer::ToRgb(back), peer::ToRgb(two));
}

TEST(RegistrySave, ConversionSharesTheSourcesProgressHandlers) {
  TPixelGraphic image;
  peer::FromRgb(image, peer::Pattern(8, 8));
  image.SaveColorResWarningAction = pgwaIgnore;
  std::vector<void*> senders;
  image.OnProgressStart = [&](void* sender) { senders.push_back(sender); };
  SaveBytes(image, "pbm");
  ASSERT_FALSE(senders.empty());
  for (void* s : senders) EXPECT_NE(s, &image);
}

TEST(RegistrySave, FailedSaveToFileKeepsTheOldFileAndLeavesNothingBehind) {
  TTemporaryEntry failing(FileFormatWriters(), std::make_unique<TFailingWriter>());
  const std::string dir = TestDir();
  TPixelGraphic image;
  peer::FromRgb(image, peer::Pattern(3, 3));
  // A new file that fails is not left behind.
  EXPECT_EQ(MessageOf<EPixelGraphic>([&] { image.SaveToFile(dir + "/new.failtest"); }), "write failed");
  EXPECT_TRUE(DirectoryEntries(dir).empty());
  // An existing file stays as it was, whatever stage failed.
  peer::WriteFile(dir + "/old.failtest", {'o', 'l', 'd'});
  peer::WriteFile(dir + "/old.gif", {'o', 'l', 'd'});
  EXPECT_THROW(image.SaveToFile(dir + "/old.failtest"), EPixelGraphic);
  EXPECT_THROW(image.SaveToFile(dir + "/old.gif"), EPGUnknownExtension);
  image.SaveColorResWarningAction = pgwaRaise;
  peer::WriteFile(dir + "/old.pbm", {'o', 'l', 'd'});
  EXPECT_THROW(image.SaveToFile(dir + "/old.pbm"), EPGCannotWriteColorRes);
  for (const char* name : {"/old.failtest", "/old.gif", "/old.pbm"})
    EXPECT_EQ(peer::ReadFile(dir + name), (Bytes{'o', 'l', 'd'})) << name;
  EXPECT_EQ(DirectoryEntries(dir), (std::vector<std::string>{"old.failtest", "old.gif", "old.pbm"}));
  EXPECT_THROW(image.SaveToFile(dir + "/missing/x.bmp"), EStreamError);
}

TEST(RegistrySave, SuccessfulSaveReplacesTheFileAndKeepsItsPermissions) {
  const std::string dir = TestDir();
  const std::string path = dir + "/slice.bmp";
  peer::WriteFile(path, {'o', 'l', 'd'});
  ::chmod(path.c_str(), 0640);
  TPixelGraphic image;
  peer::FromRgb(image, peer::Pattern(3, 2));
  image.SaveToFile(path);
  EXPECT_EQ(peer::ReadFile(path), SaveBytes(image));
  struct stat st {};
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
  EXPECT_EQ(DirectoryEntries(dir), std::vector<std::string>{"slice.bmp"});
}

// ---------------------------------------------------------------- loading

TEST(RegistryLoad, UnknownDataNotifiesOnceAndLeavesAnEmptyImage) {
  TPixelGraphic image;
  peer::FromRgb(image, peer::Pattern(3, 3));
  int changes = 0;
  image.OnImageChange = [&](void*) { ++changes; };
  EXPECT_EQ(MessageOf<EPGUnknownFileFormat>([&] { LoadBytes(image, {1, 2, 3, 4}, "dat"); }),
            "Unknown file format");
  EXPECT_EQ(changes, 1);
  EXPECT_TRUE(image.Empty());
  EXPECT_EQ(image.PixelFormat(), pgpf24Bit);
  TPixelGraphic rgb;
  peer::FromRgb(rgb, peer::Pattern(3, 3));
  TMemoryStream tga(SaveBytes(rgb, "tga"));
  EXPECT_THROW(image.LoadFromStream(tga), EPGUnknownFileFormat);
  TMemoryStream bmp(SaveBytes(rgb, "bmp"));
  image.LoadFromStream(bmp);
  EXPECT_EQ(PixelBytes(image), PixelBytes(rgb));
  EXPECT_EQ(changes, 3);
}

TEST(RegistryLoad, GammaCorrectionMapsPixelsOrPalette) {
  TTemporaryEntry reader(FileFormatReaders(), std::make_unique<TGammaReader>());
  SettingGuard display(PGSettings().DisplayGamma);
  SettingGuard enabled(PGSettings().GammaCorrectOnLoad);
  PGSettings().DisplayGamma = 1.8L;
  std::vector<int> identity(256), corrected(256);
  for (int i = 0; i < 256; ++i) {
    identity[std::size_t(i)] = i;
    corrected[std::size_t(i)] = int(std::lround(255.0 * std::pow(i / 255.0, 2.2 / 1.8)));
  }
  long double fileGamma = 0;
  auto load = [&](long double gamma, int kind) {
    reader->Gamma = gamma;
    reader->Palette = kind == 1;
    reader->Grey = kind == 2;
    TPixelGraphic image;
    LoadBytes(image, {0}, "gammatest");
    fileGamma = image.FileGamma;
    return LoadedBytes(image);
  };
  // 24-bit pixels, a palette, and 256 greys, which stay grey.
  for (int kind : {0, 1, 2}) {
    SCOPED_TRACE(kind);
    EXPECT_EQ(load(1.8L * 1.049L, kind), identity);
    EXPECT_EQ(load(2.2L, kind), corrected);
    EXPECT_EQ(fileGamma, 1.8L);
  }
  PGSettings().GammaCorrectOnLoad = false;
  EXPECT_EQ(load(2.2L, 0), identity);
  PGSettings().GammaCorrectOnLoad = true;
  PGSettings().DisplayGamma = 0;  // no transfer curve: nothing to correct, no division by zero
  EXPECT_EQ(load(2.2L, 0), identity);
  EXPECT_EQ(fileGamma, 2.2L);
}

TEST(RegistryLoad, ReaderFailingHalfwayKeepsWhatItSetAndSkipsGamma) {
  TTemporaryEntry reader(FileFormatReaders(), std::make_unique<TGammaReader>());
  reader->FailAfterSizing = true;
  reader->Gamma = 2.2L;
  TPixelGraphic image;
  int changes = 0;
  image.OnImageChange = [&](void*) { ++changes; };
  EXPECT_THROW(LoadBytes(image, {0}, "gammatest"), EPixelGraphic);
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(image.Width(), 86);
  EXPECT_EQ(image.GetPixel(1, 0), RGBColor(3, 4, 5));
  EXPECT_EQ(image.FileGamma, 2.2L);
}

// ---------------------------------------------------------------- file information

TEST(RegistryInfo, ByNameAndByStream) {
  const std::string dir = TestDir();
  TPixelGraphic image;
  peer::FromRgb(image, peer::Pattern(4, 3));
  image.SaveToFile(dir + "/a.bmp");
  image.SaveToFile(dir + "/a.tga");
  peer::WriteFile(dir + "/junk.bmp", {'x', 'y'});
  TFileInfo info;
  std::string description;
  ASSERT_TRUE(GetFileInfo(dir + "/a.bmp", 0, info, description));
  EXPECT_EQ(description, "Bitmap");
  EXPECT_EQ(info.SubformatText, "Windows, RGB");
  EXPECT_EQ(info.Width, 4);
  ASSERT_TRUE(GetFileInfo(dir + "/a.tga", 0, info, description));
  EXPECT_EQ(description, "Truevision Targa");
  EXPECT_FALSE(GetFileInfo(dir + "/a.bmp", 1, info, description));  // the reader refuses index 1
  for (const std::string& name : {dir + "/none.bmp", dir, dir + "/", std::string(), dir + "/junk.bmp"})
    EXPECT_FALSE(GetFileInfo(name, 0, info, description)) << name;
  Bytes damaged = peer::ReadFile(dir + "/a.bmp");
  damaged[14] = 108;
  for (const Bytes& data : {peer::ReadFile(dir + "/a.bmp"), damaged}) {
    TMemoryStream stream(data);
    stream.SetPosition(0);
    const bool ok = GetFileInfo(stream, "bmp", 0, info, description);
    EXPECT_EQ(ok, data != damaged);
    EXPECT_EQ(stream.Position(), 0);
  }
}

