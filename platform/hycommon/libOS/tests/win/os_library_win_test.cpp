#include <windows.h>

#include "OsLibrary.h"

#include <gtest/gtest.h>

#include "OsEnv.h"
#include "OsHost.h"
#include "OsTime.h"

namespace {

TEST(OsLibraryWin, LoadsByNameAndReportsFailures) {
    EXPECT_EQ(HY_OS::LibraryFileName("Sigil"), "Sigil.dll");
    HY_OS::LibraryHandle missing = HY_OS::LoadLibraryByName("NoSuchLibraryHere");
    EXPECT_EQ(missing, nullptr);
    EXPECT_NE(HY_OS::LibraryError().find("NoSuchLibraryHere.dll"), std::string::npos);

    HY_OS::LibraryHandle kernel = HY_OS::LoadLibraryByName("kernel32");
    ASSERT_NE(kernel, nullptr);
    EXPECT_NE(HY_OS::GetLibrarySymbol(kernel, "GetTickCount"), nullptr);
    EXPECT_EQ(HY_OS::GetLibrarySymbol(kernel, "no_such_symbol"), nullptr);
    EXPECT_NE(HY_OS::LibraryError().find("no_such_symbol"), std::string::npos);
    HY_OS::FreeLibrary(kernel);
}

TEST(OsHostWin, HostNameEnvironmentAndProgramPath) {
    HY_OS::UnsetEnv("HY_HOSTNAME");
    std::string real = HY_OS::GetHostName();
    EXPECT_FALSE(real.empty());
    HY_OS::SetEnv("HY_HOSTNAME", "bench-07");
    EXPECT_EQ(HY_OS::GetHostName(), "bench-07");
    // The C run-time's copy of the environment follows.
    ASSERT_NE(std::getenv("HY_HOSTNAME"), nullptr);
    EXPECT_STREQ(std::getenv("HY_HOSTNAME"), "bench-07");
    HY_OS::UnsetEnv("HY_HOSTNAME");
    EXPECT_EQ(HY_OS::GetHostName(), real);
    std::string value;
    EXPECT_FALSE(HY_OS::GetEnv("HY_HOSTNAME", value));
    HY_OS::SetEnv("HY_EMPTY_VALUE", "");
    // An empty value is either set-and-empty or unset, never a stale one.
    EXPECT_TRUE(!HY_OS::GetEnv("HY_EMPTY_VALUE", value) || value.empty());
    std::string path = HY_OS::GetExecutablePath();
    EXPECT_NE(path.find("hy_os_tests.exe"), std::string::npos);
    EXPECT_EQ(path[1], ':');  // a drive-letter path
}

TEST(OsTimeWin, ClocksAdvanceAndConvert) {
    uint64_t a = HY_OS::GetMonotonicMs();
    HY_OS::SleepMs(5);
    EXPECT_GE(HY_OS::GetMonotonicMs() - a, 5u);
    EXPECT_EQ(HY_OS::GetTickCount32(), static_cast<uint32_t>(HY_OS::GetMonotonicMs()));
    EXPECT_GT(HY_OS::GetTimeMs(), 1700000000000ull);
    HY_OS::LocalTime t{};
    ASSERT_TRUE(HY_OS::ToLocalTime(0, t));
    EXPECT_TRUE(t.year == 1970 || t.year == 1969);
    // 2024-03-01 12:00 UTC: day 60 of a leap year, whatever the zone (within a day).
    ASSERT_TRUE(HY_OS::ToLocalTime(1709294400, t));
    EXPECT_EQ(t.year, 2024u);
    EXPECT_NEAR(static_cast<int>(t.yday), 60, 1);
    EXPECT_FALSE(HY_OS::ToLocalTime(-20000000000LL, t));
}

// Under Wine the code names the host system; these tests run under Wine on Linux only.
TEST(OsCodeWin, UnderWineOnLinuxTheCodeIsZero) {
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    if (GetProcAddress(ntdll, "wine_get_host_version") == nullptr) {
        GTEST_SKIP() << "not under Wine: the version code is checked by the mapping test";
    }
    EXPECT_EQ(HY_OS::GetOsCode(), 0);
}

}  // namespace
