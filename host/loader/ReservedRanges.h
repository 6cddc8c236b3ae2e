// The two address ranges the host holds for the Windows program it may load: reserved as
// inaccessible, unbacked mappings before main() runs, and announced to Wine's core library
// through the exported table "wine_main_preload_info", as Wine's own preloader does.
#pragma once

#include <cstddef>

extern "C" {
struct wine_preload_info {
    void* addr;
    size_t size;
};
// Points at the table of the ranges actually reserved (ending with a zero size), or is null when
// none could be reserved; Wine's core library then reserves its areas itself. The executable
// must export this symbol for the library to find it.
extern const struct wine_preload_info* wine_main_preload_info;
}

namespace larkhost {

// The DOS area starts at 0x10000, not 0x1000: the kernel refuses mappings below
// vm.mmap_min_addr, which is 65536 on most systems.
constexpr unsigned long kDosAreaStart = 0x10000;
constexpr unsigned long kDosAreaEnd = 0x40000000;
constexpr unsigned long kSharedHeapStart = 0x7F000000;
constexpr unsigned long kSharedHeapEnd = 0x82000000;

// How many of the two ranges were reserved at load time (0, 1 or 2).
int ReservedRangeCount();

// Maps the reserved ranges afresh as fixed, private, anonymous, inaccessible mappings without
// swap reservation, just before the hand-over. Only ranges this process reserved itself are
// touched, so a range that something else occupies is never clobbered.
void RemapReservedRanges();

}  // namespace larkhost
