// A thread's alternate signal stack: the crash handler's own replaces a smaller one the thread
// already had (as sanitizer runtimes give every thread), and gives it back when the thread
// unregisters, so that its owner still finds and frees it.
#include <gtest/gtest.h>

#include <signal.h>

#include <thread>
#include <vector>

#include "OsCrash.h"

TEST(CrashAlternateStack, AnEarlierSmallerStackIsPutBackWhenTheThreadUnregisters) {
    std::thread([] {
        stack_t saved{};
        ASSERT_EQ(sigaltstack(nullptr, &saved), 0);
        std::vector<char> small(64 * 1024);
        stack_t mine{};
        mine.ss_sp = small.data();
        mine.ss_size = small.size();
        ASSERT_EQ(sigaltstack(&mine, nullptr), 0);

        ASSERT_TRUE(HY_OS::RegisterCrashThread("alt-stack test"));
        stack_t during{};
        ASSERT_EQ(sigaltstack(nullptr, &during), 0);
        EXPECT_NE(during.ss_sp, small.data()) << "the handler needs a bigger stack than 64 KiB";
        EXPECT_FALSE(during.ss_flags & SS_DISABLE);

        HY_OS::UnregisterCrashThread();
        stack_t after{};
        ASSERT_EQ(sigaltstack(nullptr, &after), 0);
        EXPECT_EQ(after.ss_sp, small.data());
        EXPECT_EQ(after.ss_size, small.size());
        EXPECT_FALSE(after.ss_flags & SS_DISABLE);

        // Without an earlier one, unregistering leaves the thread with none.
        stack_t off{};
        off.ss_flags = SS_DISABLE;
        ASSERT_EQ(sigaltstack(&off, nullptr), 0);
        ASSERT_TRUE(HY_OS::RegisterCrashThread("alt-stack test"));
        HY_OS::UnregisterCrashThread();
        ASSERT_EQ(sigaltstack(nullptr, &after), 0);
        EXPECT_TRUE(after.ss_flags & SS_DISABLE);

        if (!(saved.ss_flags & SS_DISABLE)) sigaltstack(&saved, nullptr);
    }).join();
}
