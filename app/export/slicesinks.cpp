#include "app/export/slicesinks.h"

#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <new>
#include <optional>
#include <system_error>
#include <thread>

#include "app/export/exportcommit.h"
#include "pgraphic/core/errors.h"
#include "pgraphic/core/stream.h"
#include "pgraphic/formats/registry.h"

void RaiseOutOfMemory(const std::string& path) {
  throw EExportError("Out of memory while writing \"" + path + "\"; no file was replaced.");
}

bool CutsGrey(const TPixelGraphic& source, const std::string& writer) {
  if (source.PixelFormat() != pgpf8Bit || source.PaletteIdent() != pGray256 || writer.empty()) return false;
  try {
    return FindWriter(writer).WritesGrey;
  } catch (const EPixelGraphic&) {
    return false;  // no such writer: the save says so
  }
}

void CutCell(TPixelGraphic& slice, TPixelGraphic& source, const TGridCell& cell,
             const std::string& path, bool grey) {
  try {
    slice.SetSizeAndFormat(cell.Width, cell.Height, grey ? pgpf8Bit : pgpf24Bit);
    if (grey) slice.SetPaletteIdent(pGray256);
    slice.CopyRect(0, 0, source, cell.Left, cell.Top, cell.Width, cell.Height);
    slice.ColorProfile = source.ColorProfile;
  } catch (const EPGInvalidSize&) {
    throw;  // a limit of the library, not of the machine
  } catch (const EPixelGraphic&) {
    // The cell lies inside an image that exists, so its size is one the
    // library can hold: what failed is the allocation of its pixels.
    RaiseOutOfMemory(path);
  } catch (const std::bad_alloc&) {
    RaiseOutOfMemory(path);
  }
}

TRGB AverageColor(TPixelGraphic& source, const TGridCell& cell) {
  std::uint64_t sum[3] = {0, 0, 0};
  std::uint64_t count = 0;
  const int right = std::min<std::int64_t>(std::int64_t(cell.Left) + cell.Width, source.Width());
  const int bottom = std::min<std::int64_t>(std::int64_t(cell.Top) + cell.Height, source.Height());
  const int left = std::max(cell.Left, 0);
  for (int y = std::max(cell.Top, 0); y < bottom; ++y) {
    const std::uint8_t* row = source.PixelFormat() == pgpf24Bit ? source.ScanLine(y) : nullptr;
    for (int x = left; x < right; ++x, ++count) {
      if (row) {  // blue, green, red
        sum[2] += row[3 * x];
        sum[1] += row[3 * x + 1];
        sum[0] += row[3 * x + 2];
        continue;
      }
      const TRGB c = source.GetPixelColor(x, y);
      sum[0] += GetRValue(c);
      sum[1] += GetGValue(c);
      sum[2] += GetBValue(c);
    }
  }
  if (count == 0) return 0;
  return RGBColor(unsigned((sum[0] + count / 2) / count), unsigned((sum[1] + count / 2) / count),
                  unsigned((sum[2] + count / 2) / count));
}

// A window has the very bytes a cut would have.
bool WindowFits(const TPixelGraphic& source, const TGridCell& cell) {
  return source.PixelFormat() == pgpf24Bit && !source.Empty() && cell.Left >= 0 && cell.Top >= 0 &&
         cell.Width > 0 && cell.Height > 0 && std::int64_t(cell.Left) + cell.Width <= source.Width() &&
         std::int64_t(cell.Top) + cell.Height <= source.Height();
}

