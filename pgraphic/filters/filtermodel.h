#pragma once
// The colour adjustment dialogs without their window: three slider channels
// per dialog, their ranges and texts, and the filter whose tables follow the
// slider values. The form, the preview view and the preview threads build on
// this model.

#include <array>
#include <functional>
#include <memory>
#include <string>

#include "pgraphic/core/types.h"
#include "pgraphic/filters/filters.h"

class TPixelGraphic;

// One slider with its scale.
struct TFilterChannel {
  bool Present = true;
  int Minimum = -100;
  int Maximum = 100;
  int Frequency = 10;
  int NeutralMark = 0;
  int CaptionWidth = 14;
  std::string Caption;
  std::string MinLabel;
  std::string MiddleLabel;
  std::string MaxLabel;
  int ValueLabelWidth = 32;
  int Value = 0;
};

class TFilterDialog {
 public:
  virtual ~TFilterDialog();
  TFilterDialog(const TFilterDialog&) = delete;
  TFilterDialog& operator=(const TFilterDialog&) = delete;

  // The filter whose tables always match the current values.
  TPGFilter& Filter() { return *FFilter; }
  const TFilterChannel& Channel(int k) const { return FChannels.at(k); }
  int Value(int k) const { return Channel(k).Value; }
  // Stores value (limited to the channel's range) and rebuilds the tables on a change.
  void SetValue(int k, int value);
  // Text of channel k's value label.
  std::string ValueLabel(int k) const;
  const std::string& Caption() const { return FCaption; }

  virtual void LoadTexts() = 0;
  virtual std::unique_ptr<TPGFilter> CreateFilter() const = 0;
  virtual void BuildTables(TPGFilter& filter) const = 0;
  virtual std::string FormatValue1() const;
  virtual std::string FormatValue2() const;
  virtual std::string FormatValue3() const;
  virtual void SaveValues() {}
  virtual void RestoreValues() {}

  // Shows the dialog's window modally with a live preview of image, which is
  // only read; true when it was closed with OK, and Filter then matches the
  // values chosen (the caller applies it). Cancel puts back the values the
  // run started with. The window is built by the desktop side
  // (pgraphic_qt/filterdialogs), which programs calling this link.
  bool Execute(TPixelGraphic& image);

  // A fresh filter matching the current values, for a preview pass that
  // must own its filter.
  std::unique_ptr<TPGFilter> CreateCurrentFilter() const;

  // ---- the steps of a run that do not need a window
  // Remembers the values and fetches the texts before the form is built.
  void BeginRun();
  // Cancel puts back the values of BeginRun and the tables with them.
  void EndRun(bool accepted);
  // The sliders moved: take their positions, rebuild the tables, notify.
  void SlidersChanged(const std::array<int, 3>& positions);

  // Run after every slider change (the form's preview trigger).
  std::function<void()> OnChange;

  std::string Note;
  bool HasPreview = true;
  bool HasCheckBox = false;
  bool HasOptionButtons = false;
  bool ProgressClockVisible = false;
  TPaletteIdent Palette8BitSys24BitGraphic = pOptimized252Sys16;
  TPaletteIdent Palette8BitSys8BitGraphic = pOptimized252Sys16;

 protected:
  TFilterDialog() = default;
  // Called by the most derived constructor, where CreateFilter is final.
  void InitFilter();
  // A value as its label shows it: sign (or plus-minus for 0), number, unit.
  static std::string SignedText(int value, const std::string& unit);
  void SetPercentScale(TFilterChannel& channel);
  void SetDegreeScale(TFilterChannel& channel);
  // The channel's range as the value property sees it; H overrides to wrap.
  virtual int LimitValue(int k, int value) const;

  std::unique_ptr<TPGFilter> FFilter;
  std::array<TFilterChannel, 3> FChannels;
  std::string FCaption;
};

// Dialogs built on a three-table filter; they keep the values of a run's start.
class TXXXFilterDialog : public TFilterDialog {
 public:
  void SaveValues() override;
  void RestoreValues() override;

 protected:
  TXXXFilterDialog() = default;
  static TXXXFilter& Tables(TPGFilter& filter);
  // Table j from a percentage: entry i = clamp(i + value * 255 div 100).
  static void BuildPercentTable(TPGFilterTable& table, int value);
  void LoadChannelTexts(int captionEntry, int firstChannelEntry);

  std::array<int, 3> FSavedValues{};
};

class TRGBFilterDialog : public TXXXFilterDialog {
 public:
  TRGBFilterDialog();
  void LoadTexts() override;
  std::unique_ptr<TPGFilter> CreateFilter() const override;
  void BuildTables(TPGFilter& filter) const override;

  int Red() const { return Value(0); }
  int Green() const { return Value(1); }
  int Blue() const { return Value(2); }
  void SetRed(int v) { SetValue(0, v); }
  void SetGreen(int v) { SetValue(1, v); }
  void SetBlue(int v) { SetValue(2, v); }
};

class TCMYFilterDialog : public TXXXFilterDialog {
 public:
  TCMYFilterDialog();
  void LoadTexts() override;
  std::unique_ptr<TPGFilter> CreateFilter() const override;
  void BuildTables(TPGFilter& filter) const override;

  int Cyan() const { return Value(0); }
  int Magenta() const { return Value(1); }
  int Yellow() const { return Value(2); }
  void SetCyan(int v) { SetValue(0, v); }
  void SetMagenta(int v) { SetValue(1, v); }
  void SetYellow(int v) { SetValue(2, v); }
};

class THLSFilterDialog : public TXXXFilterDialog {
 public:
  THLSFilterDialog();
  void LoadTexts() override;
  std::unique_ptr<TPGFilter> CreateFilter() const override;
  void BuildTables(TPGFilter& filter) const override;
  std::string FormatValue1() const override;

  int H() const { return Value(0); }
  int L() const { return Value(1); }
  int S() const { return Value(2); }
  void SetH(int v) { SetValue(0, v); }
  void SetL(int v) { SetValue(1, v); }
  void SetS(int v) { SetValue(2, v); }

 protected:
  int LimitValue(int k, int value) const override;
};

// Wraps degrees by whole turns into -180..180 (270 -> -90, 540 -> 180).
int WrapDegrees(int value);

struct TPreviewSize {
  int Width = 0;
  int Height = 0;
};

// Size of the preview's source copy: the image shrunk, keeping its aspect,
// to fit a viewWidth x viewHeight client area; never enlarged.
TPreviewSize PreviewSourceSize(int viewWidth, int viewHeight, int imageWidth, int imageHeight);
