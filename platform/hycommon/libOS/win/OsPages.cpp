#include "OsPages.h"

#include <windows.h>

namespace HY_OS {

// Large pages need a privilege that players do not hold; plain committed pages are used.
void* AllocatePages(size_t size) {
    if (size == 0) return nullptr;
    return ::VirtualAlloc(nullptr, size, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
}

void FreePages(void* block, size_t) {
    if (block != nullptr) ::VirtualFree(block, 0, MEM_RELEASE);
}

}  // namespace HY_OS
