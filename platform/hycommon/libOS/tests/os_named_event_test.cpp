#include "OsNamedEvent.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <thread>

#include "OsHost.h"

namespace {

// A name of this test process alone, so that test runs side by side do not meet.
std::string UniqueName(const char* what) {
    return std::string("HYTestEvent.") + what + "." + std::to_string(HY_OS::GetProcessId());
}

TEST(NamedEvent, ASetBeforeTheWaitEndsItOnceAndAutoResets) {
    auto waiter = HY_OS::NamedEvent::CreateFresh(UniqueName("set"));
    ASSERT_NE(waiter, nullptr) << "errno " << errno;
    auto signaller = HY_OS::NamedEvent::Open(UniqueName("set"));
    ASSERT_NE(signaller, nullptr);
    EXPECT_TRUE(signaller->Set());
    EXPECT_TRUE(signaller->Set()) << "a second set is absorbed";
    EXPECT_TRUE(waiter->WaitMs(5000));
    EXPECT_FALSE(waiter->WaitMs(0)) << "the set was consumed by the first wait, however many sets";
    EXPECT_TRUE(signaller->Set());
    EXPECT_TRUE(waiter->WaitMs(0)) << "a zero wait takes a set that is there";
    waiter->Remove();
}

TEST(NamedEvent, AWaitWithoutASetTimesOut) {
    auto waiter = HY_OS::NamedEvent::CreateFresh(UniqueName("timeout"));
    ASSERT_NE(waiter, nullptr);
    EXPECT_FALSE(waiter->WaitMs(0));
    EXPECT_FALSE(waiter->WaitMs(30));
    waiter->Remove();
}

TEST(NamedEvent, ASetFromAnotherThreadWakesAWaiter) {
    auto waiter = HY_OS::NamedEvent::CreateFresh(UniqueName("thread"));
    ASSERT_NE(waiter, nullptr);
    std::thread signaller([] {
        auto event = HY_OS::NamedEvent::Open(UniqueName("thread"));
        if (event) event->Set();
    });
    EXPECT_TRUE(waiter->WaitMs(10000));
    signaller.join();
    waiter->Remove();
}

TEST(NamedEvent, CreateFreshDropsALeftoverSet) {
    const std::string name = UniqueName("stale");
    {
        // An earlier run: the event was made and set, but nobody waited for it.
        auto earlier = HY_OS::NamedEvent::CreateFresh(name);
        ASSERT_NE(earlier, nullptr);
        auto late = HY_OS::NamedEvent::Open(name);
        ASSERT_NE(late, nullptr);
        ASSERT_TRUE(late->Set());
        // Left behind without Remove, the way a crashed run leaves it. On Windows the name
        // lives on only while a handle does, so a leftover needs one still open.
        auto fresh = HY_OS::NamedEvent::CreateFresh(name);
        ASSERT_NE(fresh, nullptr);
        EXPECT_FALSE(fresh->WaitMs(0)) << "the old set must not end the new wait";
        // The same name still carries new sets to the fresh event.
        auto signaller = HY_OS::NamedEvent::Open(name);
        ASSERT_NE(signaller, nullptr);
        EXPECT_TRUE(signaller->Set());
        EXPECT_TRUE(fresh->WaitMs(5000));
        fresh->Remove();
    }
}

TEST(NamedEvent, OpenFindsNoEventAndBadNamesAreRefused) {
    errno = 0;
    EXPECT_EQ(HY_OS::NamedEvent::Open(UniqueName("never-made")), nullptr);
    EXPECT_NE(errno, 0);

    auto made = HY_OS::NamedEvent::CreateFresh(UniqueName("removed"));
    ASSERT_NE(made, nullptr);
    EXPECT_NE(HY_OS::NamedEvent::Open(UniqueName("removed")), nullptr);
    made->Remove();
    EXPECT_EQ(HY_OS::NamedEvent::Open(UniqueName("removed")), nullptr) << "the name is gone";

    EXPECT_EQ(HY_OS::NamedEvent::CreateFresh(""), nullptr);
    EXPECT_EQ(errno, EINVAL);
    EXPECT_EQ(HY_OS::NamedEvent::CreateFresh(std::string(400, 'x')), nullptr);
    EXPECT_EQ(errno, ENAMETOOLONG);
    EXPECT_EQ(HY_OS::NamedEvent::Open(""), nullptr);
}

TEST(NamedEvent, SystemNamesStayOneFlatNamePerUser) {
    std::string plain = HY_OS::NamedEventSystemName("HYStartupEvent");
    ASSERT_FALSE(plain.empty());
    EXPECT_NE(plain.find("HYStartupEvent"), std::string::npos);
    EXPECT_EQ(plain, HY_OS::NamedEventSystemName("HYStartupEvent")) << "both sides agree";
    std::string nested = HY_OS::NamedEventSystemName("a/b\\c");
    ASSERT_FALSE(nested.empty());
    // Only a leading separator may remain: the rest of the name cannot reach another folder.
    EXPECT_EQ(nested.find('/', 1), std::string::npos);
    EXPECT_EQ(nested.find('\\'), std::string::npos);
    EXPECT_TRUE(HY_OS::NamedEventSystemName("").empty());
}

}  // namespace
