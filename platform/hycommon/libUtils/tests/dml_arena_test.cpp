#include "DMLArena.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "DMLRecord.h"
#include "OsPages.h"

TEST(DMLArenaTest, AllocatesAlignedMemoryUntilClosed) {
    DMLArenaRef arena = DMLArena::Make();
    void* small = arena->Allocate(3, 1);
    ASSERT_NE(small, nullptr);
    void* aligned = arena->Allocate(24, 8);
    ASSERT_NE(aligned, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(aligned) % 8, 0u);
    // Larger than any block so far: a block of its own, from large pages.
    size_t large = HY_OS::kLargePageSize + 100;
    auto* big = static_cast<char*>(arena->Allocate(large, 16));
    ASSERT_NE(big, nullptr);
    std::memset(big, 0x5A, large);
    EXPECT_EQ(big[large - 1], 0x5A);
    EXPECT_GE(arena->BytesUsed(), large + 27);
    arena->Close();
    EXPECT_FALSE(arena->IsOpen());
    EXPECT_EQ(arena->Allocate(8, 8), nullptr);
}

TEST(DMLArenaTest, RecordsInAnArenaKeepItAlive) {
    DMLRecordRef record;
    {
        DMLArenaRef arena = DMLArena::Make();
        record = DMLRecordRef::MakeIn(*arena);
        record->Reserve(2);
        record->GetField("Name").SetValue(std::string(64, 'n'));
        record->GetField("Size").SetValue(uint32_t{7});
        arena->Close();
        // Past the reserved room after the close: heap storage.
        record->GetField("Late").SetValue(uint32_t{9});
    }
    EXPECT_EQ(record->FindField("Name")->ToStr(), std::string(64, 'n'));
    EXPECT_EQ(record->FindField("Late")->GetUInt(), 9u);
    EXPECT_TRUE(record->RemoveField("Name"));
    EXPECT_EQ(record->FieldCount(), 2u);
    DMLRecord copy(*record);
    record = DMLRecordRef();  // the last holder: the record and then the arena go
    EXPECT_EQ(copy.FindField("Size")->GetUInt(), 7u);
}

// A closed arena makes no records of its own: the record comes from the heap and works the same.
TEST(DMLArenaTest, ClosedArenaMakesHeapRecords) {
    DMLArenaRef arena = DMLArena::Make();
    arena->Close();
    DMLRecordRef record = DMLRecordRef::MakeIn(*arena);
    record->GetField("A").SetValue(1);
    EXPECT_EQ(record->FindField("A")->GetInt(), 1);
    EXPECT_EQ(arena->BytesUsed(), 0u);
}
