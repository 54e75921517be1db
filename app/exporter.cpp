#include "app/exporter.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <exception>
#include <filesystem>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "app/atomicfile.h"
#include "app/gridfile.h"
#include "app/htmltable.h"
#include "pgraphic/core/stream.h"
#include "pgraphic/formats/registry.h"

namespace {

struct TOptionField {
  const char* Name;
  bool TExportOptions::*Field;
};

constexpr TOptionField OptionFields[] = {
    {"incalttags_Checked", &TExportOptions::IncAltTags},
    {"editcode_Checked", &TExportOptions::EditCode},
    {"alwaysgrid_Checked", &TExportOptions::AlwaysGrid},
    {"showoptions_Checked", &TExportOptions::ShowOptions},
    {"uppercase_Checked", &TExportOptions::UpperCase},
    {"doublequote_Checked", &TExportOptions::DoubleQuote},
};

}  // namespace

void LoadExportOptions(TSettingsStore& store, TExportOptions& options) {
  for (const TOptionField& f : OptionFields)
    options.*f.Field = store.ReadBool(ExportOptionsSection, f.Name, options.*f.Field);
}

void SaveExportOptions(TSettingsStore& store, const TExportOptions& options) {
  for (const TOptionField& f : OptionFields)
    store.WriteBool(ExportOptionsSection, f.Name, options.*f.Field);
}

std::string OverwriteQuestion(const std::string& path) { return "Overwrite " + path + "?"; }

TExportNames ExportNamesOf(const std::string& htmlPath) {
  const std::filesystem::path path(htmlPath);
  const std::string fileName = path.filename().string();
  const std::size_t dot = fileName.find('.');
  return {path.parent_path().string(),
          dot == std::string::npos ? fileName : fileName.substr(0, dot)};
}

std::string SliceFileName(const std::string& baseName, int column, int row,
                          const std::string& extension) {
  return baseName + "_" + std::to_string(column) + "_" + std::to_string(row) + extension;
}

std::string PathInDirectory(const std::string& directory, const std::string& name) {
  return directory.empty() ? name : (std::filesystem::path(directory) / name).string();
}

// Where the cut cells go: saved at once, or handed to worker threads.
class TSliceSink {
 public:
  virtual ~TSliceSink() = default;
  virtual void Put(TPixelGraphic& source, const TGridCell& cell, const std::string& path) = 0;
  // Returns when every slice handed over is in place; raises the first failure.
  virtual void Finish() {}
  // Whether Put returns before the slice is written.
  virtual bool Concurrent() const { return false; }
  // While held, finished slices wait instead of taking their places.
  virtual void HoldCommits(bool) {}
};

// One export between its first and its last slice: where the cutting stands.
struct TSliceRun {
  TPixelGraphic& Source;
  const TExportNames& Names;
  THtmlTable& Table;
  std::vector<std::string>& Lines;
  TSliceSink& Sink;
  int Row = 1;  // the next cell to cut
  int Column = 1;
};

namespace {

void CutCell(TPixelGraphic& slice, TPixelGraphic& source, const TGridCell& cell) {
  slice.SetSizeAndFormat(cell.Width, cell.Height, pgpf24Bit);
  slice.CopyRect(0, 0, source, cell.Left, cell.Top, cell.Width, cell.Height);
}

// The window's road: each slice is cut into SliceImage, saved and reported
// before the next cell is looked at.
class TDirectSink : public TSliceSink {
 public:
  TDirectSink(TPixelGraphic& slice, TExportUi& ui) : Slice(slice), Ui(ui) {}
  void Put(TPixelGraphic& source, const TGridCell& cell, const std::string& path) override {
    CutCell(Slice, source, cell);
    Slice.SaveToFile(path);
    Ui.SliceWritten(path);
  }

 private:
  TPixelGraphic& Slice;
  TExportUi& Ui;
};

// One slice between its cut and its place on disk.
struct TSliceJob {
  std::string Path;    // where the slice belongs
  std::string Staged;  // the complete, synced file waiting for its turn
  std::unique_ptr<TPixelGraphic> Image;
  std::exception_ptr Error;
  bool Done = false;
};

// Creates an empty file of a fresh hidden name beside the target and
// returns its name. A name that exists already, a link left there included,
// is never opened: the next one is tried.
std::string CreateStagingFile(const std::string& path) {
  const std::filesystem::path target(path);
  const std::string prefix = ".~" + std::to_string(getpid()) + ".";
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string name = prefix + std::to_string(attempt) + "." + target.filename().string();
    const std::string staged = (target.parent_path() / name).string();
    const int fd = ::open(staged.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) {
      ::close(fd);
      return staged;
    }
    if (errno != EEXIST) break;
  }
  throw EStreamError("Cannot create file \"" + path + "\". " + std::strerror(errno));
}

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
  if (from.empty()) return text;
  for (std::size_t at = text.find(from); at != std::string::npos;
       at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
  return text;
}

