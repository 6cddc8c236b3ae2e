#include "RecentItems.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "HostDefaults.h"
#include "TempDir.h"

namespace larkhost {
namespace {

class RecentItemsTest : public ::testing::Test {
  protected:
    std::string File(const std::string& name) {
        std::ofstream(dir.Path(name)) << name;
        return dir.Path(name);
    }
    hytest::TempDir dir;
    HostDefaults defaults{dir.Path("conf")};
    RecentItems recent{defaults};
};

TEST_F(RecentItemsTest, NewestFirstOneEntryPerFileAndBottleAndOnlyRealFiles) {
    defaults.RegisterHostDefaults("/b");
    std::string a = File("a.txt"), b = File("b.txt");
    recent.Add(a, std::nullopt);
    recent.Add(b, std::string("Games"));
    recent.Add(a, std::string("Games"));   // same file, other bottle: a second entry
    recent.Add(a, std::nullopt);           // again without a bottle: moves to the front
    recent.Add(dir.Path(), std::nullopt);  // a folder: not remembered
    recent.Add(dir.Path("missing"), std::nullopt);
    auto items = recent.Load();
    ASSERT_EQ(items.size(), 3u);
    EXPECT_EQ(items[0].path, a);
    EXPECT_FALSE(items[0].bottle.has_value());
    EXPECT_EQ(items[1].bottle, std::optional<std::string>("Games"));
    EXPECT_EQ(items[1].path, a);
    EXPECT_EQ(items[2].path, b);
    auto menu = recent.Rebuild();
    ASSERT_EQ(menu.size(), 3u);
    EXPECT_EQ(menu[0].title, "a.txt");  // the display name alone
    recent.Clear();
    EXPECT_TRUE(recent.Rebuild().empty());
}

TEST_F(RecentItemsTest, MissingFilesKeepTheirPlaceUntilTheListIsTooLong) {
    defaults.SetString("RecentItemsCount", "2");
    std::string a = File("a.txt"), b = File("b.txt"), c = File("c.txt");
    recent.Add(a, std::nullopt);
    recent.Add(b, std::nullopt);  // list: b, a
    std::filesystem::remove(a);
    auto menu = recent.Rebuild();
    ASSERT_EQ(menu.size(), 1u);
    EXPECT_EQ(recent.Load().size(), 2u);  // a keeps its place without an item
    std::filesystem::remove(b);
    recent.Add(c, std::nullopt);  // c, b, a cut to c, b
    EXPECT_EQ(recent.Load().size(), 2u);
    EXPECT_EQ(recent.Load()[1].path, b);
    std::ofstream(a) << "back";
    defaults.SetList("RecentItems", {"N\n" + c, "N\n" + b, "N\n" + a});  // longer than the limit
    menu = recent.Rebuild();
    auto kept = recent.Load();
    ASSERT_EQ(kept.size(), 2u);  // the unresolved b went first
    EXPECT_EQ(kept[0].path, c);
    EXPECT_EQ(kept[1].path, a);
    EXPECT_EQ(menu.size(), 2u);
}

}  // namespace
}  // namespace larkhost