namespace {

// A slice image with the settings of the export's slice image.
std::unique_ptr<TPixelGraphic> NewSliceImage(const TPixelGraphic& slice) {
  auto image = std::make_unique<TPixelGraphic>();
  image->ReadWarningAction = slice.ReadWarningAction;
  image->SaveColorResWarningAction = slice.SaveColorResWarningAction;
  image->Dither = slice.Dither;
  image->SetRGBWeighting(slice.RGBWeighting());
  image->FileGamma = slice.FileGamma;
  return image;
}

// The slice of a cell as its own image: a window on the source where that
// gives the same bytes, a cut copy otherwise.
std::unique_ptr<TPixelGraphic> CellImage(TPixelGraphic& source, const TGridCell& cell,
                                         const std::string& path, const TPixelGraphic& slice, bool grey) {
  std::unique_ptr<TPixelGraphic> image = NewSliceImage(slice);
  if (WindowFits(source, cell))
    image->ShowRowsOf(source, cell.Left, cell.Top, cell.Width, cell.Height);
  else
    CutCell(*image, source, cell, path, grey);
  return image;
}

// The width x height rectangle at (x, y) of from, scaled to a slice of
// scaledWidth x scaledHeight by the precise (area) filter.
std::unique_ptr<TPixelGraphic> ScaledCell(TPixelGraphic& from, const TGridCell& rect, int scaledWidth,
                                          int scaledHeight, const TPixelGraphic& slice,
                                          const std::string& path, bool grey) {
  std::unique_ptr<TPixelGraphic> image = NewSliceImage(slice);
  try {
    image->SetSizeAndFormat(scaledWidth, scaledHeight, pgpf24Bit);
  } catch (const EPGInvalidSize&) {
    throw;
  } catch (const EPixelGraphic&) {
    RaiseOutOfMemory(path);
  }
  image->StretchMode = smPrecise;
  image->StretchCopy(0, 0, scaledWidth, scaledHeight, from, rect.Left, rect.Top, rect.Width, rect.Height);
  if (!grey) return image;
  // The greys scale to greys: the grey slice holds them exactly.
  std::unique_ptr<TPixelGraphic> greys = NewSliceImage(slice);
  const TGridCell whole{0, 0, 0, 0, scaledWidth, scaledHeight};
  CutCell(*greys, *image, whole, path, true);
  return greys;
}

// The writer of slice number index: its own format's, the plan's, or the
// one its extension names.
std::string SliceWriter(const TSliceSinkPlan& plan, std::size_t index, const std::string& path) {
  const TSliceFormat* format = plan.Formats.empty() || !plan.Formats[index].Format ? nullptr : &plan.Formats[index];
  return format ? format->Format->Writer : plan.Writer.empty() ? FileExtensionOf(path) : plan.Writer;
}

// The image written as slice file `index` at path, complete and synced, or
// a failure.
TStagedFile StageSlice(TPixelGraphic& image, const std::string& path, const TSliceSinkPlan& plan,
                       std::size_t index, TSliceOutcome& outcome) {
  // A slice without a format goes by the plan's writer or its extension.
  const TSliceFormat* format = plan.Formats.empty() || !plan.Formats[index].Format ? nullptr : &plan.Formats[index];
  if (format && format->InMemory()) return StageEncodedSlice(image, path, *format, plan.Rules, outcome);
  try {
    TStagedFile file(path);
    const std::string writer = SliceWriter(plan, index, path);
    image.SaveToStreamExt(file.Stream(), writer);
    outcome = {path, writer, -1, std::uint64_t(file.Stream().Position()), ""};
    file.Finish();
    return file;
  } catch (const std::bad_alloc&) {
    RaiseOutOfMemory(path);
  }
}

// The window's road: each slice is staged before the next cell is looked at.
class TDirectSink : public TSliceSink {
 public:
  explicit TDirectSink(const TSliceSinkPlan& plan) : Plan(plan) {}

  void Put(std::size_t index, TPixelGraphic& source, const TGridCell& cell, const std::string& path,
           TPGFinalRows*) override {
    const bool grey = CutsGrey(source, SliceWriter(Plan, index, path));
    if (Plan.KeepLastSlice) {
      CutCell(*Plan.Slice, source, cell, path, grey);
      Stage(*Plan.Slice, path, index);
      return;
    }
    std::unique_ptr<TPixelGraphic> image;
    try {
      image = CellImage(source, cell, path, *Plan.Slice, grey);
    } catch (const std::bad_alloc&) {
      RaiseOutOfMemory(path);
    }
    Stage(*image, path, index);
  }
  void PutScaled(std::size_t index, TPixelGraphic& source, const TGridCell& cell, int width, int height,
                 const std::string& path) override {
    try {
      const bool grey = CutsGrey(source, SliceWriter(Plan, index, path));
      Stage(*ScaledCell(source, cell, width, height, *Plan.Slice, path, grey), path, index);
    } catch (const std::bad_alloc&) {
      RaiseOutOfMemory(path);
    }
  }
  std::vector<TStagedFile> Finish() override { return std::move(Staged); }
  std::string SlicePath(std::size_t index) override { return Done.at(index).Path; }
  std::vector<TSliceOutcome> Outcomes() const override { return Done; }

