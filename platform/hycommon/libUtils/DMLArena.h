// Memory for the records of one loaded table. A table file is read once and its records are then
// only read, so their storage is taken from a few large blocks instead of several heap blocks per
// record; the blocks are freed together when the last record that uses them is gone. Records
// hold a reference each, so a record kept after its table was dropped stays valid.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <utility>

class DMLArena {
public:
    // A new arena with one reference, held by the returned holder.
    static class DMLArenaRef Make();
    DMLArena(const DMLArena&) = delete;
    DMLArena& operator=(const DMLArena&) = delete;

    void AddRef() { m_refCount.fetch_add(1, std::memory_order_relaxed); }
    void Release() {
        if (m_refCount.fetch_sub(1, std::memory_order_acq_rel) == 1) delete this;
    }

    // Memory for `size` bytes at `align`; nullptr once the arena is closed. Only the thread that
    // fills the arena allocates from it.
    void* Allocate(size_t size, size_t align);
    // Ends allocation: storage that records need later comes from the heap, so that records of a
    // loaded table can be changed on different threads without sharing the arena's cursor.
    void Close() { m_open.store(false, std::memory_order_relaxed); }
    bool IsOpen() const { return m_open.load(std::memory_order_relaxed); }
    size_t BytesUsed() const { return m_used; }

    // A copy of a 32-byte, zero-filled field name that lives as long as the arena; a name copied
    // before is shared, so the records of a table keep each name once. nullptr once closed.
    const char* InternName(const char* name);

private:
    DMLArena() = default;
    ~DMLArena();
    void NewBlock(size_t atLeast);

    struct Block {
        Block* next;
        size_t size;
        bool pages;  // from HY_OS::AllocatePages
    };
    static constexpr size_t kFirstBlock = 64 * 1024;
    static constexpr size_t kLargestBlock = 16 * 1024 * 1024;
    static constexpr size_t kNameSize = 32;
    // Names beyond this many are copied for every entry rather than shared.
    static constexpr size_t kMaxShared = 64;

    std::atomic<int> m_refCount{1};
    Block* m_blocks = nullptr;
    char* m_cursor = nullptr;
    char* m_limit = nullptr;
    size_t m_nextBlock = kFirstBlock;
    size_t m_used = 0;
    std::atomic<bool> m_open{true};
    // The names shared so far, and the one the next look-up starts at: the records of a table
    // repeat their names in the same order, so the look-up usually hits at once.
    const char* m_names[kMaxShared] = {};
    size_t m_nameCount = 0;
    size_t m_nameCursor = 0;
};

// Holds one reference to an arena.
class DMLArenaRef {
public:
    DMLArenaRef() = default;
    // Takes over a reference the caller already holds.
    static DMLArenaRef Adopt(DMLArena* arena) {
        DMLArenaRef ref;
        ref.m_arena = arena;
        return ref;
    }
    DMLArenaRef(const DMLArenaRef& other) : m_arena(other.m_arena) { if (m_arena) m_arena->AddRef(); }
    DMLArenaRef(DMLArenaRef&& other) noexcept : m_arena(std::exchange(other.m_arena, nullptr)) {}
    DMLArenaRef& operator=(DMLArenaRef other) noexcept {
        std::swap(m_arena, other.m_arena);
        return *this;
    }
    ~DMLArenaRef() { if (m_arena) m_arena->Release(); }

    DMLArena* get() const { return m_arena; }
    DMLArena* operator->() const { return m_arena; }
    DMLArena& operator*() const { return *m_arena; }
    explicit operator bool() const { return m_arena != nullptr; }

private:
    DMLArena* m_arena = nullptr;
};
