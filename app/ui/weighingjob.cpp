#include "app/ui/weighingjob.h"

#include <exception>

#include "pgraphic/core/settings.h"

TPageWeighingJob::TPageWeighingJob(const TPixelGraphic& source, TSplitGrid grid, TPageWeighing weighing)
    : FGrid(std::move(grid)), FWeighing(std::move(weighing)) {
  FSource.Assign(&source);
  FWeighing.Stop = &FStop;
}

// The work reads this job's own members.
TPageWeighingJob::~TPageWeighingJob() { StopAndWait(); }

void TPageWeighingJob::Execute() {
  try {
    const TPGThreadSettings scope(FWeighing.Settings);
    const TPixelGraphic slice;
    const std::vector<TSliceOutcome> outcomes = WeighSlices(FSource, FGrid, slice, FWeighing);
    FBytes = TotalBytes(outcomes);
    FSlices = int(outcomes.size());
  } catch (const std::exception& e) {
    FFailure = QString::fromStdString(e.what());
  }
  if (!FStop) Deliver(nullptr);
}
