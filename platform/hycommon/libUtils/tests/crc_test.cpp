#include "Crc.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace {

TEST(Crc, KnownValues) {
    EXPECT_EQ(CrcUpdate(0, "abc"), 0xCA6598D0u);
    EXPECT_EQ(CrcUpdate(0, "123456789"), 0x2DFD2D88u);
    EXPECT_EQ(HYCrc::UpdateBytewise(0, "abc", 3), 0xCA6598D0u);
    EXPECT_EQ(HYCrc::UpdateBytewise(0, "123456789", 9), 0x2DFD2D88u);
    EXPECT_EQ(CrcUpdate(0, "", 0), 0u);
    EXPECT_EQ(CrcUpdate(0x1234, nullptr), 0x1234u);
}

TEST(Crc, FastPathsMatchTheByteLoopOnRandomBuffers) {
    std::mt19937 random(12345);
    std::vector<unsigned char> buffer(70000);
    for (auto& b : buffer) b = static_cast<unsigned char>(random());
    for (int round = 0; round < 300; ++round) {
        size_t offset = random() % 64;
        size_t size = random() % (buffer.size() - offset);
        uint32_t start = round % 3 == 0 ? 0 : static_cast<uint32_t>(random());
        uint32_t expected = HYCrc::UpdateBytewise(start, buffer.data() + offset, size);
        ASSERT_EQ(HYCrc::UpdateZlib(start, buffer.data() + offset, size), expected) << size;
        ASSERT_EQ(HYCrc::UpdateIsal(start, buffer.data() + offset, size), expected) << size;
        ASSERT_EQ(CrcUpdate(start, buffer.data() + offset, size), expected) << size;
    }
}

TEST(Crc, ContinuesAcrossPieces) {
    const char text[] = "The quick brown fox jumps over the lazy dog";
    uint32_t whole = CrcUpdate(0, text);
    uint32_t split = CrcUpdate(CrcUpdate(0, text, 10), text + 10, sizeof text - 11);
    EXPECT_EQ(whole, split);
}

}  // namespace
