// The file client's ring of pending requests: first in, first out across wrap-arounds while its
// slots grow, and full at its capacity, not before.
#include <gtest/gtest.h>

#include <string>

#include "BoundedRing.h"

TEST(BoundedRing, KeepsOrderWhileGrowingAcrossTheWrapAndRefusesOnlyBeyondItsCapacity) {
    BoundedRing<std::string> ring(40);
    EXPECT_EQ(ring.Capacity(), 40u);
    EXPECT_FALSE(ring.Pop().has_value());
    int pushed = 0;
    int popped = 0;
    // Fill part way, take some out so that the head moves, then fill to the top: the slots
    // grow while the live records wrap around the end of the old slots.
    for (; pushed < 12; ++pushed) ASSERT_TRUE(ring.Push(std::to_string(pushed)));
    for (; popped < 7; ++popped) ASSERT_EQ(ring.Pop().value(), std::to_string(popped));
    for (; pushed < 7 + 40; ++pushed) ASSERT_TRUE(ring.Push(std::to_string(pushed))) << pushed;
    EXPECT_EQ(ring.Size(), 40u);
    EXPECT_FALSE(ring.Push("one too many"));
    for (; popped < pushed; ++popped) ASSERT_EQ(ring.Pop().value(), std::to_string(popped));
    EXPECT_TRUE(ring.Empty());
    // Emptied, it fills to its capacity again.
    for (int i = 0; i < 40; ++i) ASSERT_TRUE(ring.Push("again"));
    EXPECT_FALSE(ring.Push("again"));
    ring.Clear();
    EXPECT_EQ(ring.Size(), 0u);
}
