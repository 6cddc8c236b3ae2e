// Large blocks of memory taken straight from the system, for allocators that fill a block once
// and free it whole. Where the system offers them, the blocks are backed by large pages, so that
// filling a block costs a few page faults instead of one per 4 KiB.
#pragma once

#include <cstddef>

namespace HY_OS {

// The size and alignment that large-page blocks come in.
constexpr size_t kLargePageSize = size_t{2} << 20;

// A zero-filled block of `size` bytes, aligned to kLargePageSize where large pages back it;
// nullptr on failure.
void* AllocatePages(size_t size);
// Gives back a block from AllocatePages; `size` is the size it was asked for.
void FreePages(void* block, size_t size);

}  // namespace HY_OS
