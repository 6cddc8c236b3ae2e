#include "LoaderWire.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace larkhost {
namespace {

TEST(LoaderWire, SplitsNulTerminatedStringsAndRefusesAnOpenEnd) {
    std::vector<std::string> out;
    EXPECT_TRUE(SplitNulStrings(std::string("a=1\0\0b\0", 7), out));
    EXPECT_EQ(out, (std::vector<std::string>{"a=1", "", "b"}));
    EXPECT_TRUE(SplitNulStrings("", out));
    EXPECT_TRUE(out.empty());
    EXPECT_FALSE(SplitNulStrings(std::string("a\0b", 3), out));
}

TEST(LoaderWire, ReadFullyCollectsSplitWritesAndReportsEndOfStream) {
    int sv[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, sv), 0);
    uint32_t value = kLoaderRequest64;
    ASSERT_EQ(write(sv[1], &value, 2), 2);
    ASSERT_EQ(write(sv[1], reinterpret_cast<char*>(&value) + 2, 2), 2);
    uint32_t read = 0;
    EXPECT_EQ(ReadFully(sv[0], &read, sizeof(read)), 0);
    EXPECT_EQ(read, kLoaderRequest64);
    ASSERT_EQ(write(sv[1], &value, 3), 3);
    close(sv[1]);
    errno = 5;
    EXPECT_EQ(ReadFully(sv[0], &read, sizeof(read)), -1);
    EXPECT_EQ(errno, 0);  // end of stream, not an error
    close(sv[0]);
}

TEST(LoaderWire, ReceivedDescriptorsCloseWhatTheyStillOwn) {
    int p[2];
    ASSERT_EQ(pipe(p), 0);
    int kept;
    {
        ReceivedDescriptors fds;
        fds.Add(p[0]);
        fds.Add(p[1]);
        kept = fds.Release(1);
    }
    EXPECT_EQ(fcntl(p[0], F_GETFD), -1);  // closed by the owner
    EXPECT_NE(fcntl(kept, F_GETFD), -1);  // released: still open
    close(kept);
}

}  // namespace
}  // namespace larkhost
