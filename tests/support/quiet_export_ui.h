#pragma once
// An export's questions answered without asking: the HTML path given,
// every file replaced, plain cell code; the code dialog may add text, and
// what became of the slices is kept.

#include <functional>
#include <string>
#include <vector>

#include "app/export/exporter.h"

namespace apptest {

class TQuietExportUi : public TExportUi {
 public:
  std::string Path;
  std::function<void(std::vector<std::string>&)> OnEditCode;
  std::vector<TSliceOutcome> Slices;

  bool ChooseHtmlFile(std::string& path) override {
    path = Path;
    return true;
  }
  bool ConfirmOverwrite(const std::string&, const std::string&) override { return true; }
  void ShowExportOptions(TExportOptions&) override {}
  std::string EditSliceTags(TPixelGraphic&, const TGridCell&, const TSliceTag& tag) override {
    return tag.PlainCode();
  }
  void SlicesEncoded(const std::vector<TSliceOutcome>& slices) override { Slices = slices; }
  void EditCode(std::vector<std::string>& lines) override {
    if (OnEditCode) OnEditCode(lines);
  }
};

}  // namespace apptest
