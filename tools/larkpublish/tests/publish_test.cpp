// Publishing builds into a repository: the lists read back through the launcher's table-file
// readers with every field right, the gzip copies and WAD headers are what the download engines
// expect, publishing again changes nothing, a new build stores only what changed, and bad input
// leaves the repository as it was.
#include <gtest/gtest.h>
#include <zlib.h>

#include <sstream>

#include "DMLDatabase.h"
#include "FileBinary.h"
#include "FileXML.h"
#include "MessageManager.h"
#include "OsFile.h"
#include "PublishCommand.h"
#include "Publisher.h"
#include "Repository.h"
#include "WadFile.h"
#include "WadWriter.h"
#include "http_test_support.h"

namespace {

using namespace larkpublish;

std::string Gunzip(const std::string& path) {
    gzFile gz = gzopen(path.c_str(), "rb");
    std::string out;
    if (!gz) return out;
    char block[8192];
    for (int n; (n = gzread(gz, block, sizeof block)) > 0;)
        out.append(block, static_cast<size_t>(n));
    gzclose(gz);
    return out;
}

std::string Archive(const std::map<std::string, std::string>& elements, bool compress = true) {
    WadWriter writer;
    for (const auto& [name, data] : elements) writer.Add(name, data, compress);
    std::string bytes;
    writer.Build(bytes);
    return bytes;
}

const char* kManifest =
    "package PatchClient required\n"
    "plain LarkLauncher\n"
    "package Base required\n"
    "gzip Bin/\n"
    "wad Data/Root.wad\n"
    "dynamic-wad Data/Music.wad\n"
    "plain Readme.txt Docs/Readme.txt\n"
    "package Extras optional\n"
    "plain Extras/Pack.dat\n";

struct PublishFixture : ::testing::Test {
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(LoadListMessageModules(HY_DATA_SOURCE_DIR, error)) << error;
        Put("LarkLauncher", RandomBytes(5000, 1));
        Put("Bin/Game.exe", std::string(40000, 'g') + RandomBytes(300, 2));
        Put("Bin/Lib/engine.dll", RandomBytes(7000, 3));
        Put("Data/Root.wad",
            Archive({{"a.xml", RandomBytes(20000, 4)}, {"b.xml", std::string(9000, 'b')}}));
        Put("Data/Music.wad", Archive({{"song1", RandomBytes(30000, 5)}}, false));
        Put("Readme.txt", "Read me.\n");
        WriteFile(dir / "manifest.txt", kManifest);
        options.buildFolder = dir / "build";
        options.manifestPath = dir / "manifest.txt";
        options.repository = dir / "repo";
        options.locales = {"English", "German"};
    }
    void Put(const std::string& path, const std::string& content) {
        std::string full = dir / ("build/" + path);
        HY_OS::CreateDirectories(HY_OS::DirectoryPart(full));
        WriteFile(full, content);
        build[path] = content;
    }
    PublishResult Run() {
        PublishResult result;
        std::string error;
        EXPECT_TRUE(Publish(options, result, error)) << error;
        return result;
    }
    const PublishedFile* Find(const PublishResult& result, const std::string& target) {
        for (const PublishedFile& file : result.files)
            if (file.tarFileName == target) return &file;
        return nullptr;
    }
    std::string Repo(const std::string& path) { return dir / ("repo/" + path); }

    TempDir dir;
    std::map<std::string, std::string> build;
    PublishOptions options;
};