// Runs on a worker: the slice's file as bytes, written by the writer that
// the target's extension picks.
std::vector<std::uint8_t> EncodeSlice(TSliceJob& job) {
  try {
    TMemoryStream stream;
    job.Image->SaveToStreamExt(stream, FileExtensionOf(job.Path));
    return std::move(stream.Bytes());
  } catch (...) {
    job.Error = std::current_exception();
    return {};
  }
}

// Runs on a worker: the bytes become a complete file, synced to the disk,
// under the staging name, or no file at all. Messages name the slice, never
// the staging name, as those of a direct save do.
void StageSlice(TSliceJob& job, const std::vector<std::uint8_t>& bytes) {
  std::string staged;
  try {
    staged = CreateStagingFile(job.Path);
    try {
      TFileStream file(staged, TFileStream::fmOpenReadWrite);
      file.WriteBuffer(bytes.data(), std::int64_t(bytes.size()));
      file.Close();
    } catch (...) {
      std::remove(staged.c_str());
      throw;
    }
    job.Staged = staged;
  } catch (const EStreamError& e) {
    job.Error = std::make_exception_ptr(EStreamError(Replaced(e.what(), staged, job.Path)));
  } catch (...) {
    job.Error = std::current_exception();
  }
}

// A slice that replaces an older file keeps that file's permissions, as a
// direct save does.
void TakeOverMode(const std::string& target, const std::string& staged) {
  struct stat st {};
  if (::stat(target.c_str(), &st) == 0 && S_ISREG(st.st_mode))
    ::chmod(staged.c_str(), st.st_mode & 07777);
}

// Cells are cut here in cell order, encoded and written by the workers under
// a staging name, and renamed into place here in cell order again: after a
// failure the disk holds what the one-thread road would have left. The
// pixels held (cut cells not yet encoded, and spare images kept for reuse
// so that fresh memory need not be touched for every cell) stay within a
// byte budget; a slice waiting for the disk holds only its encoded bytes.
class TThreadedSink : public TSliceSink {
 public:
  TThreadedSink(int threads, std::int64_t budget, TPixelGraphic& slice, TExportUi& ui);
  ~TThreadedSink() override;
  TThreadedSink(const TThreadedSink&) = delete;
  TThreadedSink& operator=(const TThreadedSink&) = delete;

  void Put(TPixelGraphic& source, const TGridCell& cell, const std::string& path) override;
  // Also leaves the last cell in SliceImage, as the one-thread road does.
  void Finish() override;
  bool Concurrent() const override { return true; }
  void HoldCommits(bool hold) override { Holding = hold; }

 private:
  void Work();
  void KeepSpare(std::unique_ptr<TPixelGraphic> image);
  std::unique_ptr<TPixelGraphic> ImageWithRoomFor(std::int64_t bytes);
  void CommitAll();
  void CommitFinished(std::unique_lock<std::mutex>& lock);
  void Commit(TSliceJob& job);
  std::unique_ptr<TPixelGraphic> NewSliceImage() const;

  std::int64_t Budget;
  TPixelGraphic& Slice;
  TExportUi& Ui;
  TPixelGraphic* LastSource = nullptr;
  TGridCell LastCell;
  bool Holding = false;  // read and written by the cutting thread only

  std::mutex Lock;
  std::condition_variable WorkReady;
  std::condition_variable JobDone;
  // Jobs not yet in place, in cell order; job number n sits at n - Committed.
  std::deque<std::unique_ptr<TSliceJob>> Pending;
  std::uint64_t Committed = 0;
  std::uint64_t Taken = 0;
  std::vector<std::unique_ptr<TPixelGraphic>> Spares;
  std::int64_t HeldBytes = 0;  // pixels of the jobs not yet done and of the spares
  bool Stopping = false;
  std::vector<std::thread> Workers;
};

TThreadedSink::TThreadedSink(int threads, std::int64_t budget, TPixelGraphic& slice, TExportUi& ui)
    : Budget(budget), Slice(slice), Ui(ui) {
  try {
    for (int i = 0; i < threads; ++i) Workers.emplace_back([this] { Work(); });
  } catch (...) {
    if (Workers.empty()) throw;  // fewer workers than asked for still do the job
  }
}

