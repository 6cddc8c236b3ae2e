#include "ReservedRanges.h"

#include <sys/mman.h>

namespace {

wine_preload_info g_table[3] = {};
int g_reserved = 0;

bool Reserve(unsigned long start, unsigned long end) {
    void* want = reinterpret_cast<void*>(start);
    void* got = mmap(want, end - start, PROT_NONE,
                     MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE | MAP_FIXED_NOREPLACE, -1, 0);
    if (got == MAP_FAILED) return false;
    if (got != want) {  // a kernel without MAP_FIXED_NOREPLACE treats it as a hint
        munmap(got, end - start);
        return false;
    }
    return true;
}

// Runs while the executable is loaded, before the libraries' own constructors have had a chance
// to map anything into the low addresses.
__attribute__((constructor(101))) void ReserveAtLoad() {
    const unsigned long ranges[2][2] = {{larkhost::kDosAreaStart, larkhost::kDosAreaEnd},
                                        {larkhost::kSharedHeapStart, larkhost::kSharedHeapEnd}};
    for (const auto& r : ranges) {
        if (Reserve(r[0], r[1])) {
            g_table[g_reserved].addr = reinterpret_cast<void*>(r[0]);
            g_table[g_reserved].size = r[1] - r[0];
            ++g_reserved;
        }
    }
    if (g_reserved > 0) wine_main_preload_info = g_table;
}

}  // namespace

extern "C" {
__attribute__((visibility("default"))) const wine_preload_info* wine_main_preload_info = nullptr;
}

namespace larkhost {

int ReservedRangeCount() { return g_reserved; }

void RemapReservedRanges() {
    for (int i = 0; i < g_reserved; ++i)
        mmap(g_table[i].addr, g_table[i].size, PROT_NONE,
             MAP_FIXED | MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
}

}  // namespace larkhost
