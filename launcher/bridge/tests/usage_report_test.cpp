#include "UsageReport.h"

#include <gtest/gtest.h>

#include "OsFile.h"
#include "OsSystemInfo.h"
#include "TempDir.h"

namespace {

UsageFacts SampleFacts() {
    UsageFacts facts;
    facts.newPlayer = true;
    facts.accountId = 1000;
    facts.hardwareAddress = "0A1B2C3D4E5F";
    facts.osText = "LI";
    facts.installDate = "2026-12-09";
    facts.freeDiskMiB = 2048;
    facts.memoryText = "PT,1,PA,2,VT,3,VA,4";
    facts.processorText = "6-158-10";
    facts.kbDown = 12;
    facts.secDown = 3;
    facts.patchClientId = "PCID";
    facts.currentState = "File/Data/Strings.txt";
    facts.fileProgress = 50;
    facts.totalProgress = 75;
    return facts;
}

TEST(UsageReport, PartsInTheirOrderWithTheIdOrTheName) {
    UsageFacts facts = SampleFacts();
    EXPECT_EQ(FormatUsageReport("patching", facts),
              "?message=patching,18,AcctStatus,NEW,IdType,I,Id,1000,MAC,0A1B2C3D4E5F,OST,LI,Inst,2026-12-09,"
              "DiskSpace,2048,PT,1,PA,2,VT,3,VA,4,CPUFMS,6-158-10,KBDown,12,SecDown,3,PatchClientID,PCID,"
              "CurrentState,File/Data/Strings.txt,FileProgress,50,TotalProgress,75");
    facts.newPlayer = false;
    facts.accountName = "player";
    facts.secDown = -1;
    std::string text = FormatUsageReport("UserClosed", facts);
    EXPECT_EQ(text.rfind("?message=UserClosed,18,AcctStatus,RET,IdType,N,Id,player,MAC,", 0), 0u) << text;
    EXPECT_NE(text.find(",SecDown,-1,"), std::string::npos);
}

TEST(UsageReport, OsTexts) {
    EXPECT_STREQ(OsText(0), "LI");
    EXPECT_STREQ(OsText(1), "OSX");
    EXPECT_STREQ(OsText(108), "VI");
    EXPECT_STREQ(OsText(110), "7");
    EXPECT_STREQ(OsText(111), "UN");
    EXPECT_STREQ(OsText(114), "FW");
    EXPECT_STREQ(OsText(-3), "UN");
}

TEST(UsageReport, MemoryFiguresFromMeminfoInMebibytes) {
    const std::string meminfo =
        "MemTotal:       16384000 kB\nMemFree:         1000 kB\nMemAvailable:    8192000 kB\n"
        "SwapTotal:       2048000 kB\nSwapFree:        1024000 kB\n";
    EXPECT_EQ(MemoryTextFromMeminfo(meminfo), "PT,16000,PA,8000,VT,18000,VA,9000");
    EXPECT_EQ(MemoryTextFromMeminfo("MemTotal: 100 kB\n"), "PT,0,PA,0,VT,0,VA,0");
    EXPECT_EQ(MemoryTextFromMeminfo(""), "PT,0,PA,0,VT,0,VA,0");
    // This machine's figures have the same shape, and a non-zero total.
    std::string own = MemoryText();
    EXPECT_EQ(own.rfind("PT,", 0), 0u);
    EXPECT_NE(own.rfind("PT,0,", 0), 0u) << own;
}

TEST(UsageReport, ProcessorFiguresFromCpuinfoAndFromTheIdentifier) {
    const std::string cpuinfo =
        "processor\t: 0\nvendor_id\t: GenuineIntel\ncpu family\t: 6\nmodel\t\t: 158\n"
        "model name\t: Some CPU\nstepping\t: 10\n\nprocessor\t: 1\ncpu family\t: 7\nmodel\t\t: 1\nstepping\t: 1\n";
    EXPECT_EQ(HY_OS::ProcessorIdentifierFromCpuInfo(cpuinfo), "x86 Family 6 Model 158 Stepping 10");
    EXPECT_EQ(ProcessorTextFromIdentifier("x86 Family 6 Model 158 Stepping 10"), "6-158-10");
    EXPECT_EQ(ProcessorTextFromIdentifier("AMD64 Family 25 Model 33 Stepping 0"), "25-33-0");
    // A processor without the figures (many ARM systems) and a broken identifier give zeros.
    EXPECT_EQ(HY_OS::ProcessorIdentifierFromCpuInfo("processor : 0\nBogoMIPS : 50.00\n"), "");
    EXPECT_EQ(ProcessorTextFromIdentifier(""), "0-0-0");
    EXPECT_EQ(ProcessorTextFromIdentifier("x86 Family six"), "0-0-0");
}

TEST(UsageReport, InstallDateOfTheFirstEntryAndNoneForAnEmptyFolder) {
    hytest::TempDir dir;
    EXPECT_EQ(InstallDateText(dir.Path()), "");
    std::string file = dir.Path() + "/Readme.txt";
    ASSERT_TRUE(HY_OS::WriteFileAtomic(file, "x"));
    // 2021-03-04 05:06:07 UTC.
    ASSERT_TRUE(HY_OS::SetLastWriteTimeMs(file, 1614834367000));
    EXPECT_EQ(InstallDateText(dir.Path()), "2021-03-04");
    EXPECT_EQ(InstallDateText(dir.Path() + "/missing"), "");
}

TEST(UsageReport, HardwareAddressIsTwelveHexDigitsOrEmpty) {
    std::string address = HardwareAddressText();
    if (!address.empty()) {
        ASSERT_EQ(address.size(), 12u);
        EXPECT_EQ(address.find_first_not_of("0123456789ABCDEF"), std::string::npos) << address;
    }
}

}  // namespace
