#include "app/ui/gridhistory.h"

#include <QUndoCommand>

#include "app/cut/carrydata.h"

namespace {

class TGridStep : public QUndoCommand {
 public:
  TGridStep(TGridHistory& history, const QString& text, TGridData before, TGridData after,
            int mergeKey)
      : QUndoCommand(text), FHistory(history), FBefore(std::move(before)),
        FAfter(std::move(after)), FMergeKey(mergeKey) {}

  void undo() override { FHistory.Restore(FBefore); }
  // Also run when the step is pushed, by which time the data holds it.
  void redo() override {
    if (!(FHistory.Data() == FAfter)) FHistory.Restore(FAfter);
  }
  int id() const override { return FMergeKey; }
  bool mergeWith(const QUndoCommand* other) override {
    const auto* next = dynamic_cast<const TGridStep*>(other);
    if (!next || next->FMergeKey != FMergeKey || !(next->FBefore == FAfter)) return false;
    FAfter = next->FAfter;
    // Nudged back to where it started: the step is no step at all.
    setObsolete(FAfter == FBefore);
    return true;
  }

 private:
  TGridHistory& FHistory;
  TGridData FBefore, FAfter;
  int FMergeKey;
};

}  // namespace

TGridHistory::TGridHistory(TGridData& data, QObject* parent) : QObject(parent), FData(data) {}

void TGridHistory::Apply(const QString& text, const TGridData& after, int mergeKey) {
  if (after == FData) return;
  TGridData before = FData;
  FData = after;
  FStack.push(new TGridStep(*this, text, std::move(before), after, mergeKey));
  emit Changed();
}

void TGridHistory::RecordLines(const QString& text, const TGridData& before, int mergeKey) {
  FData = WithLines(before, FData.Grid);
  if (FData == before) return;
  FStack.push(new TGridStep(*this, text, before, FData, mergeKey));
  emit Changed();
}

void TGridHistory::Restore(const TGridData& state) {
  FData = state;
  emit Changed();
}