// Reached normally after Finish, or on a failure: workers leave what they have
// not started, and staged files that never took their place are removed.
TThreadedSink::~TThreadedSink() {
  {
    std::lock_guard<std::mutex> guard(Lock);
    Stopping = true;
  }
  WorkReady.notify_all();
  for (std::thread& worker : Workers) worker.join();
  for (const auto& job : Pending)
    if (!job->Staged.empty()) std::remove(job->Staged.c_str());
}

void TThreadedSink::Work() {
  std::unique_lock<std::mutex> lock(Lock);
  for (;;) {
    WorkReady.wait(lock, [this] { return Stopping || Taken < Committed + Pending.size(); });
    if (Stopping) return;
    TSliceJob& job = *Pending[Taken++ - Committed];
    lock.unlock();
    const std::vector<std::uint8_t> bytes = EncodeSlice(job);
    // The pixels are free for the next cell before the wait for the disk.
    lock.lock();
    KeepSpare(std::move(job.Image));
    JobDone.notify_all();
    lock.unlock();
    if (!job.Error) StageSlice(job, bytes);
    lock.lock();
    job.Done = true;
    JobDone.notify_all();
  }
}

// Called with the lock held.
void TThreadedSink::KeepSpare(std::unique_ptr<TPixelGraphic> image) {
  try {
    Spares.push_back(std::move(image));
  } catch (...) {
    HeldBytes -= image->ImageSize();  // not kept: its memory goes
  }
}

// A spare image, or a new one, once the pixels held leave room for bytes
// more (a lone cell always gets through, so that progress never stops).
// Spares are given up before waiting.
std::unique_ptr<TPixelGraphic> TThreadedSink::ImageWithRoomFor(std::int64_t bytes) {
  std::unique_lock<std::mutex> lock(Lock);
  for (;;) {
    CommitFinished(lock);
    std::unique_ptr<TPixelGraphic> image;
    if (!Spares.empty()) {
      image = std::move(Spares.back());
      Spares.pop_back();
      HeldBytes -= image->ImageSize();
    }
    if (HeldBytes == 0 || HeldBytes + bytes <= Budget)
      return image ? std::move(image) : NewSliceImage();
    if (!image) JobDone.wait(lock);
  }
}

std::unique_ptr<TPixelGraphic> TThreadedSink::NewSliceImage() const {
  auto image = std::make_unique<TPixelGraphic>();
  image->ReadWarningAction = Slice.ReadWarningAction;
  image->SaveColorResWarningAction = Slice.SaveColorResWarningAction;
  image->Dither = Slice.Dither;
  image->SetRGBWeighting(Slice.RGBWeighting());
  return image;
}

void TThreadedSink::Put(TPixelGraphic& source, const TGridCell& cell, const std::string& path) {
  auto job = std::make_unique<TSliceJob>();
  job->Path = path;
  job->Image = ImageWithRoomFor(BytesPerRowFor(24, cell.Width) * cell.Height);
  try {
    CutCell(*job->Image, source, cell);
  } catch (...) {
    // The cells before this one come first, their failures too; while held,
    // this cell is tried again later.
    if (!Holding) CommitAll();
    throw;
  }
  LastSource = &source;
  LastCell = cell;
  std::lock_guard<std::mutex> guard(Lock);
  HeldBytes += job->Image->ImageSize();
  Pending.push_back(std::move(job));
  WorkReady.notify_one();
}

void TThreadedSink::CommitAll() {
  std::unique_lock<std::mutex> lock(Lock);
  for (;;) {
    CommitFinished(lock);
    if (Pending.empty()) return;
    JobDone.wait(lock);
  }
}

void TThreadedSink::Finish() {
  CommitAll();
  if (LastSource) CutCell(Slice, *LastSource, LastCell);
}

void TThreadedSink::CommitFinished(std::unique_lock<std::mutex>& lock) {
  while (!Holding && !Pending.empty() && Pending.front()->Done) {
    std::unique_ptr<TSliceJob> job = std::move(Pending.front());
    Pending.pop_front();
    ++Committed;
    lock.unlock();
    Commit(*job);
    lock.lock();
  }
}

void TThreadedSink::Commit(TSliceJob& job) {
  if (job.Error) std::rethrow_exception(job.Error);
  TakeOverMode(job.Path, job.Staged);
  if (std::rename(job.Staged.c_str(), job.Path.c_str()) != 0) {
    const int error = errno;
    std::remove(job.Staged.c_str());
    throw EStreamError("Cannot create file \"" + job.Path + "\". " + std::strerror(error));
  }
  Ui.SliceWritten(job.Path);
}

}  // namespace

