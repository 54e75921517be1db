#include "app/ui/document.h"

#include <QUndoCommand>

#include <optional>

#include "app/cut/gridfit.h"

// One step: what the cut was before and after it.
class TCutStep : public QUndoCommand {
 public:
  TCutStep(TCutDocument& document, const QString& text, TGridData before, TGridData after, int mergeKey)
      : QUndoCommand(text), FDocument(document), FBefore(std::move(before)), FAfter(std::move(after)),
        FMergeKey(mergeKey) {}

  void undo() override { FDocument.Restore(FBefore); }
  // Also run when the step is pushed, by which time the cut holds it.
  void redo() override {
    if (!(FDocument.Data() == FAfter)) FDocument.Restore(FAfter);
  }
  int id() const override { return FMergeKey; }
  bool mergeWith(const QUndoCommand* other) override {
    const auto* next = dynamic_cast<const TCutStep*>(other);
    if (!next || next->FMergeKey != FMergeKey || !(next->FBefore == FAfter)) return false;
    FAfter = next->FAfter;
    // Nudged back to where it started: the step is no step at all.
    setObsolete(FAfter == FBefore);
    return true;
  }

 private:
  TCutDocument& FDocument;
  TGridData FBefore, FAfter;
  int FMergeKey;
};

TCutDocument::TCutDocument(QObject* parent) : QObject(parent) {}

bool TCutDocument::HasPlacedWork() const {
  TSplitGrid edges;
  edges.ResetToImage(FWidth, FHeight);
  return HasImage() && (!(FData.Grid == edges) || !FData.Tags.empty() || !FData.Cells.Empty());
}

TGridData TCutDocument::FittedTo(int width, int height) const {
  return WithLines(FData, LinesForNewImage(FData.Grid, FWidth, FHeight, width, height));
}

void TCutDocument::NewImage(const QString& path, const TFileIdentity& file, int width, int height) {
  TGridData edges;
  edges.Grid.ResetToImage(width, height);
  NewImage(path, file, width, height, std::move(edges));
}

void TCutDocument::NewImage(const QString& path, const TFileIdentity& file, int width, int height,
                            TGridData cut) {
  FImagePath = path;
  FImageFile = file;
  FWidth = width;
  FHeight = height;
  FData = std::move(cut);
  FStack.clear();
  emit Changed();
}

void TCutDocument::Apply(const QString& text, const TGridData& after, int mergeKey) {
  if (after == FData) return;
  TGridData before = FData;
  FData = after;
  FStack.push(new TCutStep(*this, text, std::move(before), after, mergeKey));
  emit Changed();
}

void TCutDocument::RecordLines(const QString& text, const TGridData& before, int mergeKey) {
  FData = WithLines(before, FData.Grid);
  if (FData == before) return;
  FStack.push(new TCutStep(*this, text, before, FData, mergeKey));
  emit Changed();
}

void TCutDocument::Restore(const TGridData& state) {
  FData = state;
  emit Changed();
}

bool TCutDocument::AddLine(bool horizontal, int position) {
  const std::optional<TGridData> added = WithLineAdded(FData, horizontal, position, horizontal ? FHeight : FWidth);
  if (!added) return false;
  Apply(QStringLiteral("Add Line"), *added);
  return true;
}

void TCutDocument::ClearSplits() {
  TGridData fresh;
  fresh.Grid.ResetToImage(FWidth, FHeight);
  Apply(QStringLiteral("Clear Splits"), fresh);
}

std::vector<std::pair<int, int>> TCutDocument::LoadGrid(const std::string& path,
                                                        const TGridMessageEvent& onMessage) {
  // Every line once, the texts with their slices, as the command line reads it.
  TGridReading reading;
  const TGridData loaded = ReadGridData(GridDataPathsFor(path, {}, true), FWidth, FHeight, reading);
  TellGridReading(reading, onMessage);
  Apply(QStringLiteral("Load Grid"), loaded);
  FStack.setClean();
  return reading.StrayTexts;
}

void TCutDocument::SaveGrid(const std::string& path) {
  SaveGridData(path, FData);
  FStack.setClean();
}

void TCutDocument::ExportEnded(const TTagMap& tags, const TCellData& cells, bool gridSaved) {
  if (tags == FData.Tags && cells == FData.Cells) {
    emit Changed();
  } else {
    TGridData after = FData;
    after.Tags = tags;
    after.Cells = cells;
    Apply(QStringLiteral("Slice Texts"), after);
  }
  if (gridSaved) FStack.setClean();
}
