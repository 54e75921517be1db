#include "app/slicesinks.h"

#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <new>
#include <optional>
#include <system_error>
#include <thread>

#include "app/exportcommit.h"
#include "pgraphic/core/errors.h"
#include "pgraphic/core/stream.h"
#include "pgraphic/formats/registry.h"

void RaiseOutOfMemory(const std::string& path) {
  throw EExportError("Out of memory while writing \"" + path + "\"; no file was replaced.");
}

void CutCell(TPixelGraphic& slice, TPixelGraphic& source, const TGridCell& cell,
             const std::string& path) {
  try {
    slice.SetSizeAndFormat(cell.Width, cell.Height, pgpf24Bit);
    slice.CopyRect(0, 0, source, cell.Left, cell.Top, cell.Width, cell.Height);
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

namespace {

void StageBytes(std::optional<TStagedFile>& staged, const std::string& path,
                const std::vector<std::uint8_t>& bytes) {
  TStagedFile file(path);
  file.Stream().WriteBuffer(bytes.data(), std::int64_t(bytes.size()));
  file.Finish();
  staged.emplace(std::move(file));
}

// The window's road: each slice is cut into the slice image and staged
// before the next cell is looked at.
class TDirectSink : public TSliceSink {
 public:
  explicit TDirectSink(TPixelGraphic& slice) : Slice(slice) {}

  void Put(TPixelGraphic& source, const TGridCell& cell, const std::string& path) override {
    CutCell(Slice, source, cell, path);
    try {
      TStagedFile file(path);
      Slice.SaveToStreamExt(file.Stream(), FileExtensionOf(path));
      file.Finish();
      Staged.push_back(std::move(file));
    } catch (const std::bad_alloc&) {
      RaiseOutOfMemory(path);
    }
  }
  std::vector<TStagedFile> Finish() override { return std::move(Staged); }

 private:
  TPixelGraphic& Slice;
  std::vector<TStagedFile> Staged;
};

// One slice between its cut and its staged file.
struct TSliceJob {
  std::string Path;
  std::unique_ptr<TPixelGraphic> Image;
  std::optional<TStagedFile> File;  // complete and synced once Done without Error
  std::exception_ptr Error;
  bool Done = false;
};

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

// Runs on a worker: the bytes become a complete staged file, or none.
void StageSlice(TSliceJob& job, const std::vector<std::uint8_t>& bytes) {
  try {
    StageBytes(job.File, job.Path, bytes);
  } catch (...) {
    job.Error = std::current_exception();
  }
}

[[noreturn]] void RaiseFailure(const TSliceJob& job) {
  try {
    std::rethrow_exception(job.Error);
  } catch (const std::bad_alloc&) {
    RaiseOutOfMemory(job.Path);
  }
}

// Cells are cut here in cell order, encoded and staged by the workers, and
// collected here in cell order again: the first failure in that order is
// the one raised, as on one thread. The pixels held (cut cells not yet
// encoded, and spare images kept for reuse so that fresh memory need not be
// touched for every cell) stay within a byte budget.
class TThreadedSink : public TSliceSink {
 public:
  TThreadedSink(int threads, std::int64_t budget, TPixelGraphic& slice);
  ~TThreadedSink() override;
  TThreadedSink(const TThreadedSink&) = delete;
  TThreadedSink& operator=(const TThreadedSink&) = delete;

  void Put(TPixelGraphic& source, const TGridCell& cell, const std::string& path) override;
  std::vector<TStagedFile> Finish() override;
  bool Concurrent() const override { return true; }
  void HoldFailures(bool hold) override { Holding = hold; }

 private:
  void Work();
  void KeepSpare(std::unique_ptr<TPixelGraphic> image);
  std::unique_ptr<TPixelGraphic> ImageWithRoomFor(std::int64_t bytes);
  void CollectAll();
  void CollectFinished(std::unique_lock<std::mutex>& lock);
  std::unique_ptr<TPixelGraphic> NewSliceImage() const;

  std::int64_t Budget;
  TPixelGraphic& Slice;
  TPixelGraphic* LastSource = nullptr;
  TGridCell LastCell;
  std::string LastPath;
  bool Holding = false;  // read and written by the cutting thread only

  std::mutex Lock;
  std::condition_variable WorkReady;
  std::condition_variable JobDone;
  // Jobs not yet collected, in cell order; job number n sits at n - Collected.
  std::deque<std::unique_ptr<TSliceJob>> Pending;
  std::uint64_t Collected = 0;
  std::uint64_t Taken = 0;
  std::vector<TStagedFile> Staged;  // collected, in cell order
  std::vector<std::unique_ptr<TPixelGraphic>> Spares;
  std::int64_t HeldBytes = 0;  // pixels of the jobs not yet encoded and of the spares
  bool Stopping = false;
  std::vector<std::thread> Workers;
};

TThreadedSink::TThreadedSink(int threads, std::int64_t budget, TPixelGraphic& slice)
    : Budget(budget), Slice(slice) {
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
    WorkReady.wait(lock, [this] { return Stopping || Taken < Collected + Pending.size(); });
    if (Stopping) return;
    TSliceJob& job = *Pending[Taken++ - Collected];
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
    CollectFinished(lock);
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
  // Raises the failures of earlier cells that are found on the way.
  job->Image = ImageWithRoomFor(BytesPerRowFor(24, cell.Width) * cell.Height);
  try {
    CutCell(*job->Image, source, cell, path);
  } catch (...) {
    // The cells before this one come first, their failures too; while
    // held, this cell is tried again later.
    if (!Holding) CollectAll();
    throw;
  }
  LastSource = &source;
  LastCell = cell;
  LastPath = path;
  std::lock_guard<std::mutex> guard(Lock);
  HeldBytes += job->Image->ImageSize();
  Pending.push_back(std::move(job));
  WorkReady.notify_one();
}

void TThreadedSink::CollectAll() {
  std::unique_lock<std::mutex> lock(Lock);
  for (;;) {
    CollectFinished(lock);
    if (Pending.empty()) return;
    JobDone.wait(lock);
  }
}

std::vector<TStagedFile> TThreadedSink::Finish() {
  CollectAll();
  if (LastSource) CutCell(Slice, *LastSource, LastCell, LastPath);
  return std::move(Staged);
}

// Called with the lock held. A failure at the front is raised (with the lock
// released) unless failures are held.
void TThreadedSink::CollectFinished(std::unique_lock<std::mutex>& lock) {
  while (!Pending.empty() && Pending.front()->Done) {
    if (Pending.front()->Error && Holding) return;
    std::unique_ptr<TSliceJob> job = std::move(Pending.front());
    Pending.pop_front();
    ++Collected;
    if (job->Error) {
      lock.unlock();
      RaiseFailure(*job);
    }
    Staged.push_back(std::move(*job->File));
  }
}

}  // namespace

std::unique_ptr<TSliceSink> MakeDirectSink(TPixelGraphic& slice) {
  return std::make_unique<TDirectSink>(slice);
}

std::unique_ptr<TSliceSink> MakeThreadedSink(int threads, std::int64_t budget, TPixelGraphic& slice) {
  return std::make_unique<TThreadedSink>(threads, budget, slice);
}