 private:
  void Stage(TPixelGraphic& image, const std::string& path, std::size_t index) {
    TSliceOutcome outcome;
    Staged.push_back(StageSlice(image, path, Plan, index, outcome));
    if (Done.size() <= index) Done.resize(index + 1);
    Done[index] = std::move(outcome);
  }

  TSliceSinkPlan Plan;
  std::vector<TStagedFile> Staged;
  std::vector<TSliceOutcome> Done;  // by slice number
};

// One slice between its cut and its staged file.
struct TSliceJob {
  std::size_t Index = 0;
  std::string Path;
  std::unique_ptr<TPGFinalRowsGate> Gate;  // for a window on rows still coming
  std::unique_ptr<TPixelGraphic> Own;      // the window or copy made for this cell
  TPixelGraphic* Image = nullptr;      // what is written: Own, or the export's slice image
  std::int64_t Held = 0;               // pixels of a copy, counted against the budget
  int ScaledWidth = 0;                 // when not 0, Image is written scaled to this size
  int ScaledHeight = 0;
  bool Grey = false;                   // cut, and scaled, as 256 greys
  std::optional<TStagedFile> File;     // complete and synced once Done without Error
  TSliceOutcome Outcome;               // with it
  std::exception_ptr Error;
  bool Done = false;
};

[[noreturn]] void RaiseFailure(const TSliceJob& job) {
  try {
    std::rethrow_exception(job.Error);
  } catch (const std::bad_alloc&) {
    RaiseOutOfMemory(job.Path);
  }
}

// Cells come in any order, are staged by the workers, and are collected in
// cell order: the first failure in that order is the one raised, as on one
// thread. The pixels of cut copies waiting for a worker stay within a byte
// budget; windows hold none.
class TThreadedSink : public TSliceSink {
 public:
  TThreadedSink(int threads, std::int64_t budget, const TSliceSinkPlan& plan);
  ~TThreadedSink() override;
  TThreadedSink(const TThreadedSink&) = delete;
  TThreadedSink& operator=(const TThreadedSink&) = delete;

  void Put(std::size_t index, TPixelGraphic& source, const TGridCell& cell, const std::string& path,
           TPGFinalRows* pending) override;
  void PutScaled(std::size_t index, TPixelGraphic& source, const TGridCell& cell, int width,
                 int height, const std::string& path) override;
  std::vector<TStagedFile> Finish() override;
  std::string SlicePath(std::size_t index) override;
  std::vector<TSliceOutcome> Outcomes() const override;
  bool Concurrent() const override { return true; }
  void HoldFailures(bool hold) override { Holding = hold; }
  void GiveRowsBack(TPGRowMemory* memory) override { Memory = memory; }

 private:
  void Work();
  void Add(std::unique_ptr<TSliceJob> job, std::size_t index, TPixelGraphic& source,
           const TGridCell& cell, TPGFinalRows* pending);
  void Prepare(TSliceJob& job, std::size_t index, TPixelGraphic& source, const TGridCell& cell,
               TPGFinalRows* pending);
  void WaitForRoom(std::int64_t bytes);
  void RaiseSettledFailure();
  [[noreturn]] void RaiseFirstFailureUpTo(std::size_t index, const TSliceJob& failed);

  std::int64_t Budget;
  TSliceSinkPlan Plan;
  bool Holding = false;  // read and written by the cutting thread only
  TPGRowMemory* Memory = nullptr;  // set before the first job

