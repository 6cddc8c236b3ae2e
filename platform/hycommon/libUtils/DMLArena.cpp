#include "DMLArena.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "OsPages.h"

DMLArenaRef DMLArena::Make() { return DMLArenaRef::Adopt(new DMLArena()); }

DMLArena::~DMLArena() {
    Block* block = m_blocks;
    while (block) {
        Block* next = block->next;
        if (block->pages) {
            HY_OS::FreePages(block, block->size);
        } else {
            ::operator delete(block);
        }
        block = next;
    }
}

void DMLArena::NewBlock(size_t atLeast) {
    size_t size = std::max(m_nextBlock, atLeast + sizeof(Block) + alignof(std::max_align_t));
    // Large blocks come straight from the system in whole large pages: a big table then costs a
    // few page faults rather than one per 4 KiB of records.
    void* pages = nullptr;
    if (size >= HY_OS::kLargePageSize) {
        size = (size + HY_OS::kLargePageSize - 1) & ~(HY_OS::kLargePageSize - 1);
        pages = HY_OS::AllocatePages(size);
    }
    auto* block = static_cast<Block*>(pages ? pages : ::operator new(size));
    block->next = m_blocks;
    block->size = size;
    block->pages = pages != nullptr;
    m_blocks = block;
    m_cursor = reinterpret_cast<char*>(block + 1);
    m_limit = reinterpret_cast<char*>(block) + size;
    m_nextBlock = std::min(m_nextBlock * 2, kLargestBlock);
}

void* DMLArena::Allocate(size_t size, size_t align) {
    if (!IsOpen()) return nullptr;
    auto aligned = [&] {
        uintptr_t at = reinterpret_cast<uintptr_t>(m_cursor);
        return reinterpret_cast<char*>((at + align - 1) & ~(uintptr_t{align} - 1));
    };
    char* at = m_cursor ? aligned() : nullptr;
    if (!at || at > m_limit || static_cast<size_t>(m_limit - at) < size) {
        NewBlock(size + align);
        at = aligned();
    }
    m_cursor = at + size;
    m_used += size;
    return at;
}

const char* DMLArena::InternName(const char* name) {
    for (size_t i = 0; i < m_nameCount; ++i) {
        size_t slot = m_nameCursor + i < m_nameCount ? m_nameCursor + i : m_nameCursor + i - m_nameCount;
        if (std::memcmp(m_names[slot], name, kNameSize) == 0) {
            m_nameCursor = slot + 1 < m_nameCount ? slot + 1 : 0;
            return m_names[slot];
        }
    }
    auto* copy = static_cast<char*>(Allocate(kNameSize, 1));
    if (!copy) return nullptr;
    std::memcpy(copy, name, kNameSize);
    if (m_nameCount < kMaxShared) m_names[m_nameCount++] = copy;
    return copy;
}