// Checks one list as the launcher reads it against the build's own bytes.
void CheckList(DMLDatabase& list, uint32_t version, const std::map<std::string, std::string>& build,
               const std::string& repo) {
    ASSERT_TRUE(list.Load());
    ASSERT_NE(list.FindTable("About"), nullptr);
    EXPECT_EQ(list.FindTable("About")->RecordAt(0)->FindField("Version")->GetUInt(), version);
    ASSERT_NE(list.FindTable("PatchClient"), nullptr);
    ASSERT_NE(list.FindTable("Base"), nullptr);
    EXPECT_EQ(list.FindTable("Extras"), nullptr);  // optional, not in the build
    EXPECT_EQ(list.FindTable("PatchClient")->RecordCount(), 1u);
    DMLTable& base = *list.FindTable("Base");
    ASSERT_EQ(base.RecordCount(), 5u);
    std::map<std::string, uint32_t> types = {{"Bin/Game.exe", 4},
                                             {"Bin/Lib/engine.dll", 4},
                                             {"Data/Root.wad", 3},
                                             {"Data/Music.wad", 5},
                                             {"Docs/Readme.txt", 0}};
    for (size_t i = 0; i < base.RecordCount(); ++i) {
        const DMLRecord& r = *base.RecordAt(i);
        std::string target = r.FindField("TarFileName")->ToStr();
        std::string source = target == "Docs/Readme.txt" ? "Readme.txt" : target;
        SCOPED_TRACE(target);
        ASSERT_TRUE(types.count(target));
        const std::string& content = build.at(source);
        std::string src = r.FindField("SrcFileName")->ToStr();
        EXPECT_EQ(r.FindField("FileType")->GetUInt(), types[target]);
        EXPECT_EQ(r.FindField("Size")->GetUInt(), content.size());
        EXPECT_EQ(r.FindField("CRC")->GetUInt(), Crc(content));
        EXPECT_EQ(ReadFile(repo + "/" + src), content);
        uint32_t headerSize = r.FindField("HeaderSize")->GetUInt();
        uint32_t compressedHeaderSize = r.FindField("CompressedHeaderSize")->GetUInt();
        uint32_t headerCrc = r.FindField("HeaderCRC")->GetUInt();
        if (types[target] == 4) {
            // The compressed engine expects the download's size in HeaderSize.
            EXPECT_EQ(headerSize, HY_OS::FileLength(repo + "/" + src + ".gz"));
            EXPECT_EQ(Gunzip(repo + "/" + src + ".gz"), content);
            EXPECT_EQ(compressedHeaderSize, 0u);
        } else if (types[target] == 3 || types[target] == 5) {
            WadFile wad(repo + "/" + src);
            ASSERT_TRUE(wad.Open());
            EXPECT_EQ(headerSize, wad.TableEnd());
            EXPECT_EQ(headerCrc, Crc(content.substr(0, headerSize)));
            std::string header = repo + "/" + src + ".hdr.gz";
            EXPECT_EQ(compressedHeaderSize, HY_OS::FileLength(header));
            EXPECT_EQ(Gunzip(header), content.substr(0, headerSize));
        } else {
            EXPECT_EQ(headerSize, 0u);
            EXPECT_EQ(compressedHeaderSize, 0u);
            EXPECT_EQ(headerCrc, 0u);
        }
    }
}

TEST_F(PublishFixture, ListsReadBackThroughTheTableFileReadersWithEveryField) {
    PublishResult result = Run();
    EXPECT_EQ(result.version, 1u);
    EXPECT_TRUE(result.listWritten);
    ASSERT_EQ(result.notes.size(), 1u);
    EXPECT_NE(result.notes[0].find("optional package Extras"), std::string::npos);

    DMLDatabase xml("LatestFileList");
    xml.SetStorage(std::make_unique<FileXML>(Repo("lists/1/LatestFileList")));
    CheckList(xml, 1, build, dir / "repo");
    DMLDatabase binary("LatestFileList");
    binary.SetStorage(std::make_unique<FileBinary>(Repo("lists/1/LatestFileList")));
    CheckList(binary, 1, build, dir / "repo");

    RepositoryInfo info;
    std::string error;
    ASSERT_TRUE(LoadRepositoryInfo(dir / "repo", info, error)) << error;
    EXPECT_EQ(info.version, 1u);
    EXPECT_EQ(info.ListPath(), "lists/1/LatestFileList.xml");
    EXPECT_TRUE(info.ServesLocale("German"));
    EXPECT_FALSE(info.ServesLocale("French"));
    ASSERT_EQ(info.packages.size(), 2u);  // Extras is not in this build
    EXPECT_EQ(info.packages[1].name, "Base");
}

TEST_F(PublishFixture, PublishingTheSameBuildAgainChangesNothing) {
    PublishResult first = Run();
    EXPECT_GT(first.filesStored, 0u);
    std::string list = Repo("lists/1/LatestFileList.xml");
    std::string stored = Repo(Find(first, "Bin/Game.exe")->srcFileName + ".gz");
    // Stamps far in the past show whether anything is written again.
    for (const std::string& path : {list, stored, Repo("repository.txt")})
        ASSERT_TRUE(HY_OS::SetLastWriteTimeMs(path, 1000000000000));

    PublishResult second = Run();
    EXPECT_EQ(second.version, 1u);
    EXPECT_FALSE(second.listWritten);
    EXPECT_EQ(second.filesStored, 0u);
    EXPECT_EQ(second.filesReused, first.files.size());
    for (const std::string& path : {list, stored, Repo("repository.txt")})
        EXPECT_EQ(HY_OS::LastWriteTimeMs(path), 1000000000000) << path;
    EXPECT_FALSE(HY_OS::FileExists(Repo("lists/2")));
}