  std::mutex Lock;
  std::condition_variable WorkReady;
  std::condition_variable JobDone;
  std::vector<std::unique_ptr<TSliceJob>> Jobs;  // by cell number; null until handed over
  std::deque<TSliceJob*> Queue;                  // handed over, not yet taken by a worker
  std::size_t Settled = 0;                       // jobs before this one are done without failure
  std::int64_t HeldBytes = 0;                    // pixels of the copies not yet staged
  bool Stopping = false;
  std::vector<std::thread> Workers;
};

TThreadedSink::TThreadedSink(int threads, std::int64_t budget, const TSliceSinkPlan& plan)
    : Budget(budget), Plan(plan), Jobs(plan.Cells) {
  try {
    for (int i = 0; i < threads; ++i) Workers.emplace_back([this] { Work(); });
  } catch (...) {
    if (Workers.empty()) throw;  // fewer workers than asked for still do the job
  }
}

// Reached normally after Finish, or on a failure: workers leave what they
// have not started, and staged files that were never collected go.
TThreadedSink::~TThreadedSink() {
  {
    std::lock_guard<std::mutex> guard(Lock);
    Stopping = true;
  }
  WorkReady.notify_all();
  for (std::thread& worker : Workers) worker.join();
}

void TThreadedSink::Work() {
  std::unique_lock<std::mutex> lock(Lock);
  for (;;) {
    WorkReady.wait(lock, [this] { return Stopping || !Queue.empty(); });
    if (Stopping) return;
    TSliceJob& job = *Queue.front();
    Queue.pop_front();
    lock.unlock();
    if (Memory) Memory->Begin(job.Index);
    try {
      if (job.ScaledWidth > 0) {
        const TGridCell whole{0, 0, 0, 0, job.Image->Width(), job.Image->Height()};
        job.File.emplace(StageSlice(
            *ScaledCell(*job.Image, whole, job.ScaledWidth, job.ScaledHeight, *Plan.Slice, job.Path, job.Grey),
            job.Path, Plan, job.Index, job.Outcome));
      } else {
        job.File.emplace(StageSlice(*job.Image, job.Path, Plan, job.Index, job.Outcome));
      }
    } catch (...) {
      job.Error = std::current_exception();
    }
    job.Own.reset();
    if (Memory) Memory->Done(job.Index);
    lock.lock();
    HeldBytes -= job.Held;
    job.Done = true;
    JobDone.notify_all();
  }
}

// A lone copy always gets through, so that progress never stops.
void TThreadedSink::WaitForRoom(std::int64_t bytes) {
  std::unique_lock<std::mutex> lock(Lock);
  JobDone.wait(lock, [&] { return HeldBytes == 0 || HeldBytes + bytes <= Budget; });
}

void TThreadedSink::Prepare(TSliceJob& job, std::size_t index, TPixelGraphic& source,
                            const TGridCell& cell, TPGFinalRows* pending) {
  if (pending) {
    job.Gate = std::make_unique<TPGFinalRowsGate>(*pending, cell.Top, cell.Height,
                                                  source.BytesPerRow(), Memory, index);
    job.Own = NewSliceImage(*Plan.Slice);
    job.Own->ShowRowsOf(source, cell.Left, cell.Top, cell.Width, cell.Height, job.Gate.get());
    job.Image = job.Own.get();
    return;
  }
  job.Grey = CutsGrey(source, SliceWriter(Plan, index, job.Path));
  if (Plan.KeepLastSlice && index + 1 == Plan.Cells) {
    CutCell(*Plan.Slice, source, cell, job.Path, job.Grey);
    job.Image = Plan.Slice;
    return;
  }
  if (!WindowFits(source, cell)) WaitForRoom(BytesPerRowFor(24, cell.Width) * cell.Height);
  job.Own = CellImage(source, cell, job.Path, *Plan.Slice, job.Grey);
  job.Image = job.Own.get();
  if (!job.Own->ShowsRowsOfAnother()) job.Held = job.Own->ImageSize();
}

void TThreadedSink::Put(std::size_t index, TPixelGraphic& source, const TGridCell& cell,
                        const std::string& path, TPGFinalRows* pending) {
  auto job = std::make_unique<TSliceJob>();
  job->Path = path;
  Add(std::move(job), index, source, cell, pending);
}

// The worker scales a window on the cell (or a copy of it): never the
// source itself, which other workers read at the same time.
void TThreadedSink::PutScaled(std::size_t index, TPixelGraphic& source, const TGridCell& cell,
                              int width, int height, const std::string& path) {
  auto job = std::make_unique<TSliceJob>();
  job->Path = path;
  job->ScaledWidth = width;
  job->ScaledHeight = height;
  Add(std::move(job), index, source, cell, nullptr);
}

void TThreadedSink::Add(std::unique_ptr<TSliceJob> job, std::size_t index, TPixelGraphic& source,
                        const TGridCell& cell, TPGFinalRows* pending) {
  job->Index = index;
  if (!Holding) RaiseSettledFailure();
  try {
    Prepare(*job, index, source, cell, pending);
  } catch (...) {
    // While held, this cell is tried again later. Otherwise the cells
    // before it come first, their failures too.
    if (Holding) throw;
    job->Error = std::current_exception();
    RaiseFirstFailureUpTo(index, *job);
  }
  if (Memory) Memory->Queue(index);
  std::lock_guard<std::mutex> guard(Lock);
  HeldBytes += job->Held;
  Queue.push_back(job.get());
  Jobs[index] = std::move(job);
  WorkReady.notify_one();
}

// Raises the first failure in cell order once every cell before it is
// staged: the export can end without cutting the rest.
void TThreadedSink::RaiseSettledFailure() {
  std::unique_lock<std::mutex> lock(Lock);
  while (Settled < Jobs.size() && Jobs[Settled] && Jobs[Settled]->Done && !Jobs[Settled]->Error)
    ++Settled;
  if (Settled == Jobs.size() || !Jobs[Settled] || !Jobs[Settled]->Done) return;
  const TSliceJob& failed = *Jobs[Settled];
  lock.unlock();
  RaiseFailure(failed);
}

// Every cell before index has been handed over: the first of their
// failures, or failed's own.
void TThreadedSink::RaiseFirstFailureUpTo(std::size_t index, const TSliceJob& failed) {
  std::unique_lock<std::mutex> lock(Lock);
  for (std::size_t i = 0; i < index; ++i) {
    if (!Jobs[i]) continue;
    JobDone.wait(lock, [&] { return Jobs[i]->Done; });
    if (!Jobs[i]->Error) continue;
    lock.unlock();
    RaiseFailure(*Jobs[i]);
  }
  lock.unlock();
  RaiseFailure(failed);
}

std::vector<TStagedFile> TThreadedSink::Finish() {
  std::unique_lock<std::mutex> lock(Lock);
  std::vector<TStagedFile> staged;
  for (const std::unique_ptr<TSliceJob>& job : Jobs) {
    if (!job) continue;
    JobDone.wait(lock, [&] { return job->Done; });
    if (job->Error) {
      lock.unlock();
      RaiseFailure(*job);
    }
    staged.push_back(std::move(*job->File));
  }
  return staged;
}

// Only a chosen format's path waits for its slice.
std::string TThreadedSink::SlicePath(std::size_t index) {
  std::unique_lock<std::mutex> lock(Lock);
  const TSliceJob& job = *Jobs.at(index);
  if (Plan.Formats.empty() || !Plan.Formats[index].Format || !Plan.Formats[index].Format->Chosen()) return job.Path;
  JobDone.wait(lock, [&] { return job.Done; });
  lock.unlock();
  if (job.Error) RaiseFailure(job);
  return job.Outcome.Path;
}

std::vector<TSliceOutcome> TThreadedSink::Outcomes() const {
  std::vector<TSliceOutcome> outcomes;
  for (const std::unique_ptr<TSliceJob>& job : Jobs)
    if (job) outcomes.push_back(job->Outcome);
  return outcomes;
}

}  // namespace

