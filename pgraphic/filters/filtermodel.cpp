#include "pgraphic/filters/filtermodel.h"

#include <algorithm>
#include <cstdint>
#include <stdexcept>

#include "pgraphic/core/messages.h"

// ---- TFilterDialog

TFilterDialog::~TFilterDialog() = default;

void TFilterDialog::InitFilter() {
  FFilter = CreateFilter();
  BuildTables(*FFilter);
}

int TFilterDialog::LimitValue(int k, int value) const {
  const TFilterChannel& c = FChannels.at(k);
  return std::clamp(value, c.Minimum, c.Maximum);
}

void TFilterDialog::SetValue(int k, int value) {
  const int limited = LimitValue(k, value);
  TFilterChannel& channel = FChannels.at(k);
  if (channel.Value == limited) return;
  channel.Value = limited;
  BuildTables(*FFilter);
}

std::string TFilterDialog::SignedText(int value, const std::string& unit) {
  const std::string number = std::to_string(value) + unit;
  if (value > 0) return "+" + number;
  if (value == 0) return GetLangStr(msgPlusMinus) + number;
  return number;
}

std::string TFilterDialog::FormatValue1() const { return SignedText(Value(0), "%"); }
std::string TFilterDialog::FormatValue2() const { return SignedText(Value(1), "%"); }
std::string TFilterDialog::FormatValue3() const { return SignedText(Value(2), "%"); }

std::string TFilterDialog::ValueLabel(int k) const {
  switch (k) {
    case 0: return FormatValue1();
    case 1: return FormatValue2();
    case 2: return FormatValue3();
  }
  throw std::out_of_range("filter dialog channel");
}

void TFilterDialog::SetPercentScale(TFilterChannel& channel) {
  channel.MinLabel = "-100%";
  channel.MiddleLabel = GetLangStr(msgPlusMinus) + "0%";
  channel.MaxLabel = "+100%";
}

void TFilterDialog::SetDegreeScale(TFilterChannel& channel) {
  const std::string degree = GetLangStr(msgDegree);
  channel.MinLabel = "-180" + degree;
  channel.MiddleLabel = GetLangStr(msgPlusMinus) + "0" + degree;
  channel.MaxLabel = "+180" + degree;
}

std::unique_ptr<TPGFilter> TFilterDialog::CreateCurrentFilter() const {
  std::unique_ptr<TPGFilter> filter = CreateFilter();
  BuildTables(*filter);
  return filter;
}

void TFilterDialog::BeginRun() {
  SaveValues();
  LoadTexts();
}

void TFilterDialog::EndRun(bool accepted) {
  if (accepted) return;
  RestoreValues();
  BuildTables(*FFilter);
}

void TFilterDialog::SlidersChanged(const std::array<int, 3>& positions) {
  for (int k = 0; k < 3; ++k) FChannels[k].Value = LimitValue(k, positions[k]);
  BuildTables(*FFilter);
  if (OnChange) OnChange();
}

// ---- TXXXFilterDialog

void TXXXFilterDialog::SaveValues() {
  for (int k = 0; k < 3; ++k) FSavedValues[k] = FChannels[k].Value;
}

void TXXXFilterDialog::RestoreValues() {
  for (int k = 0; k < 3; ++k) FChannels[k].Value = FSavedValues[k];
}

TXXXFilter& TXXXFilterDialog::Tables(TPGFilter& filter) {
  auto* tables = dynamic_cast<TXXXFilter*>(&filter);
  if (!tables) throw std::invalid_argument("filter without tables");
  return *tables;
}

void TXXXFilterDialog::BuildPercentTable(TPGFilterTable& table, int value) {
  const int shift = value * 255 / 100;  // truncates toward zero
  for (int i = 0; i < 256; ++i) table[i] = static_cast<std::uint8_t>(std::clamp(i + shift, 0, 255));
}

