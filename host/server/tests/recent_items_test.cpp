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
    void SetUp() override { std::filesystem::create_directories(Path("")); }
    // The documents live one folder down, so that the search for a moved file (its folder, the
    // parent and their subfolders) stays inside the test's own folder.
    std::string Path(const std::string& name) { return dir.Path("home/" + name); }
    std::string File(const std::string& name) {
        std::ofstream(Path(name)) << name;
        return Path(name);
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
    recent.Add(Path(""), std::nullopt);  // a folder: not remembered
    recent.Add(Path("missing"), std::nullopt);
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

TEST_F(RecentItemsTest, AMovedOrRenamedFileIsFoundAgainAndItsBookmarkRefreshed) {
    std::filesystem::create_directories(Path("docs/sub"));
    std::filesystem::create_directories(Path("other"));
    std::string a = File("docs/a.txt"), b = File("docs/b.txt"), c = File("docs/c.txt");
    std::string d = File("docs/d.txt");
    for (const auto& f : {a, b, c, d}) recent.Add(f, std::string("Games"));
    std::filesystem::rename(a, Path("docs/renamed.txt"));   // same folder
    std::filesystem::rename(b, Path("b-up.txt"));           // up into the parent
    std::filesystem::rename(c, Path("other/c.txt"));        // into a sibling folder
    std::filesystem::rename(d, Path("docs/sub/d.txt"));     // down into a subfolder
    auto menu = recent.Rebuild();
    ASSERT_EQ(menu.size(), 4u);
    EXPECT_EQ(menu[0].title, "d.txt");
    EXPECT_EQ(menu[1].title, "c.txt");
    EXPECT_EQ(menu[2].title, "b-up.txt");
    EXPECT_EQ(menu[3].title, "renamed.txt");
    // The refreshed bookmarks were stored: the paths are the new ones.
    auto items = recent.Load();
    EXPECT_EQ(items[0].path, Path("docs/sub/d.txt"));
    EXPECT_EQ(items[1].path, Path("other/c.txt"));
    EXPECT_EQ(items[2].path, Path("b-up.txt"));
    EXPECT_EQ(items[3].path, Path("docs/renamed.txt"));
    EXPECT_EQ(items[3].bottle, std::optional<std::string>("Games"));
    EXPECT_EQ(RecentItems::Resolve(items[3]), std::optional<std::string>(items[3].path));
    // Adding the moved file again replaces its entry rather than adding a second one.
    recent.Add(Path("docs/renamed.txt"), std::string("Games"));
    EXPECT_EQ(recent.Load().size(), 4u);
    EXPECT_EQ(recent.Load()[0].path, Path("docs/renamed.txt"));
}

TEST_F(RecentItemsTest, ADeletedFileDoesNotResolveAndAReplacedOneStillDoes) {
    std::string a = File("a.txt"), b = File("b.txt");
    recent.Add(a, std::nullopt);
    recent.Add(b, std::nullopt);
    auto items = recent.Load();
    ASSERT_EQ(items.size(), 2u);
    EXPECT_TRUE(RecentItems::Resolve(items[0]).has_value());
    // An editor's save: a new file renamed over the old name. (Made before a goes, so it cannot
    // take a's inode number.)
    std::ofstream(Path("b.new")) << "new text";
    std::filesystem::remove(a);
    EXPECT_FALSE(RecentItems::Resolve(items[1]).has_value());
    std::filesystem::rename(Path("b.new"), b);
    EXPECT_EQ(RecentItems::Resolve(items[0]), std::optional<std::string>(b));
    auto menu = recent.Rebuild();
    ASSERT_EQ(menu.size(), 1u);
    EXPECT_EQ(menu[0].title, "b.txt");
    EXPECT_EQ(recent.Load().size(), 2u);  // the deleted file keeps its place
}

TEST_F(RecentItemsTest, BottleNamesAndPathsWithAnyCharacterSurviveTheStore) {
    std::string odd = File("it's; a\tfile.txt");
    const std::string bottle = "My;Bottle\nTwo";
    recent.Add(odd, bottle);
    HostDefaults reread(dir.Path("conf"));
    RecentItems again(reread);
    auto items = again.Load();
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].path, odd);
    EXPECT_EQ(items[0].bottle, std::optional<std::string>(bottle));
    // Damaged entries are skipped, not crashed on.
    defaults.SetList("RecentItems", {"x", "b\nnot-ids\n/p", "n\n1:2\nrelative", "N\n" + odd});
    EXPECT_EQ(recent.Load().size(), 1u);
}

}  // namespace
}  // namespace larkhost
