#include "OsHost.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include "OsEnv.h"
#include "OsLibrary.h"
#include "OsTime.h"

namespace {

TEST(OsHost, HostNameHonoursOverride) {
    HY_OS::UnsetEnv("HY_HOSTNAME");
    std::string real = HY_OS::GetHostName();
    EXPECT_FALSE(real.empty());
    HY_OS::SetEnv("HY_HOSTNAME", "bench-07");
    EXPECT_EQ(HY_OS::GetHostName(), "bench-07");
    HY_OS::UnsetEnv("HY_HOSTNAME");
    EXPECT_EQ(HY_OS::GetHostName(), real);
    std::string value;
    EXPECT_FALSE(HY_OS::GetEnv("HY_HOSTNAME", value));
    EXPECT_NE(HY_OS::GetExecutablePath().find("hy_os_tests"), std::string::npos);
}

// The process id is asked of the system once; a forked child must still see its own.
TEST(OsHost, ProcessIdFollowsAFork) {
    ASSERT_EQ(HY_OS::GetProcessId(), static_cast<uint32_t>(::getpid()));
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) _exit(HY_OS::GetProcessId() == static_cast<uint32_t>(::getpid()) ? 0 : 1);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the child reported its parent's id";
    EXPECT_EQ(HY_OS::GetProcessId(), static_cast<uint32_t>(::getpid()));
}

TEST(OsLibrary, LoadsByNameAndReportsFailures) {
    EXPECT_EQ(HY_OS::LibraryFileName("Sigil"), "libSigil.so");
    HY_OS::LibraryHandle missing = HY_OS::LoadLibraryByName("NoSuchLibraryHere");
    EXPECT_EQ(missing, nullptr);
    EXPECT_NE(HY_OS::LibraryError().find("libNoSuchLibraryHere.so"), std::string::npos);

    HY_OS::LibraryHandle z = HY_OS::LoadLibraryByName("libz.so.1");
    if (z == nullptr) z = HY_OS::LoadLibraryByName("/lib/x86_64-linux-gnu/libz.so.1");
    ASSERT_NE(z, nullptr);
    EXPECT_NE(HY_OS::GetLibrarySymbol(z, "crc32"), nullptr);
    EXPECT_EQ(HY_OS::GetLibrarySymbol(z, "no_such_symbol"), nullptr);
    HY_OS::FreeLibrary(z);
}

TEST(OsTime, ClocksAdvanceAndConvert) {
    uint64_t a = HY_OS::GetMonotonicMs();
    HY_OS::SleepMs(5);
    EXPECT_GE(HY_OS::GetMonotonicMs() - a, 5u);
    EXPECT_GT(HY_OS::GetTimeMs(), 1700000000000ull);
    HY_OS::LocalTime t{};
    ASSERT_TRUE(HY_OS::ToLocalTime(0, t));
    EXPECT_TRUE(t.year == 1970 || t.year == 1969);
}

}  // namespace
