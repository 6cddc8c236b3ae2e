// Replaces the program's allocation functions with ones that remember the largest single request,
// so a test can show that hostile input is refused before a buffer of its claimed size is made.
#include "allocation_probe.h"

#include <cstdlib>
#include <new>

namespace {
std::atomic<size_t> g_largest{0};

void* Allocate(size_t size) {
    size_t seen = g_largest.load(std::memory_order_relaxed);
    while (size > seen && !g_largest.compare_exchange_weak(seen, size, std::memory_order_relaxed)) {
    }
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
}  // namespace

namespace allocation_probe {
void Reset() { g_largest.store(0); }
size_t Largest() { return g_largest.load(); }
}  // namespace allocation_probe

void* operator new(size_t size) { return Allocate(size); }
void* operator new[](size_t size) { return Allocate(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { std::free(p); }
void operator delete[](void* p, size_t) noexcept { std::free(p); }
