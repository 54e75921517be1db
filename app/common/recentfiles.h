#pragma once
// A list of recently used files (recent images, recent grids): at most ten
// paths, most recent first, compared without regard to letter case, kept in
// the settings store as "Item_0".."Item_9".

#include <functional>
#include <string>
#include <vector>

#include "app/common/settingsstore.h"

class TRecentFiles {
 public:
  static constexpr int MaxItems = 10;

  // componentName is e.g. "MRUManager1"; ownerClass the owning window's class.
  explicit TRecentFiles(std::string componentName, std::string ownerClass = "TForm1");

  // Puts path at the top: moved there when present (in any letter case),
  // otherwise inserted, dropping the eleventh entry.
  void Add(const std::string& path);
  int Count() const { return static_cast<int>(FItems.size()); }
  const std::string& Items(int index) const;
  const std::vector<std::string>& Paths() const { return FItems; }

  // Menu captions: "&1".."&9", "&A", a tab, the full path.
  std::vector<std::string> Captions() const;
  static std::string CaptionFor(int index, const std::string& path);
  bool MenuEnabled() const { return !FItems.empty(); }

  // The store section of this list inside the owner's section, e.g.
  // "Tessel\TForm1.MRUManager1" for storeSection "Tessel".
  std::string SectionIn(const std::string& storeSection) const;
  void LoadFrom(TSettingsStore& store, const std::string& storeSection);
  void SaveTo(TSettingsStore& store, const std::string& storeSection) const;

  // Fired after every change so the menu can be rebuilt at once.
  std::function<void()> OnChange;

 private:
  int Find(const std::string& path) const;
  void Changed();

  std::string FComponentName;
  std::string FOwnerClass;
  std::vector<std::string> FItems;
};

bool SameTextIgnoringCase(const std::string& a, const std::string& b);
