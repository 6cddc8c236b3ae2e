#include "OpenFileTypes.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "LogCapture.h"
#include "PropertyList.h"
#include "TempDir.h"

namespace larkhost {
namespace {

const char* kAssociations = R"(<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">
<plist version="1.0">
<dict>
  <key>Notepad++</key>
  <dict>
    <key>Description</key><string>GAMES</string>
    <key>Extension Associations/</key>
    <dict>
      <key>.txt/</key><dict/>
      <key>.Log/open</key><dict><key>Default</key><true/></dict>
      <key>.ini/</key><dict><key>Extension</key><string>cfg</string></dict>
      <key>/</key><dict/>
    </dict>
  </dict>
  <key>Other bottle's viewer</key>
  <dict>
    <key>Description</key><string>Office</string>
    <key>Extension Associations/</key>
    <dict><key>.doc/</key><dict/></dict>
  </dict>
  <key>No associations</key>
  <dict><key>Description</key><string>Games</string><key>Count</key><integer>3</integer></dict>
</dict>
</plist>
)";

class OpenFileTypesTest : public ::testing::Test {
  protected:
    BottleInfo Bottle(const std::string& plist, const std::string& prefix = "Games") {
        std::string folder = dir.Path(prefix + "/desktopdata/ptassoc");
        std::filesystem::create_directories(folder);
        if (!plist.empty()) std::ofstream(folder + "/ptassoc_macosx.plist") << plist;
        BottleInfo bottle;
        bottle.name = "Games";
        bottle.winePrefix = dir.Path(prefix);
        return bottle;
    }
    hytest::TempDir dir;
};

TEST_F(OpenFileTypesTest, TheBottlesEntriesGiveTheirExtensionsAfterTheWindowsTypes) {
    BottleInfo bottle = Bottle(kAssociations);
    EXPECT_EQ(AssociationsPath(bottle),
              dir.Path("Games/desktopdata/ptassoc/ptassoc_macosx.plist"));
    EXPECT_EQ(AssociatedExtensions(bottle), (std::vector<std::string>{"txt", "Log", "cfg"}));
    EXPECT_EQ(AllowedFileTypes(bottle),
              (std::vector<std::string>{"exe", "inf", "ptarchive", "lnk", "txt", "Log", "cfg"}));
    bottle.name = "office";
    EXPECT_EQ(AssociatedExtensions(bottle), std::vector<std::string>{"doc"});
}

TEST_F(OpenFileTypesTest, AFileThatIsNotAPropertyListIsLoggedAndGivesNone) {
    int n = 0;
    for (const char* bad : {"<plist><dict><key>a</key></dict></plist>", "not xml at all <",
                            "<html><body/></html>", "<plist><dict><string>x</string></dict></plist>",
                            "<plist><wat/></plist>"}) {
        hytest::ScopedLogCapture log;
        BottleInfo bottle = Bottle(bad, "bad" + std::to_string(++n));
        EXPECT_TRUE(AssociatedExtensions(bottle).empty()) << bad;
        EXPECT_EQ(log->CountPrefix("Failed to parse ptassoc plist " + AssociationsPath(bottle) + ": "), 1)
            << bad;
        EXPECT_EQ(AllowedFileTypes(bottle).size(), 4u);
    }
    // A bottle without the file, or without a prefix, has no associations and nothing to log.
    hytest::ScopedLogCapture log;
    BottleInfo empty = Bottle("", "empty");
    EXPECT_TRUE(AssociatedExtensions(empty).empty());
    EXPECT_TRUE(AssociatedExtensions(BottleInfo{"Missing", "Missing", false, false, ""}).empty());
    EXPECT_EQ(log->CountPrefix("Failed to parse ptassoc plist " + AssociationsPath(empty)), 0);
}

TEST(PropertyList, ReadsEveryKindOfValueAndRefusesRunawayNesting) {
    std::string error;
    auto list = ParsePropertyList(
        "<plist><array><string>a &amp; b</string><integer>-4</integer><real>1.5</real><false/>"
        "<data>AAE=</data><date>2026-01-01T00:00:00Z</date><dict/></array></plist>",
        error);
    ASSERT_TRUE(list) << error;
    ASSERT_EQ(list->items.size(), 7u);
    EXPECT_EQ(list->items[0].text, "a & b");
    EXPECT_EQ(list->items[1].kind, PropertyValue::Kind::Integer);
    EXPECT_EQ(list->items[3].text, "false");
    EXPECT_EQ(list->items[6].kind, PropertyValue::Kind::Dictionary);
    EXPECT_EQ(list->items[0].Find("x"), nullptr);  // not a dictionary
    std::string deep;
    for (int i = 0; i < 80; ++i) deep += "<array>";
    for (int i = 0; i < 80; ++i) deep += "</array>";
    EXPECT_FALSE(ParsePropertyList("<plist>" + deep + "</plist>", error));
    EXPECT_EQ(error, "nesting too deep");
}

TEST(OpenPanelFilter, FoldersAndFilesOfAnAllowedTypeIgnoringCase) {
    std::vector<std::string> types = {"exe", "inf", "ptarchive", "lnk", "Log"};
    EXPECT_TRUE(OpenPanelShows("Setup.EXE", false, types));
    EXPECT_TRUE(OpenPanelShows("game.ptarchive", false, types));
    EXPECT_TRUE(OpenPanelShows("server.LOG", false, types));
    EXPECT_TRUE(OpenPanelShows("no extension", true, types));  // a folder
    EXPECT_FALSE(OpenPanelShows("readme.txt", false, types));
    EXPECT_FALSE(OpenPanelShows("exe", false, types));  // no extension at all
    EXPECT_FALSE(OpenPanelShows("trailing.", false, types));
    EXPECT_FALSE(OpenPanelShows("setup.exe.bak", false, types));
}

}  // namespace
}  // namespace larkhost
