#include "WineLaunch.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "LogCapture.h"
#include "ReservedRanges.h"
#include "TempDir.h"

namespace larkhost {
namespace {

LoaderRequest RequestWithPipes(int count, std::vector<int>& writeEnds) {
    LoaderRequest request;
    request.arguments = {"", "prog.exe"};
    for (int i = 0; i < count; ++i) {
        int p[2];
        EXPECT_EQ(pipe(p), 0);
        request.descriptors.Add(p[1]);
        writeEnds.push_back(p[0]);  // the read ends stay with the test
    }
    return request;
}

TEST(WineLaunch, WithoutAnyLoaderPathThePreparationFails) {
    std::vector<int> readEnds;
    LoaderRequest request = RequestWithPipes(4, readEnds);
    hytest::ScopedLogCapture log;
    WineLaunch launch;
    EXPECT_FALSE(PrepareWineLaunch(std::move(request), "", launch));
    EXPECT_EQ(log->Count("failed to construct wineloader path string"), 1);
    for (int fd : readEnds) close(fd);
}

// The entry the launch calls in the child: reports what it finds on its standard output.
void ReportingEntry(int argc, char** argv, char** envp) {
    char cwd[PATH_MAX] = {};
    (void)!getcwd(cwd, sizeof(cwd));
    std::string report = std::to_string(argc) + "|" + argv[0] + "|" + argv[1] + "|" + cwd + "|" +
                         (getenv("ONLY") ? getenv("ONLY") : "-") + "|" +
                         (getenv("HOME") ? "home" : "nohome") + "|" +
                         (envp == environ ? "environ" : "other");
    int server = atoi(getenv("WINESERVERSOCKET"));
    report += (fcntl(server, F_GETFD) & FD_CLOEXEC) ? "|cloexec" : "|inherit";
    (void)!write(1, report.data(), report.size());
}

TEST(WineLaunch, RunInstallsDirectoryEnvironmentAndStandardStreamsBeforeTheEntry) {
    hytest::TempDir dir;
    std::vector<int> readEnds;
    LoaderRequest request = RequestWithPipes(4, readEnds);
    request.workingDirectory = dir.Path();
    request.environment = {"ONLY=this", "WINELOADER=/w/lib/wine/wine64"};
    WineLaunch launch;
    ASSERT_TRUE(PrepareWineLaunch(std::move(request), "/root", launch));

    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        RunWineLaunch(std::move(launch), ReportingEntry);
        _exit(0);
    }
    launch.descriptors.CloseAll();
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    char buffer[512] = {};
    ssize_t got = read(readEnds[1], buffer, sizeof(buffer) - 1);  // the child's standard output
    ASSERT_GT(got, 0);
    char real[PATH_MAX];
    ASSERT_NE(realpath(dir.Path().c_str(), real), nullptr);
    EXPECT_EQ(std::string(buffer), std::string("2|/w/lib/wine/wine64|prog.exe|") + real +
                                       "|this|nohome|environ|cloexec");
    for (int fd : readEnds) close(fd);
}

TEST(ReservedRanges, TheAnnouncedTableListsExactlyTheReservedRanges) {
    int count = ReservedRangeCount();
    if (count == 0) {
        EXPECT_EQ(wine_main_preload_info, nullptr);
        GTEST_SKIP()
            << "no range could be reserved in this process (a sanitizer owns the addresses)";
    }
    ASSERT_NE(wine_main_preload_info, nullptr);
    EXPECT_EQ(wine_main_preload_info[0].addr, reinterpret_cast<void*>(kDosAreaStart));
    EXPECT_EQ(wine_main_preload_info[0].size, kDosAreaEnd - kDosAreaStart);
    EXPECT_EQ(wine_main_preload_info[count].size, 0u);
    // The DOS area is really held: a hinted mapping there lands elsewhere.
    void* probe = mmap(reinterpret_cast<void*>(kDosAreaStart + 0x100000), 4096, PROT_READ,
                       MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED_NOREPLACE, -1, 0);
    EXPECT_EQ(probe, MAP_FAILED);
}

}  // namespace
}  // namespace larkhost
