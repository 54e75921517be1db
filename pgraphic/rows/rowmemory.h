#pragma once
// The rows of an image that is read by a few holders (the writers of its
// slices, the writer of a converted file) while it still loads, and are
// kept by nobody afterwards: once every row of a band is final and every
// holder of it has left it, the band's buffer goes to the next band the
// reader fills (the image keeps its rows in bands, rowring.h), so that the
// memory is the rows in flight, not the picture, and is made once. A row
// whose band went reads as zeros. An image whose rows are in one block (its
// reader could not fill bands) keeps them all.
//
// Holders are all made before the first row is final: a row nobody holds
// goes back as soon as it is final. Safe on threads.
//
// The reader is held back where it runs far ahead of the writers (a JPEG
// decodes in a fraction of the time its slices take to encode): it waits
// while the final rows from the first that has not gone back on pass
// RowsInFlightLimit, as long as some writer is at work or queued for work
// and none waits for rows still loading. Only writers at work let rows go;
// one that waits for rows, or none to come, needs the reader to go on.

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

#include "pgraphic/core/pixelgraphic.h"

class TPGRowMemory {
 public:
  // image is sized; its pixel memory stays where it is while this lives.
  explicit TPGRowMemory(TPixelGraphic& image);
  TPGRowMemory(const TPGRowMemory&) = delete;
  TPGRowMemory& operator=(const TPGRowMemory&) = delete;

  // A holder of rows top to top + count - 1 (counted from the top, clipped
  // to the image); holders are numbered from 0 in the order made.
  std::size_t Hold(std::int64_t top, std::int64_t count);
  // The holder is done with the rows above row.
  void Leave(std::size_t holder, std::int64_t row);
  // The holder is done with all its rows (also when its writing failed).
  void Done(std::size_t holder);
  // Rows 0 to rows - 1 are final.
  void Final(std::int64_t rows);

  // The holder's writer is queued for work, or at work on its rows; both
  // until Done.
  void Queue(std::size_t holder);
  void Begin(std::size_t holder);
  // The holder's writer waits for rows still loading, or goes on again.
  void Await(std::size_t holder, bool waiting);
  // The reader: returns once the rows in flight are few enough, a writer
  // waits for rows, or none is at work or queued. After a wait, it waits for room for a quarter of the
  // limit, so that reader and writers do not take turns band by band.
  void WaitForRoom();
  // Rows in flight above which the reader waits: 16 MB of them, and at
  // least four bands.
  std::int64_t RowsInFlightLimit() const { return Limit; }

  // Bands whose buffers went to others so far.
  std::int64_t BandsLetGo() const;

 private:
  enum class TWork { Idle, Queued, Working, Waiting, Finished };
  struct THolder {
    std::int64_t Passed = 0;  // rows above this one are left
    std::int64_t End = 0;
    TWork Work = TWork::Idle;
  };
  void SetWork(THolder& holder, TWork work);
  std::int64_t RowsInFlight() const { return FinalRows - Low; }
  bool ReaderMayGo(std::int64_t limit) const;
  bool MayGoBack(std::int64_t row) const;
  void Drop(std::int64_t from, std::int64_t to);
  void GiveBack(std::int64_t from, std::int64_t to);
  void LetBandsGo(std::int64_t from, std::int64_t to);

  mutable std::mutex Lock;
  TPGRowRing* Ring;
  std::size_t BytesPerRow;
  std::int64_t Height;
  std::vector<std::int32_t> Holds;  // per row: holders that have not left it
  std::vector<bool> Given;          // per row: gone back
  std::vector<THolder> Holders;
  std::int64_t FinalRows = 0;
  std::int64_t Low = 0;  // the first row not gone back
  std::int64_t BandsGone = 0;
  std::int64_t Limit;
  int Busy = 0;     // holders whose writers are queued or at work
  int Waiting = 0;  // holders whose writers wait for rows
  bool ReaderWaits = false;
  std::condition_variable Room;
};
