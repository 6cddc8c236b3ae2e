#include "HostApp.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace larkhost {
namespace {

TEST(HostCommandLine, UrlsDocumentsAndTheBottleAreToldApart) {
    auto line = ParseHostCommandLine({"--bottle", "Games", "larkspur://play?x=1", "larkspur:news",
                                      "notes.txt", "file:///tmp/it's%20here.txt"});
    EXPECT_TRUE(line.error.empty());
    EXPECT_EQ(line.bottle, "Games");
    EXPECT_EQ(line.urls, (std::vector<std::string>{"larkspur://play?x=1", "larkspur:news"}));
    ASSERT_EQ(line.documents.size(), 2u);
    EXPECT_EQ(line.documents[0], (std::filesystem::current_path() / "notes.txt").string());
    EXPECT_EQ(line.documents[1], "/tmp/it's here.txt");
}

TEST(HostCommandLine, BadOptionsAreRefusedWithAReason) {
    EXPECT_EQ(ParseHostCommandLine({"--bottle"}).error, "--bottle needs a bottle name");
    EXPECT_EQ(ParseHostCommandLine({"--frobnicate"}).error, "unknown option --frobnicate");
    EXPECT_EQ(ParseHostCommandLine({"file://otherhost/x"}).error,
              "not a local file: file://otherhost/x");
    EXPECT_TRUE(ParseHostCommandLine({"--help"}).help);
}

TEST(HostCommandLine, TheRootLiesTwoFoldersAboveTheHostsOwnFolder) {
    EXPECT_EQ(PorticoRootForExecutable("/opt/lark/share/larkspur/lib/wine/larkhost"),
              "/opt/lark/share/larkspur");
}

}  // namespace
}  // namespace larkhost