TEST_F(PublishFixture, ANewBuildStoresOnlyWhatChangedAndKeepsTheOldList) {
    PublishResult first = Run();
    Put("Bin/Game.exe", "123456789");
    PublishResult second = Run();
    // The launcher's CRC routine (not the common CRC-32, which gives 0xCBF43926 here).
    EXPECT_EQ(Find(second, "Bin/Game.exe")->crc, 0x2DFD2D88u);
    EXPECT_EQ(Find(second, "Bin/Game.exe")->srcFileName, "files/2dfd2d88-9/Bin/Game.exe");
    EXPECT_EQ(second.version, 2u);
    EXPECT_TRUE(second.listWritten);
    EXPECT_EQ(second.filesStored, 2u);  // the changed file and its gzip copy
    EXPECT_EQ(second.filesReused, first.files.size() - 1);
    EXPECT_EQ(Find(first, "Data/Root.wad")->srcFileName,
              Find(second, "Data/Root.wad")->srcFileName);
    EXPECT_NE(Find(first, "Bin/Game.exe")->srcFileName, Find(second, "Bin/Game.exe")->srcFileName);
    EXPECT_TRUE(HY_OS::FileExists(Repo("lists/1/LatestFileList.bin")));
    EXPECT_TRUE(HY_OS::FileExists(Repo(Find(first, "Bin/Game.exe")->srcFileName)));
    RepositoryInfo info;
    std::string error;
    ASSERT_TRUE(LoadRepositoryInfo(dir / "repo", info, error));
    EXPECT_EQ(info.version, 2u);

    // Asking for a version that holds another list is refused; the same list under it is fine.
    options.version = 1;
    PublishResult refused;
    EXPECT_FALSE(Publish(options, refused, error));
    EXPECT_NE(error.find("version 1 is already published with another list"), std::string::npos)
        << error;
    options.version = 2;
    EXPECT_FALSE(Run().listWritten);
}

TEST_F(PublishFixture, BadInputFailsClearlyAndLeavesTheRepositoryAsItWas) {
    Run();
    struct Case {
        std::string manifest;
        std::string message;
    } cases[] = {
        {"package Base required\nwad Readme.txt.wad\n", "Readme.txt.wad is given the type wad: "},
        {"package Base required\nwad Readme.txt\n",
         "a WAD type needs a name that ends in \".wad\""},
        {"package Base required\ndynamic-wad Empty.wad\n", "without elements"},
        {"package Base required\nwad Bad.wad\n", "does not follow the WAD layout rule"},
        {"package Base required\nplain Missing.txt\n", "Missing.txt is not in the build folder"},
        {"package Base required\nplain Readme.txt\nplain LarkLauncher Readme.txt\n",
         "Readme.txt is installed by two manifest lines"},
        {"package Extras optional\nplain Readme.txt\nplain Missing.txt\n",
         "Missing.txt is not in the build folder"},
    };
    Put("Readme.txt.wad", "not an archive at all");
    Put("Empty.wad", Archive({}));
    // Two raw elements whose stored bytes lie against name order: readable, but not updatable.
    auto u32 = [](uint32_t v) { return std::string(reinterpret_cast<const char*>(&v), 4); };
    auto entry = [&](uint32_t position, const std::string& data, const std::string& name) {
        return u32(position) + u32(4) + u32(0xFFFFFFFF) + std::string(1, '\0') + u32(Crc(data)) +
               u32(2) + name + std::string(1, '\0');
    };
    std::string swapped = std::string("HYWAD") + u32(1) + u32(2) + entry(63, "AAAA", "a") +
                          entry(59, "BBBB", "b") + "BBBBAAAA";
    ASSERT_EQ(swapped.size(), 67u);
    Put("Bad.wad", swapped);
    std::string before = ReadFile(Repo("repository.txt"));
    for (const Case& c : cases) {
        WriteFile(options.manifestPath, c.manifest);
        PublishResult result;
        std::string error;
        EXPECT_FALSE(Publish(options, result, error)) << c.manifest;
        EXPECT_NE(error.find(c.message), std::string::npos) << c.manifest << " -> " << error;
        EXPECT_EQ(ReadFile(Repo("repository.txt")), before);
        EXPECT_FALSE(HY_OS::FileExists(Repo("lists/2")));
    }
}

TEST_F(PublishFixture, CommandLineExplainsTheManifestAndPublishes) {
    std::ostringstream out, err;
    EXPECT_EQ(RunLarkPublish({"--help"}, out, err), 0);
    EXPECT_NE(out.str().find("package <name> required|optional"), std::string::npos);
    EXPECT_NE(out.str().find("Example manifest:"), std::string::npos);
    EXPECT_EQ(RunLarkPublish({"--build", options.buildFolder}, out, err), 2);
    EXPECT_EQ(RunLarkPublish({"--bogus", "x"}, out, err), 2);

    std::ostringstream published;
    EXPECT_EQ(RunLarkPublish({"--build", options.buildFolder, "--manifest", options.manifestPath,
                              "--repository", options.repository, "--data", HY_DATA_SOURCE_DIR,
                              "--locale", "French", "--list-type", "2"},
                             published, err),
              0)
        << err.str();
    EXPECT_NE(published.str().find("larkpublish: version 1 published"), std::string::npos)
        << published.str();
    RepositoryInfo info;
    std::string error;
    ASSERT_TRUE(LoadRepositoryInfo(options.repository, info, error));
    EXPECT_EQ(info.listType, 2u);
    EXPECT_EQ(info.ListFileName(), "LatestFileList.bin");
    EXPECT_EQ(info.locales, std::vector<std::string>{"French"});
}

}  // namespace