bool TSliceExporter::ChoosePath(std::string& htmlPath) {
  if (!FUi.ChooseHtmlFile(htmlPath)) return false;
  std::error_code ec;
  if (std::filesystem::exists(htmlPath, ec) &&
      !FUi.ConfirmOverwrite(OverwriteQuestion(htmlPath), OverwriteCaption))
    return false;
  return true;
}

bool TSliceExporter::Export(TPixelGraphic& source) { return Run(source, nullptr); }

bool TSliceExporter::ExportWhileLoading(TPixelGraphic& source, const std::function<void()>& load) {
  if (ThreadsWanted()) return Run(source, &load);
  load();
  return Export(source);
}

// A cancelled export still loads: a load failure is reported as on the
// road that loads first.
bool TSliceExporter::Run(TPixelGraphic& source, const std::function<void()>* load) {
  std::string htmlPath;
  if (!ChoosePath(htmlPath)) {
    if (load) (*load)();
    return false;
  }
  if (Options.ShowOptions) FUi.ShowExportOptions(Options);
  THtmlTable table({Options.UpperCase, Options.DoubleQuote});
  const TExportNames names = ExportNamesOf(htmlPath);
  std::vector<std::string> lines{table.TableStartLine()};
  FGrid.SortBoth();
  WriteSlices(source, names, table, lines, load);
  lines.push_back(table.TableEndLine());
  if (Options.EditCode) FUi.EditCode(lines);
  WriteLinesAtomic(htmlPath, lines);
  if (Options.AlwaysGrid) SaveGridBeside(names);
  return true;
}

namespace {

// Writers that keep nothing of one file in the shared writer object, so that
// several threads may use them at once. The TIFF writer keeps the file's
// layout between its calls.
bool WriterTakesThreads(const std::string& extension) {
  return extension == ".jpg" || extension == ".png" || extension == ".bmp";
}

}  // namespace

// Threads only where no dialog shows a slice (the per-slice dialog needs each
// slice written before it, in order) and for writers that take them.
bool TSliceExporter::ThreadsWanted() const {
  return EncodeThreads > 1 && !Options.IncAltTags && WriterTakesThreads(OutputExtension);
}

// Pixels waiting for a worker may take an eighth of the grid's area. Without
// threads to be had, one will do.
std::unique_ptr<TSliceSink> TSliceExporter::MakeSink() {
  if (ThreadsWanted() && FGrid.VertSplits.Count() > 0 && FGrid.HorzSplits.Count() > 0) {
    const std::int64_t width = FGrid.VertSplits[FGrid.VertSplits.Count() - 1];
    const std::int64_t height = FGrid.HorzSplits[FGrid.HorzSplits.Count() - 1];
    try {
      return std::make_unique<TThreadedSink>(EncodeThreads, BytesPerRowFor(24, width) * height / 8,
                                             SliceImage, FUi);
    } catch (const std::system_error&) {
    }
  }
  return std::make_unique<TDirectSink>(SliceImage, FUi);
}

void TSliceExporter::WriteSlices(TPixelGraphic& source, const TExportNames& names,
                                 THtmlTable& table, std::vector<std::string>& lines,
                                 const std::function<void()>* load) {
  const std::unique_ptr<TSliceSink> sink = MakeSink();
  TSliceRun run{source, names, table, lines, *sink};
  if (load && sink->Concurrent())
    LoadWhileCutting(run, *load);
  else if (load)
    (*load)();
  WriteCellsUpTo(run, INT64_MAX);
  sink->Finish();
}

namespace {

// Puts the previous progress handlers back on every exit path.
class TProgressGuard {
 public:
  explicit TProgressGuard(TPixelGraphic& image)
      : Image(image), Previous(image.OnProgress), PreviousStart(image.OnProgressStart) {}
  ~TProgressGuard() {
    Image.OnProgress = Previous;
    Image.OnProgressStart = PreviousStart;
  }
  TProgressGuard(const TProgressGuard&) = delete;
  TProgressGuard& operator=(const TProgressGuard&) = delete;
  TPixelGraphic& Image;
  TPGProgressEvent Previous;
  TNotifyEvent PreviousStart;
};

// Maps the pixel memory of an image being loaded ahead of its reader, on a
// thread of its own, so that the reader finds its pages in place instead of
// stopping at the first touch of each. The contents are never touched (the
// system fills a page just as the reader's first write would), so reader and
// helper may overlap freely. The top row, read first, is stored last: the
// memory is mapped from its end.
class TPageMapper {
 public:
  TPageMapper() = default;
  ~TPageMapper() { Stop(); }
  TPageMapper(const TPageMapper&) = delete;
  TPageMapper& operator=(const TPageMapper&) = delete;

