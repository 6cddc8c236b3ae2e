#include "OsNamedEvent.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

namespace {

TEST(NamedEventProcess, AnotherProcessOfTheUserSetsTheEvent) {
    const std::string name = "HYTestEvent.fork." + std::to_string(::getpid());
    auto waiter = HY_OS::NamedEvent::CreateFresh(name);
    ASSERT_NE(waiter, nullptr);
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // The child opens the event by name alone, as a started game does.
        auto event = HY_OS::NamedEvent::Open(name);
        ::_exit(event && event->Set() ? 0 : 3);
    }
    EXPECT_TRUE(waiter->WaitMs(10000));
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    waiter->Remove();
}

}  // namespace
