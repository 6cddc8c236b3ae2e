#include "OsFile.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "TempDir.h"

namespace {

TEST(OsErrorWin, FileHeldByAnotherProgramIsASharingViolationAndAMissingFolderIsNot) {
    hytest::TempDir dir;
    std::string path = dir / "held.bin";
    // Another program that opened the file without sharing it.
    HANDLE held = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    int error = 0;
    HY_OS::File file = HY_OS::File::Open(path, HY_OS::FileMode::CreateWrite, &error);
    EXPECT_FALSE(file.IsOpen());
    EXPECT_EQ(error, static_cast<int>(ERROR_SHARING_VIOLATION));
    EXPECT_EQ(HY_OS::LastSystemError(), error);
    EXPECT_EQ(HY_OS::KindOfSystemError(error), HY_OS::SEK_SharingViolation);
    CloseHandle(held);

    // Once it is let go, the same open works.
    file = HY_OS::File::Open(path, HY_OS::FileMode::CreateWrite, &error);
    EXPECT_TRUE(file.IsOpen());

    HY_OS::File missing = HY_OS::File::Open(dir / "no/such/folder/f", HY_OS::FileMode::CreateWrite, &error);
    EXPECT_FALSE(missing.IsOpen());
    EXPECT_EQ(HY_OS::KindOfSystemError(error), HY_OS::SEK_Other);
}

TEST(OsErrorWin, FullDiskAndLowMemoryCodesAreNoSpace) {
    const int codes[] = {static_cast<int>(ERROR_OUTOFMEMORY), static_cast<int>(ERROR_NOT_ENOUGH_MEMORY),
                         static_cast<int>(ERROR_HANDLE_DISK_FULL), static_cast<int>(ERROR_DISK_FULL),
                         static_cast<int>(0x80030070u)};
    for (int code : codes)
        EXPECT_EQ(HY_OS::KindOfSystemError(code), HY_OS::SEK_NoSpace) << code;
    EXPECT_EQ(HY_OS::KindOfSystemError(ERROR_ACCESS_DENIED), HY_OS::SEK_Other);
}

}  // namespace