  void Start(const std::uint8_t* bits, std::size_t size) {
    const auto page = std::uintptr_t(::sysconf(_SC_PAGESIZE));
    const std::uintptr_t begin = (std::uintptr_t(bits) + page - 1) / page * page;
    const std::uintptr_t end = (std::uintptr_t(bits) + size) / page * page;
    if (Thread.joinable() || !bits || begin >= end) return;
    try {
      Thread = std::thread([this, begin, end] { Map(begin, end); });
    } catch (const std::system_error&) {
    }
  }
  void Stop() {
    Stopping = true;
    if (Thread.joinable()) Thread.join();
  }

 private:
  void Map(std::uintptr_t begin, std::uintptr_t end) {
    constexpr std::uintptr_t kChunk = std::uintptr_t(4) << 20;
    for (std::uintptr_t to = end; to > begin && !Stopping;) {
      const std::uintptr_t from = to - begin > kChunk ? to - kChunk : begin;
      // A system without the request says so at once; nothing is lost.
      if (::madvise(reinterpret_cast<void*>(from), to - from, MADV_POPULATE_WRITE) != 0) return;
      to = from;
    }
  }

  std::atomic<bool> Stopping{false};
  std::thread Thread;
};

}  // namespace

// Slices cut during the load wait, staged, until it has succeeded. A cell
// that fails to be cut here stops the cutting; it is tried again after the
// load, where its failure comes in cell order.
void TSliceExporter::LoadWhileCutting(TSliceRun& run, const std::function<void()>& load) {
  TProgressGuard guard(run.Source);
  TPageMapper mapper;
  run.Source.OnProgressStart = [&](void* sender) {
    if (guard.PreviousStart) guard.PreviousStart(sender);
    mapper.Start(run.Source.Bits(), run.Source.ImageSize());
  };
  bool stalled = false;
  run.Source.OnProgress = [&](void* sender, int step, int max, bool& abort) {
    if (guard.Previous) guard.Previous(sender, step, max, abort);
    if (stalled || max != run.Source.Height()) return;
    try {
      WriteCellsUpTo(run, step);
    } catch (...) {
      stalled = true;
    }
  };
  run.Sink.HoldCommits(true);
  load();
  mapper.Stop();
  run.Sink.HoldCommits(false);
}

// Cuts the cells of every grid row whose bottom line is within the first
// rowsReady rows, rows outer, columns inner, going on from where it stands.
void TSliceExporter::WriteCellsUpTo(TSliceRun& run, std::int64_t rowsReady) {
  if (FGrid.ColumnCount() == 0) return;
  while (run.Row <= FGrid.RowCount()) {
    const TGridCell first = FGrid.Cell(1, run.Row);
    if (std::int64_t(first.Top) + first.Height > rowsReady) return;
    if (run.Column == 1) run.Table.BeginRow();
    WriteCell(run, FGrid.Cell(run.Column, run.Row));
    if (++run.Column <= FGrid.ColumnCount()) continue;
    // A row made only of empty cells would be an empty table row: left out.
    if (run.Table.RowHasCells()) run.Lines.push_back(run.Table.EndRow());
    run.Column = 1;
    ++run.Row;
  }
}

// A cell of width or height 0 (a duplicate split line) has no pixels: it
// gets neither a slice file nor markup, and the other cells keep their numbers.
void TSliceExporter::WriteCell(TSliceRun& run, const TGridCell& cell) {
  if (cell.Width <= 0 || cell.Height <= 0) return;
  const std::string name =
      SliceFileName(run.Names.BaseName, cell.Column, cell.Row, OutputExtension);
  const std::string prefix = run.Table.ImgTagPrefix(name, cell.Width, cell.Height);
  run.Sink.Put(run.Source, cell, PathInDirectory(run.Names.Directory, name));
  run.Table.AddCell(Options.IncAltTags ? FUi.EditSliceTags(SliceImage, cell, prefix)
                                       : run.Table.PlainCellCode(prefix));
}

void TSliceExporter::SaveGridBeside(const TExportNames& names) {
  const std::string path = PathInDirectory(names.Directory, names.BaseName + ".grd");
  SaveGrid(path, FGrid);
  if (RecentGrids) RecentGrids->Add(path);
}
