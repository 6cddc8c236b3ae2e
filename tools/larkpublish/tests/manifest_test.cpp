// The manifest format: packages, file types, folders and targets, and every way a line can be
// wrong; random edits of a manifest and of repository.txt.
#include <gtest/gtest.h>

#include "PublishManifest.h"
#include "Repository.h"

namespace {

using namespace larkpublish;

TEST(PublishManifest, ReadsPackagesTypesFoldersAndTargets) {
    Manifest manifest;
    std::string error;
    ASSERT_TRUE(
        ParseManifest("# a build\r\n"
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

namespace {

// Seeded random edits of a valid manifest and repository.txt: each ends in a result or a message,
// and whatever is accepted holds only publishable paths and package names.
TEST(PublishManifest, MutatedTextsEndInAResultOrAMessage) {
    const std::string manifestText =
        "package Base required\nplain Readme.txt Docs/Readme.txt\ngzip Bin/\nwad Data/Root.wad\n"
        "package Extras optional\ndynamic-wad Data/Music.wad\n";
    const std::string infoText =
        "version 3\nlist-name LatestFileList\nlist-type 2\nlocales English German\npackage Base "
        "required\n";
    const std::string alphabet = "abz./\\ \n\r#<>\"%?:-_019package";
    uint32_t seed = 12345;
    auto next = [&](uint32_t limit) {
        seed = seed * 1103515245u + 12345u;
        return limit ? (seed >> 8) % limit : 0;
    };
    for (int round = 0; round < 3000; ++round) {
        std::string manifestCopy = manifestText, infoCopy = infoText;
        for (std::string* text : {&manifestCopy, &infoCopy}) {
            for (uint32_t edits = 1 + next(4); edits > 0; --edits) {
                size_t at = next(static_cast<uint32_t>(text->size()));
                switch (next(3)) {
                    case 0:
                        text->erase(at, 1 + next(6));
                        break;
                    case 1:
                        text->insert(at, 1, alphabet[next(static_cast<uint32_t>(alphabet.size()))]);
                        break;
                    default:
                        (*text)[at] = alphabet[next(static_cast<uint32_t>(alphabet.size()))];
                        break;
                }
            }
        }
        Manifest manifest;
        std::string error;
        if (ParseManifest(manifestCopy, manifest, error)) {
            for (const ManifestPackage& package : manifest.packages) {
                EXPECT_TRUE(IsPackageName(package.name)) << manifestCopy;
                for (const ManifestEntry& entry : package.entries) {
                    std::string path = entry.path.back() == '/'
                                           ? entry.path.substr(0, entry.path.size() - 1)
                                           : entry.path;
                    EXPECT_TRUE(IsPublishablePath(path)) << manifestCopy;
                }
            }
        } else {
            EXPECT_FALSE(error.empty());
        }
        RepositoryInfo info;
        error.clear();
        if (ParseRepositoryInfo(infoCopy, info, error)) {
            EXPECT_TRUE(info.listType == 1 || info.listType == 2);
            EXPECT_TRUE(IsPublishablePath(info.ListPath())) << infoCopy;
        } else {
            EXPECT_FALSE(error.empty());
        }
    }
}

}  // namespace
