#include "app/export/slicesinks.h"

#include <condition_variable>
#include <exception>
#include <mutex>
#include <new>
#include <optional>
#include <system_error>
#include <thread>

#include "app/export/exporterror.h"
#include "pgraphic/core/errors.h"
#include "pgraphic/core/threadpool.h"
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

bool CutsGrey(const TPixelGraphic& source, const TPlannedSlice& slice) {
  const TSliceFormat& format = slice.Format.Format;
  return CutsGrey(source, !slice.Writer.empty() ? slice.Writer : format.Format ? format.Format->Writer : "");
}

void CutCell(TPixelGraphic& slice, TPixelGraphic& source, const TGridCell& cell,
             const std::string& path, bool grey) {
  try {
    slice.SetSizeAndFormat(cell.Width, cell.Height, grey ? pgpf8Bit : pgpf24Bit);
    if (grey) slice.SetPaletteIdent(pGray256);
    if (source.HasAlpha()) slice.AddAlpha();
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

// Each pixel of half (24-bit, sized already) the rounded mean of the 2 x 2
// block of from at (left, top) + twice its place. The area filter truncates
// each axis on its own, which darkens a half-size slice by half a level on
// average; a retina slice should look as the full one does.
void HalveInto(TPixelGraphic& half, TPixelGraphic& from, int left, int top) {
  const bool rgb = from.PixelFormat() == pgpf24Bit;
  const auto channels = [&](int x, int y, int sum[3]) {
    if (rgb) {
      const std::uint8_t* px = from.ScanLine(y) + 3 * std::size_t(x);
      sum[0] += px[0], sum[1] += px[1], sum[2] += px[2];
      return;
    }
    const TRGB colour = from.GetPixelColor(x, y);
    sum[0] += GetBValue(colour), sum[1] += GetGValue(colour), sum[2] += GetRValue(colour);
  };
  for (int y = 0; y < half.Height(); ++y) {
    std::uint8_t* line = half.ScanLine(y);
    for (int x = 0; x < half.Width(); ++x) {
      int sum[3] = {2, 2, 2};
      for (int dy = 0; dy < 2; ++dy)
        for (int dx = 0; dx < 2; ++dx) channels(left + 2 * x + dx, top + 2 * y + dy, sum);
      for (int c = 0; c < 3; ++c) line[3 * std::size_t(x) + std::size_t(c)] = std::uint8_t(sum[c] / 4);
    }
  }
}

// The width x height rectangle at (x, y) of from, scaled to a slice of
// scaledWidth x scaledHeight by the precise (area) filter.
std::unique_ptr<TPixelGraphic> ScaledCell(TPixelGraphic& from, const TGridCell& rect, int scaledWidth,
                                          int scaledHeight, const TPixelGraphic& slice,
                                          const std::string& path, bool grey) {
  std::unique_ptr<TPixelGraphic> image = NewSliceImage(slice);
  try {
    image->SetSizeAndFormat(scaledWidth, scaledHeight, pgpf24Bit);
    if (from.HasAlpha()) image->AddAlpha();
  } catch (const EPGInvalidSize&) {
    throw;
  } catch (const EPixelGraphic&) {
    RaiseOutOfMemory(path);
  }
  // The stretch weighs colours by their alpha and keeps the plane; the mean
  // of plain colours is for opaque cells.
  if (!from.HasAlpha() && rect.Width == 2 * scaledWidth && rect.Height == 2 * scaledHeight) {
    HalveInto(*image, from, rect.Left, rect.Top);
  } else {
    image->StretchMode = smPrecise;
    image->StretchCopy(0, 0, scaledWidth, scaledHeight, from, rect.Left, rect.Top, rect.Width, rect.Height);
  }
  if (!grey) return image;
  // The greys scale to greys: the grey slice holds them exactly.
  std::unique_ptr<TPixelGraphic> greys = NewSliceImage(slice);
  const TGridCell whole{0, 0, 0, 0, scaledWidth, scaledHeight};
  CutCell(*greys, *image, whole, path, true);
  return greys;
}

// A failure as the export reports it: memory that ran out names the slice.
[[noreturn]] void RethrowFailure(const std::exception_ptr& error, const std::string& path) {
  try {
    std::rethrow_exception(error);
  } catch (const std::bad_alloc&) {
    RaiseOutOfMemory(path);
  }
}

// A slice file of the plan, complete and synced, or a failure.
TStagedFile StageSlice(TPixelGraphic& image, const TPlannedSlice& slice, const TEncodeRules& rules,
                       TSliceOutcome& outcome) {
  try {
    if (slice.InMemory()) {
      const TEncodedSlice encoded = EncodeSlice(image, slice.Format.Format, rules);
      TStagedFile file(EncodedPath(slice, encoded));
      file.Stream().WriteBuffer(encoded.Bytes.data(), std::int64_t(encoded.Bytes.size()));
      file.Finish();
      outcome = EncodedOutcome(slice, encoded, rules.Settings);
      return file;
    }
    TStagedFile file(slice.Path);
    image.SaveToStreamExt(file.Stream(), slice.Writer);
    outcome = WrittenOutcome(slice, std::uint64_t(file.Stream().Position()), rules.Settings);
    file.Finish();
    return file;
  } catch (const std::bad_alloc&) {
    RaiseOutOfMemory(slice.Path);
  }
}

// The window's road: each slice is staged before the next cell is looked at.
class TDirectSink : public TSliceSink {
 public:
  TDirectSink(const TExportPlan& plan, TPixelGraphic& slice) : Plan(plan), Slice(slice) {}

  void Put(std::size_t index, TPixelGraphic& source, TPGFinalRows*) override {
    const TPlannedSlice& planned = Plan.Slices[index];
    const TGridCell& cell = Plan.Page.Cells[planned.Cell].Cell;
    const bool grey = CutsGrey(source, planned);
    if (planned.Width == 0 && Plan.Road.KeepLastSlice) {
      CutCell(Slice, source, cell, planned.Path, grey);
      Stage(Slice, index);
      return;
    }
    Stage(*SliceImageOf(source, cell, Slice, planned.Path, planned.Width, planned.Height, grey), index);
  }
  std::vector<TStagedFile> Finish() override { return std::move(Staged); }
  std::string SlicePath(std::size_t index) override { return Done.at(index).Path; }
  std::vector<TSliceOutcome> Outcomes() const override { return Done; }

 private:
  void Stage(TPixelGraphic& image, std::size_t index) {
    TSliceOutcome outcome;
    Staged.push_back(StageSlice(image, Plan.Slices[index], Plan.Rules, outcome));
    if (Done.size() <= index) Done.resize(index + 1);
    Done[index] = std::move(outcome);
  }

  const TExportPlan& Plan;
  TPixelGraphic& Slice;
  std::vector<TStagedFile> Staged;
  std::vector<TSliceOutcome> Done;  // by slice number
};

// One slice between its cut and its staged file.
struct TSliceJob {
  std::size_t Index = 0;
  std::unique_ptr<TPGFinalRowsGate> Gate;  // for a window on rows still coming
  std::unique_ptr<TPixelGraphic> Own;      // the window or copy made for this cell
  TPixelGraphic* Image = nullptr;          // what is written: Own, or the export's slice image
  std::int64_t Held = 0;                   // pixels of a copy, counted against the budget
  bool Grey = false;                       // cut, and scaled, as 256 greys
  std::optional<TStagedFile> File;         // complete and synced once Done without Error
  TSliceOutcome Outcome;                   // with it
  std::exception_ptr Error;
  bool Done = false;
};

// Cells come in any order, are staged on the pool's threads, and are
// collected in cell order: the first failure in that order is the one
// raised, as on one thread. The pixels of cut copies waiting for a thread
// stay within a byte budget; windows hold none.
class TThreadedSink : public TSliceSink {
 public:
  TThreadedSink(const TExportPlan& plan, TPixelGraphic& slice);
  ~TThreadedSink() override;
  TThreadedSink(const TThreadedSink&) = delete;
  TThreadedSink& operator=(const TThreadedSink&) = delete;

  void Put(std::size_t index, TPixelGraphic& source, TPGFinalRows* pending) override;
  std::vector<TStagedFile> Finish() override;
  std::string SlicePath(std::size_t index) override;
  std::vector<TSliceOutcome> Outcomes() const override;
  bool Concurrent() const override { return true; }
  void HoldFailures(bool hold) override { Holding = hold; }
  void GiveRowsBack(TPGRowMemory* memory) override { Memory = memory; }

 private:
  void Stage(TSliceJob& job);
  void Prepare(TSliceJob& job, TPixelGraphic& source, TPGFinalRows* pending);
  bool WaitOrRunHere(std::unique_lock<std::mutex>& lock);
  void WaitFor(const TSliceJob& job, std::unique_lock<std::mutex>& lock);
  void WaitForRoom(std::int64_t bytes);
  void RaiseSettledFailure();
  [[noreturn]] void RaiseFirstFailureUpTo(std::size_t index, const TSliceJob& failed);
  const TPlannedSlice& Planned(const TSliceJob& job) const { return Plan.Slices[job.Index]; }
  [[noreturn]] void RaiseFailure(const TSliceJob& job) const { RethrowFailure(job.Error, Planned(job).Path); }

  const TExportPlan& Plan;
  TPixelGraphic& Slice;
  bool Holding = false;            // read and written by the cutting thread only
  TPGRowMemory* Memory = nullptr;  // set before the first job

  std::mutex Lock;
  std::condition_variable JobDone;
  std::vector<std::unique_ptr<TSliceJob>> Jobs;  // by slice number; null until handed over
  std::size_t Settled = 0;                       // jobs before this one are done without failure
  std::int64_t HeldBytes = 0;                    // pixels of the copies not yet staged
  TPGTaskGroup Writers;
};

// A first job tells whether the pool has a thread for the export at all:
// where it runs on this thread, none could be started.
TThreadedSink::TThreadedSink(const TExportPlan& plan, TPixelGraphic& slice)
    : Plan(plan), Slice(slice), Jobs(plan.Slices.size()), Writers(plan.Road.Threads) {
  const std::thread::id here = std::this_thread::get_id();
  bool elsewhere = false;
  Writers.Run([&] { elsewhere = std::this_thread::get_id() != here; });
  Writers.Wait();
  if (!elsewhere) throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
}

// Reached normally after Finish, or on a failure: slices not yet started
// are dropped, and staged files that were never collected go.
TThreadedSink::~TThreadedSink() {
  Writers.Cancel();
  Writers.WaitForFailure();
}

void TThreadedSink::Stage(TSliceJob& job) {
  if (Memory) Memory->Begin(job.Index);
  try {
    const TPlannedSlice& planned = Planned(job);
    if (planned.Width > 0) {
      // Scaled here from a window on the cell (or a copy of it): never from
      // the source itself, which other threads read at the same time.
      const TGridCell whole{0, 0, 0, 0, job.Image->Width(), job.Image->Height()};
      job.File.emplace(StageSlice(*SliceImageOf(*job.Image, whole, Slice, planned.Path, planned.Width, planned.Height, job.Grey),
                                  planned, Plan.Rules, job.Outcome));
    } else {
      job.File.emplace(StageSlice(*job.Image, planned, Plan.Rules, job.Outcome));
    }
  } catch (...) {
    job.Error = std::current_exception();
  }
  job.Own.reset();
  if (Memory) Memory->Done(job.Index);
  std::lock_guard<std::mutex> guard(Lock);
  HeldBytes -= job.Held;
  job.Done = true;
  JobDone.notify_all();
}

// With the lock held: waits for a job to end. Where no thread of the pool
// works for the export any more (the system refused new ones), what is
// queued runs on this thread instead, but never while the source loads:
// the writers queued may wait for its rows. False then.
bool TThreadedSink::WaitOrRunHere(std::unique_lock<std::mutex>& lock) {
  if (Writers.Running() > 0) {
    JobDone.wait(lock);
    return true;
  }
  if (Holding) return false;
  lock.unlock();
  Writers.WaitForFailure();
  lock.lock();
  return true;
}

void TThreadedSink::WaitFor(const TSliceJob& job, std::unique_lock<std::mutex>& lock) {
  while (!job.Done)
    if (!WaitOrRunHere(lock)) throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
}

// A lone copy always gets through, so that progress never stops.
void TThreadedSink::WaitForRoom(std::int64_t bytes) {
  std::unique_lock<std::mutex> lock(Lock);
  while (HeldBytes != 0 && HeldBytes + bytes > Plan.CopyBudget)
    if (!WaitOrRunHere(lock)) throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
}

void TThreadedSink::Prepare(TSliceJob& job, TPixelGraphic& source, TPGFinalRows* pending) {
  const TPlannedSlice& planned = Planned(job);
  const TGridCell& cell = Plan.Page.Cells[planned.Cell].Cell;
  if (pending) {
    job.Gate = std::make_unique<TPGFinalRowsGate>(*pending, cell.Top, cell.Height, source.BytesPerRow(), Memory,
                                                  job.Index);
    job.Own = NewSliceImage(Slice);
    job.Own->ShowRowsOf(source, cell.Left, cell.Top, cell.Width, cell.Height, job.Gate.get());
    job.Image = job.Own.get();
    return;
  }
  job.Grey = CutsGrey(source, planned);
  if (planned.Width == 0 && Plan.Road.KeepLastSlice && job.Index + 1 == Plan.Slices.size()) {
    CutCell(Slice, source, cell, planned.Path, job.Grey);
    job.Image = &Slice;
    return;
  }
  if (!WindowFits(source, cell)) WaitForRoom(BytesPerRowFor(24, cell.Width) * cell.Height);
  job.Own = SliceImageOf(source, cell, Slice, planned.Path, 0, 0, job.Grey);
  job.Image = job.Own.get();
  if (!job.Own->ShowsRowsOfAnother()) job.Held = job.Own->ImageSize();
}

void TThreadedSink::Put(std::size_t index, TPixelGraphic& source, TPGFinalRows* pending) {
  auto job = std::make_unique<TSliceJob>();
  job->Index = index;
  if (!Holding) RaiseSettledFailure();
  try {
    Prepare(*job, source, Plan.Slices[index].Width == 0 ? pending : nullptr);
  } catch (...) {
    // While held, this cell is tried again later. Otherwise the cells
    // before it come first, their failures too.
    if (Holding) throw;
    job->Error = std::current_exception();
    RaiseFirstFailureUpTo(index, *job);
  }
  if (Memory) Memory->Queue(index);
  TSliceJob& queued = *job;
  {
    std::lock_guard<std::mutex> guard(Lock);
    HeldBytes += job->Held;
    Jobs[index] = std::move(job);
  }
  Writers.Run([this, &queued] { Stage(queued); });
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
    WaitFor(*Jobs[i], lock);
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
    WaitFor(*job, lock);
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
  if (!Planned(job).Chosen()) return Planned(job).Path;
  WaitFor(job, lock);
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

std::unique_ptr<TSliceSink> MakeDirectSink(const TExportPlan& plan, TPixelGraphic& slice) {
  return std::make_unique<TDirectSink>(plan, slice);
}

std::unique_ptr<TSliceSink> MakeThreadedSink(const TExportPlan& plan, TPixelGraphic& slice) {
  return std::make_unique<TThreadedSink>(plan, slice);
}
