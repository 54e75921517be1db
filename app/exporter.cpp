#include "app/exporter.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
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

#include "app/atomicfile.h"
#include "app/gridfile.h"
#include "app/htmltable.h"
#include "pgraphic/core/stream.h"

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
  return {path.parent_path().string(), dot == std::string::npos ? fileName : fileName.substr(0, dot)};
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
  std::int64_t Bytes = 0;
  std::exception_ptr Error;
  bool Done = false;
};

// A hidden name beside the target with the target's extension, so that the
// save picks the same writer.
std::string StagingPath(const std::string& path) {
  const std::filesystem::path target(path);
  const std::string name = ".~" + std::to_string(getpid()) + "." + target.filename().string();
  return (target.parent_path() / name).string();
}

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
  for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
  return text;
}

// Runs on a worker. The save is itself a complete, synced file or nothing;
// its messages name the slice, never the staging name.
void StageSlice(TSliceJob& job) {
  const std::string staged = StagingPath(job.Path);
  try {
    job.Image->SaveToFile(staged);
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
  if (::stat(target.c_str(), &st) == 0 && S_ISREG(st.st_mode)) ::chmod(staged.c_str(), st.st_mode & 07777);
}

// Cells are cut here in cell order, encoded and written by the workers under
// a staging name, and renamed into place here in cell order again: after a
// failure the disk holds what the one-thread road would have left. Pixels
// waiting for a worker are held within a byte budget.
class TThreadedSink : public TSliceSink {
 public:
  TThreadedSink(int threads, std::int64_t budget, TPixelGraphic& slice, TExportUi& ui);
  ~TThreadedSink() override;
  TThreadedSink(const TThreadedSink&) = delete;
  TThreadedSink& operator=(const TThreadedSink&) = delete;

  void Put(TPixelGraphic& source, const TGridCell& cell, const std::string& path) override;
  // Also leaves the last cell in SliceImage, as the one-thread road does.
  void Finish() override;

 private:
  void Work();
  void WaitForRoom(std::int64_t bytes);
  void CommitAll();
  void CommitFinished(std::unique_lock<std::mutex>& lock);
  void Commit(TSliceJob& job);
  std::unique_ptr<TPixelGraphic> NewSliceImage() const;

  std::int64_t Budget;
  TPixelGraphic& Slice;
  TExportUi& Ui;
  TPixelGraphic* LastSource = nullptr;
  TGridCell LastCell;

  std::mutex Lock;
  std::condition_variable WorkReady;
  std::condition_variable JobDone;
  // Jobs not yet in place, in cell order; job number n sits at n - Committed.
  std::deque<std::unique_ptr<TSliceJob>> Pending;
  std::uint64_t Committed = 0;
  std::uint64_t Taken = 0;
  std::int64_t BytesInFlight = 0;
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
    StageSlice(job);
    job.Image.reset();
    lock.lock();
    job.Done = true;
    BytesInFlight -= job.Bytes;
    JobDone.notify_all();
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
  job->Bytes = BytesPerRowFor(24, cell.Width) * cell.Height;
  WaitForRoom(job->Bytes);
  try {
    job->Image = NewSliceImage();
    CutCell(*job->Image, source, cell);
  } catch (...) {
    CommitAll();  // the cells before this one come first, their failures too
    throw;
  }
  LastSource = &source;
  LastCell = cell;
  std::lock_guard<std::mutex> guard(Lock);
  BytesInFlight += job->Bytes;
  Pending.push_back(std::move(job));
  WorkReady.notify_one();
}

// Always lets one job through, however large, so that progress never stops.
void TThreadedSink::WaitForRoom(std::int64_t bytes) {
  std::unique_lock<std::mutex> lock(Lock);
  for (;;) {
    CommitFinished(lock);
    if (BytesInFlight == 0 || BytesInFlight + bytes <= Budget) return;
    JobDone.wait(lock);
  }
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
  while (!Pending.empty() && Pending.front()->Done) {
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

bool TSliceExporter::Export(TPixelGraphic& source) {
  std::string htmlPath;
  if (!ChoosePath(htmlPath)) return false;
  if (Options.ShowOptions) FUi.ShowExportOptions(Options);
  THtmlTable table({Options.UpperCase, Options.DoubleQuote});
  const TExportNames names = ExportNamesOf(htmlPath);
  std::vector<std::string> lines{table.TableStartLine()};
  FGrid.SortBoth();
  WriteSlices(source, names, table, lines);
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

// Threads only where no dialog shows a slice: the per-slice dialog needs each
// slice written before it, in order. Without threads to be had, one will do.
void TSliceExporter::WriteSlices(TPixelGraphic& source, const TExportNames& names,
                                 THtmlTable& table, std::vector<std::string>& lines) {
  std::unique_ptr<TSliceSink> sink;
  if (EncodeThreads > 1 && !Options.IncAltTags && WriterTakesThreads(OutputExtension)) {
    const std::int64_t budget = std::int64_t(source.ImageSize()) / 8;
    try {
      sink = std::make_unique<TThreadedSink>(EncodeThreads, budget, SliceImage, FUi);
    } catch (const std::system_error&) {
    }
  }
  if (!sink) sink = std::make_unique<TDirectSink>(SliceImage, FUi);
  WriteRows(source, names, table, lines, *sink);
  sink->Finish();
}

void TSliceExporter::WriteRows(TPixelGraphic& source, const TExportNames& names, THtmlTable& table,
                               std::vector<std::string>& lines, TSliceSink& sink) {
  for (int row = 1; row <= FGrid.RowCount(); ++row) {
    table.BeginRow();
    for (int column = 1; column <= FGrid.ColumnCount(); ++column)
      WriteCell(source, FGrid.Cell(column, row), names, table, sink);
    // A row made only of empty cells would be an empty table row: left out.
    if (table.RowHasCells()) lines.push_back(table.EndRow());
  }
}

// A cell of width or height 0 (a duplicate split line) has no pixels: it
// gets neither a slice file nor markup, and the other cells keep their numbers.
void TSliceExporter::WriteCell(TPixelGraphic& source, const TGridCell& cell,
                               const TExportNames& names, THtmlTable& table, TSliceSink& sink) {
  if (cell.Width <= 0 || cell.Height <= 0) return;
  const std::string name = SliceFileName(names.BaseName, cell.Column, cell.Row, OutputExtension);
  sink.Put(source, cell, PathInDirectory(names.Directory, name));
  const std::string prefix = table.ImgTagPrefix(name, cell.Width, cell.Height);
  table.AddCell(Options.IncAltTags ? FUi.EditSliceTags(SliceImage, cell, prefix)
                                   : table.PlainCellCode(prefix));
}

void TSliceExporter::SaveGridBeside(const TExportNames& names) {
  const std::string path = PathInDirectory(names.Directory, names.BaseName + ".grd");
  SaveGrid(path, FGrid);
  if (RecentGrids) RecentGrids->Add(path);
}
