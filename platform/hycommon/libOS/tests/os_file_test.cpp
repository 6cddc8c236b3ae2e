#include "OsFile.h"

#include <gtest/gtest.h>

#include <string>

#include <algorithm>
#include <cerrno>
#include <vector>

#include "OsFileInfo.h"
#include "OsSysCalls.h"
#include "TempDir.h"

namespace {

using hytest::TempDir;

TEST(OsFile, CreateWriteReadLengthRenameDelete) {
    TempDir dir;
    std::string a = dir.Path("a.bin"), b = dir.Path("b.bin");
    {
        HY_OS::File f = HY_OS::File::Open(a, HY_OS::FileMode::CreateWrite);
        ASSERT_TRUE(f.IsOpen());
        ASSERT_TRUE(f.Write("hello world", 11));
        EXPECT_EQ(f.Length(), 11);
        EXPECT_TRUE(f.Truncate(5));
    }
    EXPECT_EQ(HY_OS::FileLength(a), 5);
    {
        HY_OS::File f = HY_OS::File::Open(a, HY_OS::FileMode::CreateAppend);
        ASSERT_TRUE(f.Write("!", 1));
    }
    std::string content;
    ASSERT_TRUE(HY_OS::ReadWholeFile(a, content));
    EXPECT_EQ(content, "hello!");

    ASSERT_TRUE(HY_OS::SetLastWriteTimeMs(a, 1500000000123));
    EXPECT_EQ(HY_OS::LastWriteTimeMs(a), 1500000000123);

    ASSERT_TRUE(HY_OS::RenameFile(a, b));
    EXPECT_FALSE(HY_OS::FileExists(a));
    EXPECT_TRUE(HY_OS::DeleteFile(b));
    EXPECT_TRUE(HY_OS::DeleteFile(b)) << "deleting a missing file answers that it is gone";
    EXPECT_EQ(HY_OS::FileLength(b), -1);
    EXPECT_EQ(HY_OS::LastWriteTimeMs(b), -1);

    int error = 0;
    EXPECT_FALSE(HY_OS::File::Open(b, HY_OS::FileMode::Read, &error).IsOpen());
    EXPECT_NE(error, 0);
}

TEST(OsFile, DirectoriesAtomicWritesAndPathPieces) {
    TempDir dir;
    std::string deep = dir.Path("x/y/z");
    ASSERT_TRUE(HY_OS::CreateDirectories(deep));
    EXPECT_TRUE(HY_OS::IsDirectory(deep));
    EXPECT_TRUE(HY_OS::CreateDirectories(deep)) << "an existing directory is fine";

    std::string file = deep + "/store.txt";
    ASSERT_TRUE(HY_OS::WriteFileAtomic(file, "one"));
    ASSERT_TRUE(HY_OS::WriteFileAtomic(file, "two"));
    std::string content;
    ASSERT_TRUE(HY_OS::ReadWholeFile(file, content));
    EXPECT_EQ(content, "two");

    EXPECT_EQ(HY_OS::FileNamePart("a/b\\c.txt"), "c.txt");
    EXPECT_EQ(HY_OS::FileNamePart("c.txt"), "c.txt");
    EXPECT_EQ(HY_OS::DirectoryPart("a/b/c.txt"), "a/b");
    EXPECT_EQ(HY_OS::DirectoryPart("c.txt"), "");
    EXPECT_EQ(HY_OS::JoinPath("a/", "/b"), "a/b");
    EXPECT_EQ(HY_OS::JoinPath("a", "b"), "a/b");
    EXPECT_GT(HY_OS::GetFreeDiskSpace(dir.Path("")), 0);
}

TEST(OsFile, ListDirectoryNamesFilesAndFolders) {
    TempDir dir;
    ASSERT_TRUE(HY_OS::WriteFileAtomic(dir.Path("a.txt"), "a"));
    ASSERT_TRUE(HY_OS::CreateDirectories(dir.Path("sub/deeper")));
    std::vector<HY_OS::DirectoryEntry> entries;
    ASSERT_TRUE(HY_OS::ListDirectory(dir.Path(), entries));
    std::sort(entries.begin(), entries.end(), [](auto& x, auto& y) { return x.name < y.name; });
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].name, "a.txt");
    EXPECT_FALSE(entries[0].isDirectory);
    EXPECT_EQ(entries[1].name, "sub");
    EXPECT_TRUE(entries[1].isDirectory);

    int error = 0;
    EXPECT_FALSE(HY_OS::ListDirectory(dir.Path("missing"), entries, &error));
    EXPECT_EQ(error, ENOENT);
    EXPECT_TRUE(entries.empty());
}

TEST(OsFile, FreeDiskSpaceGoesThroughTheSeam) {
    struct FullDisk : HY_OS::OsSysCalls {
        int64_t FreeDiskSpace(const std::string&) override { return 42; }
    } full;
    {
        HY_OS::ScopedSysCalls install(full);
        EXPECT_EQ(HY_OS::GetFreeDiskSpace("/"), 42);
    }
    EXPECT_NE(HY_OS::GetFreeDiskSpace("/"), 42);
}

}  // namespace
