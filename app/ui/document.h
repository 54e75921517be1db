#pragma once
// The cut being edited: the image it is of (its file, that file's identity
// and the image's size), the lines with what belongs to their cells (the
// slices' texts, merged, skipped and own-format cells), and the undo stack
// every change of them goes through, one step each. The window shows the
// document and sends its commands here. The stack's clean state tells
// whether the cut has changes that no grid file holds yet.

#include <QObject>
#include <QString>
#include <QUndoStack>

#include <string>
#include <utility>
#include <vector>

#include "app/cut/carrydata.h"
#include "app/cut/griddatafiles.h"
#include "pgraphic/core/stagedfile.h"

class TCutDocument : public QObject {
  Q_OBJECT

 public:
  explicit TCutDocument(QObject* parent = nullptr);

  // ---- the image
  bool HasImage() const { return FWidth > 0; }
  const QString& ImagePath() const { return FImagePath; }
  // What the image was loaded from: no export may replace that file.
  const TFileIdentity& ImageFile() const { return FImageFile; }
  int ImageWidth() const { return FWidth; }
  int ImageHeight() const { return FHeight; }
  // Whether anything was placed on the image: lines besides its edges,
  // texts or cells.
  bool HasPlacedWork() const;
  // The cut an image of width x height gets when it takes over the lines
  // of this one that fit it, with what belongs to their cells.
  TGridData FittedTo(int width, int height) const;
  // Another image, cut along `cut` (its edges alone when none is given);
  // the history starts empty and clean.
  void NewImage(const QString& path, const TFileIdentity& file, int width, int height);
  void NewImage(const QString& path, const TFileIdentity& file, int width, int height, TGridData cut);

  // ---- the cut
  const TGridData& Data() const { return FData; }
  // For changes made in place and recorded afterwards (RecordLines), as a
  // drag makes them.
  TGridData& Data() { return FData; }
  TSplitGrid& Grid() { return FData.Grid; }
  QUndoStack& Stack() { return FStack; }
  // Whether the cut changed since its image was opened, it was loaded
  // from or saved to a grid file, or an export wrote it.
  bool Modified() const { return !FStack.isClean(); }

  // Makes `after` the cut, as one step (none when nothing changes). Steps
  // with the same mergeKey (>= 0) that follow each other become one, as a
  // line nudged again and again.
  void Apply(const QString& text, const TGridData& after, int mergeKey = -1);
  // The lines were changed in place since `before` (a drag): records that
  // as one step, what belongs to cells following them (WithLines).
  void RecordLines(const QString& text, const TGridData& before, int mergeKey = -1);

  // ---- commands, each one step
  // A line across the image at `position`: false when it lies outside the
  // image or is there already.
  bool AddLine(bool horizontal, int position);
  // Back to the image's edges alone.
  void ClearSplits();
  // The grid file at `path` with the texts and cells beside it, each line
  // once. Returns the cells that have texts the grid has not, which are
  // left out. The cells file's warnings go to onMessage; errors raise, the
  // cut as it was.
  std::vector<std::pair<int, int>> LoadGrid(const std::string& path, const TGridMessageEvent& onMessage);
  // Writes the cut as a grid file with its companions.
  void SaveGrid(const std::string& path);
  // An export ran over the cut (also one that failed or was cancelled):
  // its lines are sorted now, and the texts and own formats its per-slice
  // dialogs confirmed become one step. written: the export finished, so its
  // files hold the cut as it now stands, and there is nothing to ask about
  // until the next change.
  void ExportEnded(const TTagMap& tags, const TCellData& cells, bool written);

 signals:
  // The cut changed: a step was made, undone or redone, another image or an
  // export's sorting came.
  void Changed();

 private:
  friend class TCutStep;
  // Puts a state in place and tells about it (the steps call it).
  void Restore(const TGridData& state);

  QString FImagePath;
  TFileIdentity FImageFile;
  int FWidth = 0;
  int FHeight = 0;
  TGridData FData;
  QUndoStack FStack;
};
