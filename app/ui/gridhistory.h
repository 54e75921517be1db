#pragma once
// The undo history of the grid: every change to the lines or to the slices'
// texts is one step on a QUndoStack, holding what the grid data was before
// and after it. The data itself lives with the window; a step that is undone
// or redone puts its state back and says so.

#include <QObject>
#include <QString>
#include <QUndoStack>

#include "app/cut/griddata.h"

class TGridHistory : public QObject {
  Q_OBJECT

 public:
  explicit TGridHistory(TGridData& data, QObject* parent = nullptr);

  QUndoStack& Stack() { return FStack; }

  // Makes `after` the data, as one step (none when nothing changes).
  // Steps with the same mergeKey (>= 0) that follow each other become one,
  // as a line nudged again and again.
  void Apply(const QString& text, const TGridData& after, int mergeKey = -1);
  // The lines were changed in place since `before` (a drag): records that
  // as one step, what belongs to cells following them (WithLines).
  void RecordLines(const QString& text, const TGridData& before, int mergeKey = -1);
  // A new image: its history starts empty.
  void Clear() { FStack.clear(); }

  // The data the steps work on.
  TGridData& Data() { return FData; }
  // Puts a state in place and tells about it (the steps call it).
  void Restore(const TGridData& state);

 signals:
  // The data changed: a step was made, undone or redone.
  void Changed();

 private:
  TGridData& FData;
  QUndoStack FStack;
};
