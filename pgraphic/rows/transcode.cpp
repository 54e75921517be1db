#include "pgraphic/rows/transcode.h"

#include <climits>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "pgraphic/rows/loadwatch.h"
#include "pgraphic/rows/finalrows.h"
#include "pgraphic/rows/rowmemory.h"
#include "pgraphic/core/settings.h"
#include "pgraphic/core/stagedfile.h"
#include "pgraphic/core/threadpool.h"
#include "pgraphic/formats/registry.h"

namespace {

// The settings a writer may look at, as the loaded image will have them.
void TakeSettings(TPixelGraphic& view, const TPixelGraphic& image) {
  view.BackgroundValue = image.BackgroundValue;
  view.Dither = image.Dither;
  view.DitherErrorLimit = image.DitherErrorLimit;
  view.DitherErrorLimitAuto = image.DitherErrorLimitAuto;
  view.DitherErrorLimitSoft = image.DitherErrorLimitSoft;
  view.SetUseColorCache(image.UseColorCache());
  view.SetRGBWeighting(image.RGBWeighting());
  view.FileGamma = image.FileGamma;
  view.StretchMode = image.StretchMode;
  view.ReadWarningAction = image.ReadWarningAction;
  view.RaiseOnOutOfRange = image.RaiseOnOutOfRange;
  view.SaveColorResWarningAction = image.SaveColorResWarningAction;
}

// Whose events would see the save happen elsewhere.
bool HasHandlers(const TPixelGraphic& image) {
  return image.OnImageChange || image.OnProgress || image.OnProgressStart || image.OnProgressEnd ||
         image.OnRowsDone;
}

// The writer's side while the reader fills the image: from the first rows
// on, a window on the image that waits for each row is written on a thread
// of the pool into the staged target.
class TStreamedSave {
 public:
  TStreamedSave(TPixelGraphic& image, TFileFormatWriter& writer, std::string extension, TStagedFile& file)
      : Image(image), Writer(writer), Extension(std::move(extension)), File(file) {}
  ~TStreamedSave() { Stop(); }
  TStreamedSave(const TStreamedSave&) = delete;
  TStreamedSave& operator=(const TStreamedSave&) = delete;

  // The rows told as final while the image loads.
  TPGFinalRows& Rows() { return Pending; }
  // The image's rows live in bands reused as the writer passes them: the
  // writer is the one holder of them all, and a writer that never starts
  // (the plain road saves the image after the load) keeps them.
  TPGRowMemory* HoldRows() {
    Memory.emplace(Image);
    Memory->Hold(0, Image.Height());
    return &*Memory;
  }
  // Rows have come: the first time, the writer starts when the image can be
  // written as it is.
  void Begin() {
    if (!Decided) Start();
  }
  bool Started() const { return Writing; }
  // The load is over: the writer finishes (or fails); its failure is raised.
  void Finish() {
    Pending.Reach(INT64_MAX);
    Saving.Wait();
    if (Failure) std::rethrow_exception(Failure);
  }
  void Stop() {
    Pending.GiveUp();
    Saving.WaitForFailure();
  }

 private:
  // A save that changes the colour resolution converts the whole image
  // first (and may ask): that one waits for the load, and so does one that
  // cannot even begin (its failure comes after the load's, on its road).
  void Start() {
    Decided = true;
    try {
      Gate.emplace(Pending, 0, Image.Height(), Image.BytesPerRow(), Memory ? &*Memory : nullptr, 0);
      View.ShowRowsOf(Image, 0, 0, Image.Width(), Image.Height(), &*Gate);
      TakeSettings(View, Image);
      View.ClassifyPalette();
      const TColorResolution current = ImageColorResolution(View);
      if (SaveTargetResolution(Writer, current) != current) return;
      Writing = Saving.RunOnThread([this] { Write(); });
    } catch (...) {
    }
  }
  void Write() {
    if (Memory) Memory->Begin(0);
    try {
      View.SaveToStreamExt(File.Stream(), Extension);
      File.Finish();
    } catch (...) {
      Failure = std::current_exception();
    }
    if (Memory) Memory->Done(0);
  }

  TPixelGraphic& Image;
  TFileFormatWriter& Writer;
  std::string Extension;
  TStagedFile& File;
  TPGFinalRows Pending;
  std::optional<TPGRowMemory> Memory;
  std::optional<TPGFinalRowsGate> Gate;  // once the image has its size
  TPixelGraphic View;
  bool Decided = false;
  bool Writing = false;  // on a thread of the pool
  std::exception_ptr Failure;
  TPGTaskGroup Saving{1};
};

// The writer for target when rows can go to it as they come, else null. A
// source whose alpha is kept goes the plain road: a writer looks at the
// whole plane (is it opaque?) before its first row.
TFileFormatWriter* StreamingWriter(const std::string& source, const std::string& target) {
  try {
    TFileFormatWriter& writer = FindWriter(FileExtensionOf(target));
    if (!writer.TakesRowsTopDown) return nullptr;
    TFileStream stream(source, TFileStream::fmOpenRead);
    const TFileFormatReader* reader = FindReader(stream, FileExtensionOf(source));
    if (!reader || reader->RowDelivery == rdAtEnd) return nullptr;
    TFileInfo info;
    std::string description;
    if (PGSettings().KeepAlpha && GetFileInfo(source, 0, info, description) && info.Alpha) return nullptr;
    return &writer;
  } catch (...) {
    return nullptr;  // the plain road meets the same failure in its own order
  }
}

}  // namespace

void TranscodeFile(TPixelGraphic& image, const std::string& source, const std::string& target,
                   bool keepImage) {
  TFileFormatWriter* writer = HasHandlers(image) ? nullptr : StreamingWriter(source, target);
  std::optional<TStagedFile> file;
  if (writer) {
    try {
      file.emplace(target);
    } catch (const EStreamError&) {
      // Loading comes first on the plain road, and its failure with it.
    }
  }
  if (!file) {
    image.LoadFromFile(source);
    image.SaveToFile(target);
    return;
  }
  TStreamedSave save(image, *writer, FileExtensionOf(target), *file);
  {
    // Rows told from the bottom start no writer: it starts with the top row.
    std::function<TPGRowMemory*()> rowMemory;
    if (!keepImage) rowMemory = [&] { return save.HoldRows(); };
    TLoadWatch watch(image, save.Rows(), [&] { if (watch.FinalFromTop() > 0) save.Begin(); }, rowMemory);
    image.LoadFromFile(source);
  }
  if (!save.Started()) {
    save.Stop();
    file.reset();
    image.SaveToFile(target);
    return;
  }
  save.Finish();
  std::vector<TStagedFile> files;
  files.push_back(std::move(*file));
  CommitStagedFiles(files);
}