std::unique_ptr<TPixelGraphic> SliceImageOf(TPixelGraphic& source, const TGridCell& cell,
                                            const TPixelGraphic& slice, const std::string& path, int width,
                                            int height, bool grey) {
  try {
    if (width == 0) return CellImage(source, cell, path, slice, grey);
    return ScaledCell(source, cell, width, height, slice, path, grey);
  } catch (const std::bad_alloc&) {
    RaiseOutOfMemory(path);
  }
}

TStagedFile StageEncodedSlice(TPixelGraphic& image, const std::string& path, const TSliceFormat& format,
                              const TEncodeRules& rules, TSliceOutcome& outcome) {
  try {
    const TEncodedSlice slice = EncodeSlice(image, format, rules);
    const std::string target = format.Format->Chosen() ? path + slice.Format->Extension : path;
    TStagedFile file(target);
    file.Stream().WriteBuffer(slice.Bytes.data(), std::int64_t(slice.Bytes.size()));
    file.Finish();
    outcome = {target, slice.Format->Name, slice.Quality, slice.Bytes.size(), slice.Reason};
    return file;
  } catch (const std::bad_alloc&) {
    RaiseOutOfMemory(path);
  }
}

std::unique_ptr<TSliceSink> MakeDirectSink(const TSliceSinkPlan& plan) {
  return std::make_unique<TDirectSink>(plan);
}

std::unique_ptr<TSliceSink> MakeThreadedSink(int threads, std::int64_t budget, const TSliceSinkPlan& plan) {
  return std::make_unique<TThreadedSink>(threads, budget, plan);
}
