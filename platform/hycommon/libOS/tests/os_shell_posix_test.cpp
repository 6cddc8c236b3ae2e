// Opening addresses on Linux: the opener found on PATH gets the address, and its process is
// collected when it ends rather than left behind as a finished child.
#include "OsShell.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "OsEnv.h"
#include "TempDir.h"

namespace {

using namespace HY_OS;

// The number of finished children of this process not yet collected.
int FinishedChildren() {
    int count = 0;
    DIR* proc = ::opendir("/proc");
    if (!proc) return -1;
    while (dirent* entry = ::readdir(proc)) {
        std::ifstream stat(std::string("/proc/") + entry->d_name + "/stat");
        std::string line;
        if (!std::getline(stat, line)) continue;
        size_t close = line.rfind(')');
        if (close == std::string::npos) continue;
        std::istringstream rest(line.substr(close + 2));
        char state = 0;
        long parent = 0;
        rest >> state >> parent;
        if (parent == ::getpid() && state == 'Z') ++count;
    }
    ::closedir(proc);
    return count;
}

std::string ReadAll(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(OsShellPosix, OpenerGetsTheAddressAndIsCollectedWhenItEnds) {
    hytest::TempDir dir;
    std::string opener = dir / "xdg-open";
    {
        std::ofstream script(opener);
        script << "#!/bin/sh\nprintf '%s' \"$1\" > '" << dir / "opened.tmp" << "'\nmv '"
               << dir / "opened.tmp" << "' '" << dir / "opened" << "'\n";
    }
    ASSERT_EQ(::chmod(opener.c_str(), 0755), 0);
    std::string oldPath;
    GetEnv("PATH", oldPath);
    SetEnv("PATH", dir.Path() + ":" + oldPath);
    int error = OpenAddress("https://larkspur.example/account?a=1&b=2");
    SetEnv("PATH", oldPath);
    ASSERT_EQ(error, 0);

    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (::access((dir / "opened").c_str(), F_OK) != 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(ReadAll(dir / "opened"), "https://larkspur.example/account?a=1&b=2");
    // The opener has ended; nothing of it stays behind once it is collected.
    while (FinishedChildren() != 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(FinishedChildren(), 0);
}

TEST(OsShellPosix, WithoutAnOpenerTheCallSaysSo) {
    hytest::TempDir empty;
    std::string oldPath;
    GetEnv("PATH", oldPath);
    SetEnv("PATH", empty.Path());
    EXPECT_EQ(OpenAddress("http://larkspur.example/"), ENOENT);
    SetEnv("PATH", oldPath);
}

}  // namespace
