#include "app/common/recentfiles.h"

#include <stdexcept>

#include "app/common/text.h"

namespace {

std::string ValueName(int index) { return "Item_" + std::to_string(index); }

}  // namespace

bool SameTextIgnoringCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && LowerAscii(a) == LowerAscii(b);
}

TRecentFiles::TRecentFiles(std::string componentName, std::string ownerClass)
    : FComponentName(std::move(componentName)), FOwnerClass(std::move(ownerClass)) {}

int TRecentFiles::Find(const std::string& path) const {
  for (int i = 0; i < Count(); ++i)
    if (SameTextIgnoringCase(FItems[static_cast<std::size_t>(i)], path)) return i;
  return -1;
}

void TRecentFiles::Changed() {
  if (OnChange) OnChange();
}

void TRecentFiles::Add(const std::string& path) {
  const int existing = Find(path);
  if (existing >= 0) FItems.erase(FItems.begin() + existing);
  FItems.insert(FItems.begin(), path);
  if (Count() > MaxItems) FItems.resize(MaxItems);
  Changed();
}

const std::string& TRecentFiles::Items(int index) const {
  if (index < 0 || index >= Count())
    throw std::out_of_range("List index out of bounds (" + std::to_string(index) + ")");
  return FItems[static_cast<std::size_t>(index)];
}

std::string TRecentFiles::CaptionFor(int index, const std::string& path) {
  const char number = index < 9 ? static_cast<char>('1' + index) : static_cast<char>('A' + index - 9);
  return std::string("&") + number + "\t" + path;
}

std::vector<std::string> TRecentFiles::Captions() const {
  std::vector<std::string> captions;
  for (int i = 0; i < Count(); ++i) captions.push_back(CaptionFor(i, FItems[static_cast<std::size_t>(i)]));
  return captions;
}

std::string TRecentFiles::SectionIn(const std::string& storeSection) const {
  return storeSection + "\\" + FOwnerClass + "." + FComponentName;
}

void TRecentFiles::LoadFrom(TSettingsStore& store, const std::string& storeSection) {
  const std::string section = SectionIn(storeSection);
  FItems.clear();
  // Empty or repeated entries (an edited store) are skipped, not trusted.
  for (int i = 0; i < MaxItems; ++i) {
    const std::optional<std::string> path = store.ReadString(section, ValueName(i));
    if (path && !path->empty() && Find(*path) < 0) FItems.push_back(*path);
  }
  Changed();
}

void TRecentFiles::SaveTo(TSettingsStore& store, const std::string& storeSection) const {
  const std::string section = SectionIn(storeSection);
  for (int i = 0; i < MaxItems; ++i) {
    if (i < Count())
      store.WriteString(section, ValueName(i), FItems[static_cast<std::size_t>(i)]);
    else
      store.DeleteValue(section, ValueName(i));
  }
}
