#include <gtest/gtest.h>

#include "OsSystemInfo.h"

TEST(OsSystemInfo, ThisMachinesMemoryFiguresAreConsistent) {
    HY_OS::MemoryFigures figures;
    ASSERT_TRUE(HY_OS::GetMemoryFigures(figures));
    EXPECT_GT(figures.totalPhysical, 0u);
    EXPECT_LE(figures.availablePhysical, figures.totalPhysical);
    EXPECT_GT(figures.totalVirtual, 0u);
    EXPECT_LE(figures.availableVirtual, figures.totalVirtual);
}

TEST(OsSystemInfo, MeminfoTextNeedsTotalAndAvailableMemory) {
    HY_OS::MemoryFigures figures;
    ASSERT_TRUE(HY_OS::MemoryFiguresFromMeminfo(
        "MemTotal: 2048 kB\nMemAvailable: 1024 kB\nSwapTotal: 512 kB\nSwapFree: 256 kB\n", figures));
    EXPECT_EQ(figures.totalPhysical, 2048u * 1024);
    EXPECT_EQ(figures.availablePhysical, 1024u * 1024);
    EXPECT_EQ(figures.totalVirtual, 2560u * 1024);
    EXPECT_EQ(figures.availableVirtual, 1280u * 1024);
    EXPECT_FALSE(HY_OS::MemoryFiguresFromMeminfo("MemTotal: 2048 kB\n", figures));
    EXPECT_FALSE(HY_OS::MemoryFiguresFromMeminfo("MemTotal: lots\nMemAvailable: 1 kB\n", figures));
}

TEST(OsSystemInfo, AProcessorIdentifierNamesItsFamily) {
    std::string identifier = HY_OS::GetProcessorIdentifier();
    // Some processors tell no family; one that is told is worded as the hardware description does.
    if (!identifier.empty()) EXPECT_NE(identifier.find(" Family "), std::string::npos) << identifier;
}

TEST(OsSystemInfo, ProgramsAreFoundOnlyWhenThere) {
    EXPECT_EQ(HY_OS::FindProgramOnPath(""), "");
    EXPECT_EQ(HY_OS::FindProgramOnPath("no-such-program-anywhere-4711"), "");
#ifdef _WIN32
    EXPECT_NE(HY_OS::FindProgramOnPath("cmd"), "");
#else
    EXPECT_NE(HY_OS::FindProgramOnPath("sh"), "");
    EXPECT_EQ(HY_OS::FindProgramOnPath("/bin/sh"), "/bin/sh");
    // A folder is not a program.
    EXPECT_EQ(HY_OS::FindProgramOnPath("/tmp/"), "");
#endif
}