// Captions sit in the message table as the dialog's title followed by its
// three channel letters.
void TXXXFilterDialog::LoadChannelTexts(int captionEntry, int firstChannelEntry) {
  FCaption = GetLangStr(captionEntry);
  for (int k = 0; k < 3; ++k) {
    FChannels[k].Caption = GetLangStr(firstChannelEntry + k);
    SetPercentScale(FChannels[k]);
  }
}

// ---- RGB and CMY dialogs

TRGBFilterDialog::TRGBFilterDialog() {
  LoadTexts();
  InitFilter();
}

void TRGBFilterDialog::LoadTexts() { LoadChannelTexts(msgRGBFilter, msgRGBFilter + 1); }

std::unique_ptr<TPGFilter> TRGBFilterDialog::CreateFilter() const {
  return std::make_unique<TRGBFilter>();
}

void TRGBFilterDialog::BuildTables(TPGFilter& filter) const {
  TXXXFilter& f = Tables(filter);
  for (int j = 0; j < 3; ++j) BuildPercentTable(f.Tables[j], FChannels[j].Value);
}

TCMYFilterDialog::TCMYFilterDialog() {
  LoadTexts();
  InitFilter();
}

void TCMYFilterDialog::LoadTexts() { LoadChannelTexts(msgCMYFilter, msgCMYFilter + 1); }

std::unique_ptr<TPGFilter> TCMYFilterDialog::CreateFilter() const {
  return std::make_unique<TCMYFilter>();
}

void TCMYFilterDialog::BuildTables(TPGFilter& filter) const {
  TXXXFilter& f = Tables(filter);
  for (int j = 0; j < 3; ++j) BuildPercentTable(f.Tables[j], FChannels[j].Value);
}

// ---- HLS dialog

int WrapDegrees(int value) {
  std::int64_t v = value;
  if (v > 180) v -= 360 * ((v - 180 + 359) / 360);
  if (v < -180) v += 360 * ((-180 - v + 359) / 360);
  return static_cast<int>(v);
}

THLSFilterDialog::THLSFilterDialog() {
  FChannels[0].Minimum = -180;
  FChannels[0].Maximum = 180;
  FChannels[0].Frequency = 15;
  LoadTexts();
  InitFilter();
}

void THLSFilterDialog::LoadTexts() {
  LoadChannelTexts(msgHLSFilter, msgHLSFilter + 1);
  SetDegreeScale(FChannels[0]);
}

std::unique_ptr<TPGFilter> THLSFilterDialog::CreateFilter() const {
  return std::make_unique<THLSFilter>();
}

void THLSFilterDialog::BuildTables(TPGFilter& filter) const {
  TXXXFilter& f = Tables(filter);
  const int steps = H() * 256 / 360;  // whole table steps, truncated toward zero
  for (int i = 0; i < 256; ++i) f.Tables[0][i] = static_cast<std::uint8_t>((i + steps + 256) % 256);
  BuildPercentTable(f.Tables[1], L());
  BuildPercentTable(f.Tables[2], S());
}

std::string THLSFilterDialog::FormatValue1() const {
  return SignedText(H(), GetLangStr(msgDegree));
}

int THLSFilterDialog::LimitValue(int k, int value) const {
  if (k == 0) return WrapDegrees(value);
  return TXXXFilterDialog::LimitValue(k, value);
}

// ---- preview source size

TPreviewSize PreviewSourceSize(int viewWidth, int viewHeight, int imageWidth, int imageHeight) {
  if (imageWidth <= 0 || imageHeight <= 0) return {};
  if (viewWidth >= imageWidth && viewHeight >= imageHeight) return {imageWidth, imageHeight};
  // A view without area cannot show a shrunk copy.
  if (viewWidth <= 0 || viewHeight <= 0) return {};
  const long double w = imageWidth, h = imageHeight, wc = viewWidth, hc = viewHeight;
  if (w / h > wc / hc) return {viewWidth, static_cast<int>(RoundHalfEven(h * wc / w))};
  return {static_cast<int>(RoundHalfEven(w * hc / h)), viewHeight};
}
