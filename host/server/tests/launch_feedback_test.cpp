#include "LaunchFeedback.h"

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <thread>

#include "LogCapture.h"
#include "TempDir.h"

namespace larkhost {
namespace {

void Report(const std::string& path, const void* data, size_t size) {
    int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    struct sockaddr_un address {};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof(address.sun_path) - 1);
    ASSERT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
    if (size > 0) {
        ASSERT_EQ(write(fd, data, size), static_cast<ssize_t>(size));
    }
    close(fd);
}

bool WaitNotified(const LaunchFeedbackInfo& info) {
    for (int i = 0; i < 2000 && !info.Notified(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return info.Notified();
}

TEST(LaunchFeedback, TheValue289MarksTheLaunchNotified) {
    hytest::ScopedLogCapture log;
    auto info = LaunchFeedbackInfo::Start("icon");
    ASSERT_TRUE(info);
    EXPECT_FALSE(info->Notified());
    uint32_t value = kLaunchNotifyValue;
    Report(info->SocketPath(), &value, sizeof(value));
    EXPECT_TRUE(WaitNotified(*info));
    EXPECT_EQ(log->CountPrefix("LaunchFeedbackInfo::AcceptOne: got an unexpected"), 0);
}

TEST(LaunchFeedback, AnythingElseIsLoggedAndStillCountsAsNotified) {
    struct Case {
        std::string bytes;
        const char* log;
    };
    uint32_t wrong = 290;
    for (const Case& c :
         {Case{std::string(reinterpret_cast<char*>(&wrong), 4),
               "LaunchFeedbackInfo::AcceptOne: got an unexpected launch-notify response: "
               "290/0x00000122"},
          Case{"ab", "LaunchFeedbackInfo::AcceptOne: got an unexpected launch-notify response"},
          Case{"",
               "LaunchFeedbackInfo::AcceptOne: got an unexpected launch-notify response: 0/"}}) {
        hytest::ScopedLogCapture log;
        auto info = LaunchFeedbackInfo::Start("icon");
        ASSERT_TRUE(info);
        Report(info->SocketPath(), c.bytes.data(), c.bytes.size());
        EXPECT_TRUE(WaitNotified(*info));
        EXPECT_EQ(log->CountPrefix(c.log), 1) << c.log;
    }
}

TEST(LaunchFeedback, TheSocketFileGoesWithTheInfoAndLongFoldersGiveNoFeedback) {
    std::string path;
    {
        auto info = LaunchFeedbackInfo::Start("icon");
        ASSERT_TRUE(info);
        path = info->SocketPath();
        EXPECT_TRUE(std::filesystem::exists(path));
    }
    EXPECT_FALSE(std::filesystem::exists(path));

    hytest::TempDir dir;
    std::string deep = dir.Path(std::string(100, 'x'));
    std::filesystem::create_directories(deep);
    hytest::ScopedLogCapture log;
    EXPECT_EQ(LaunchFeedbackInfo::Start("icon", deep), nullptr);
    EXPECT_EQ(log->CountPrefix("LaunchFeedbackInfo::Start: failed to set up socket; errno "), 1);
}

TEST(LaunchFeedback, ALaunchThatNeverNotifiesStopsAfter800Ticks) {
    auto info = LaunchFeedbackInfo::Start("icon");
    ASSERT_TRUE(info);
    LaunchFeedbackList list;
    list.Add(info.get());
    int drawn = 0;
    while (!list.Empty() && drawn < 5000) drawn += list.Tick() ? 1 : 0;
    EXPECT_EQ(drawn, kFeedbackMaxTicks + 1);  // lives 0..800
    EXPECT_TRUE(list.Empty());
}

TEST(LaunchFeedback, ANotifiedOrEndedLaunchIsDroppedAtTheNextTick) {
    auto quiet = LaunchFeedbackInfo::Start("a");
    auto ended = LaunchFeedbackInfo::Start("b");
    ASSERT_TRUE(quiet && ended);
    LaunchFeedbackList list;
    list.Add(quiet.get());
    list.Add(ended.get());
    ended->End();
    EXPECT_TRUE(list.Tick());  // the quiet one still draws
    EXPECT_EQ(list.Count(), 1u);
    uint32_t value = kLaunchNotifyValue;
    Report(quiet->SocketPath(), &value, sizeof(value));
    ASSERT_TRUE(WaitNotified(*quiet));
    EXPECT_FALSE(list.Tick());
    EXPECT_TRUE(list.Empty());
}

}  // namespace
}  // namespace larkhost
