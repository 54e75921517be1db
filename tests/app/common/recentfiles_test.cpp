#include "app/common/recentfiles.h"

#include <gtest/gtest.h>

#include "app/common/settingsstore.h"

namespace {

using S = std::vector<std::string>;

TEST(RecentFiles, ElevenFilesKeepTheLastTen) {
  TRecentFiles list("MRUManager1");
  for (int i = 1; i <= 11; ++i) list.Add("/img/" + std::to_string(i) + ".bmp");
  ASSERT_EQ(list.Count(), 10);
  EXPECT_EQ(list.Items(0), "/img/11.bmp");
  EXPECT_EQ(list.Items(9), "/img/2.bmp");
}

TEST(RecentFiles, ExistingPathMovesToTopInAnyCase) {
  TRecentFiles list("MRUManager1");
  for (const char* p : {"/a.bmp", "/b.bmp", "/c.bmp"}) list.Add(p);
  list.Add("/b.bmp");
  EXPECT_EQ(list.Paths(), (S{"/b.bmp", "/c.bmp", "/a.bmp"}));
  list.Add("/A.BMP");
  EXPECT_EQ(list.Paths(), (S{"/A.BMP", "/b.bmp", "/c.bmp"}));
}

TEST(RecentFiles, FullListMovesWithoutDropping) {
  TRecentFiles list("MRUManager2");
  for (int i = 0; i < 10; ++i) list.Add("/g" + std::to_string(i));
  list.Add("/G0");
  EXPECT_EQ(list.Count(), 10);
  EXPECT_EQ(list.Items(0), "/G0");
  EXPECT_EQ(list.Items(9), "/g1");
}

TEST(RecentFiles, CaptionsNumberOneToNineThenA) {
  TRecentFiles list("MRUManager1");
  for (int i = 10; i >= 1; --i) list.Add("/p" + std::to_string(i));
  const S captions = list.Captions();
  ASSERT_EQ(captions.size(), 10u);
  EXPECT_EQ(captions[0], "&1\t/p1");
  EXPECT_EQ(captions[8], "&9\t/p9");
  EXPECT_EQ(captions[9], "&A\t/p10");
}

TEST(RecentFiles, MenuEnabledAndChangeNotice) {
  TRecentFiles list("MRUManager1");
  int changes = 0;
  list.OnChange = [&] { ++changes; };
  EXPECT_FALSE(list.MenuEnabled());
  list.Add("/x");
  EXPECT_TRUE(list.MenuEnabled());
  EXPECT_EQ(changes, 1);
  EXPECT_THROW(list.Items(1), std::out_of_range);
}

TEST(RecentFiles, SectionsOfBothLists) {
  EXPECT_EQ(TRecentFiles("MRUManager1").SectionIn("Tessel"), "Tessel\\TForm1.MRUManager1");
  EXPECT_EQ(TRecentFiles("MRUManager2").SectionIn("Tessel"), "Tessel\\TForm1.MRUManager2");
}

TEST(RecentFiles, SaveAndLoadThroughTheStore) {
  auto data = std::make_shared<TSettingsData>();
  TMemorySettingsStore store("Software\\Corvane Mill", data);
  TRecentFiles grids("MRUManager2");
  for (const char* p : {"/one.grd", "/two.grd"}) grids.Add(p);
  grids.SaveTo(store, "Tessel");
  const auto& group = data->at("Software\\Corvane Mill\\Tessel\\TForm1.MRUManager2");
  EXPECT_EQ(group.at("Item_0"), "/two.grd");
  EXPECT_EQ(group.at("Item_1"), "/one.grd");
  EXPECT_EQ(group.size(), 2u);

  TMemorySettingsStore nextRun("Software\\Corvane Mill", data);
  TRecentFiles again("MRUManager2");
  again.LoadFrom(nextRun, "Tessel");
  EXPECT_EQ(again.Paths(), (S{"/two.grd", "/one.grd"}));
}

TEST(RecentFiles, SavingAShorterListRemovesStaleItems) {
  auto data = std::make_shared<TSettingsData>();
  TMemorySettingsStore store("K", data);
  for (int i = 0; i < 10; ++i) store.WriteString("Tessel\\TForm1.MRUManager1", "Item_" + std::to_string(i), "/old");
  TRecentFiles list("MRUManager1");
  list.Add("/new");
  list.SaveTo(store, "Tessel");
  EXPECT_EQ(data->at("K\\Tessel\\TForm1.MRUManager1"), (std::map<std::string, std::string>{{"Item_0", "/new"}}));
}

TEST(RecentFiles, LoadSkipsGapsEmptiesAndRepeats) {
  TMemorySettingsStore store("K", nullptr);
  const std::string section = "Tessel\\TForm1.MRUManager1";
  store.WriteString(section, "Item_0", "/a");
  store.WriteString(section, "Item_2", "");
  store.WriteString(section, "Item_3", "/A");
  store.WriteString(section, "Item_5", "/b");
  store.WriteString(section, "Item_10", "/never");
  TRecentFiles list("MRUManager1");
  list.Add("/stale");
  list.LoadFrom(store, "Tessel");
  EXPECT_EQ(list.Paths(), (S{"/a", "/b"}));
}

TEST(SettingsStore, GroupsAreKeyPathAndSection) {
  auto data = std::make_shared<TSettingsData>();
  TMemorySettingsStore options("Corvane Mill", data);
  TMemorySettingsStore window("Software\\Corvane Mill", data);
  options.WriteBool("Tessel", "uppercase_Checked", true);
  window.WriteString("Tessel", "Flags", "0");
  EXPECT_EQ(data->size(), 2u);
  EXPECT_EQ(data->at("Corvane Mill\\Tessel").at("uppercase_Checked"), "1");
  EXPECT_FALSE(window.ReadString("Tessel", "uppercase_Checked").has_value());
  EXPECT_EQ(window.ReadString("Tessel", "Flags"), "0");
}

TEST(SettingsStore, BoolsReadBackAndFallBackToDefault) {
  TMemorySettingsStore store("K", nullptr);
  EXPECT_TRUE(store.ReadBool("S", "b", true));
  store.WriteBool("S", "b", false);
  EXPECT_FALSE(store.ReadBool("S", "b", true));
  store.WriteString("S", "b", "maybe");
  EXPECT_TRUE(store.ReadBool("S", "b", true));
  store.DeleteValue("S", "b");
  EXPECT_FALSE(store.ReadString("S", "b").has_value());
}

}  // namespace
