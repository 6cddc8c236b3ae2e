// The manifest format: packages, file types, folders and targets, and every way a line can be
// wrong.
#include "PublishManifest.h"

#include <gtest/gtest.h>

namespace {

using namespace larkpublish;

TEST(PublishManifest, ReadsPackagesTypesFoldersAndTargets) {
    Manifest manifest;
    std::string error;
    ASSERT_TRUE(ParseManifest("# a build\r\n"
                              "package PatchClient required\n"
                              "plain LarkLauncher   # the program\n"
                              "\n"
                              "package Data/Extra optional\n"
                              "  gzip Bin/ Programs/\n"
                              "  wad Data/Root.wad\n"
                              "  dynamic-wad Data/Music.wad Music/Music.wad\n",
                              manifest, error))
        << error;
    ASSERT_EQ(manifest.packages.size(), 2u);
    EXPECT_EQ(manifest.packages[0].name, "PatchClient");
    EXPECT_TRUE(manifest.packages[0].required);
    ASSERT_EQ(manifest.packages[0].entries.size(), 1u);
    EXPECT_EQ(manifest.packages[0].entries[0].type, PFT_Plain);
    EXPECT_EQ(manifest.packages[0].entries[0].target, "");
    const ManifestPackage& extra = manifest.packages[1];
    EXPECT_EQ(extra.name, "Data/Extra");
    EXPECT_FALSE(extra.required);
    ASSERT_EQ(extra.entries.size(), 3u);
    EXPECT_EQ(extra.entries[0].type, PFT_Gzip);
    EXPECT_EQ(extra.entries[0].path, "Bin/");
    EXPECT_EQ(extra.entries[0].target, "Programs/");
    EXPECT_EQ(extra.entries[1].type, PFT_Wad);
    EXPECT_EQ(extra.entries[2].type, PFT_DynamicWad);
    EXPECT_EQ(extra.entries[2].target, "Music/Music.wad");
    EXPECT_EQ(extra.entries[2].line, 8);
}

TEST(PublishManifest, RefusesBadLinesNamingTheLine) {
    struct Case {
        const char* text;
        const char* message;
    } cases[] = {
        {"plain a.txt\n", "line 1: a file line comes before the first package line"},
        {"package A required\nzip a.txt\n", "line 2: unknown word 'zip'"},
        {"package A maybe\n", "line 1: expected 'package <name> required|optional'"},
        {"package A required\npackage A optional\n", "line 2: package A is declared twice"},
        {"package About required\n", "cannot name a package"},
        {"package _TableList required\n", "cannot name a package"},
        {"package A required\nplain ../outside\n", "line 2: the path '../outside'"},
        {"package A required\nplain /etc/passwd\n", "the path '/etc/passwd'"},
        {"package A required\nplain a//b\n", "the path 'a//b'"},
        {"package A required\nplain Bin\\a.dll\n", "the path 'Bin\\a.dll'"},
        {"package A required\nplain a.txt ../b.txt\n", "the path '../b.txt'"},
        {"package A required\nplain a<b.txt\n", "the path 'a<b.txt'"},
        {"package A required\nplain Bin/ b.txt\n", "a folder (ending in '/') installs to a folder"},
        {"package A required\nplain a b c\n", "expected 'plain <path> [<target>]'"},
        {"# nothing\n", "the manifest declares no package"},
    };
    for (const Case& c : cases) {
        Manifest manifest;
        std::string error;
        EXPECT_FALSE(ParseManifest(c.text, manifest, error)) << c.text;
        EXPECT_NE(error.find(c.message), std::string::npos) << c.text << " -> " << error;
    }
}

TEST(PublishManifest, PublishablePathsAreSafeInUrlsAndBelowTheGameFolder) {
    for (const char* good : {"a", "Bin/a.dll", "Data/Root.wad", "x-y_z+1~@(2)/v.1"})
        EXPECT_TRUE(IsPublishablePath(good)) << good;
    for (const char* bad : {"", "/a", "a/", "a//b", ".", "a/./b", "..", "a/../b", "a b", "a?b",
                            "a#b", "a%20b", "a\\b", "a\"b", "caf\xc3\xa9"})
        EXPECT_FALSE(IsPublishablePath(bad)) << bad;
}

}  // namespace
