#include "OsPages.h"

#include <sys/mman.h>

#include <cstdint>

namespace HY_OS {

void* AllocatePages(size_t size) {
    if (size == 0) return nullptr;
    // Over-allocate by one large page and trim, so that the block starts on a large-page
    // boundary and can be backed by large pages from its first byte.
    size_t mapped = size + kLargePageSize;
    void* raw = ::mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED) return nullptr;
    uintptr_t start = reinterpret_cast<uintptr_t>(raw);
    uintptr_t aligned = (start + kLargePageSize - 1) & ~(uintptr_t{kLargePageSize} - 1);
    if (aligned > start) ::munmap(raw, aligned - start);
    uintptr_t end = start + mapped;
    uintptr_t blockEnd = aligned + size;
    if (end > blockEnd) ::munmap(reinterpret_cast<void*>(blockEnd), end - blockEnd);
    void* block = reinterpret_cast<void*>(aligned);
#ifdef MADV_HUGEPAGE
    // Only a hint: without large pages the block works the same, page by page.
    ::madvise(block, size, MADV_HUGEPAGE);
#endif
    return block;
}

void FreePages(void* block, size_t size) {
    if (block != nullptr) ::munmap(block, size);
}

}  // namespace HY_OS
