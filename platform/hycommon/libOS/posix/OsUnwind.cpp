#include <dlfcn.h>
#include <setjmp.h>

#include <atomic>

#define UNW_LOCAL_ONLY
#include <libunwind.h>

#include "OsCrash.h"
#include "posix/OsCrashGuard.h"

namespace HY_OS {

namespace {

// libunwind is loaded privately (RTLD_LOCAL) and called through pointers: linked in the usual
// way, its _Unwind_* functions would take the place of the C++ runtime's exception unwinder.
using InitLocal2 = int (*)(unw_cursor_t*, unw_context_t*, int);
using Step = int (*)(unw_cursor_t*);
using GetReg = int (*)(unw_cursor_t*, unw_regnum_t, unw_word_t*);
using SetCaching = int (*)(unw_addr_space_t, unw_caching_policy_t);

std::atomic<bool> g_loaded{false};
InitLocal2 g_initLocal2 = nullptr;
Step g_step = nullptr;
GetReg g_getReg = nullptr;

// The walk in progress: the thread doing it and where a fault inside it jumps back to.
std::atomic<uint32_t> g_guardedThread{0};
sigjmp_buf g_recover;
// Static: the cursor is large and the handler's stack may be small.
unw_cursor_t g_cursor;

}  // namespace

bool LoadUnwinder() {
    if (g_loaded.load(std::memory_order_acquire)) return true;
    void* library = dlopen("libunwind.so.8", RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) return false;
    auto initLocal2 = reinterpret_cast<InitLocal2>(dlsym(library, "_ULx86_64_init_local2"));
    auto step = reinterpret_cast<Step>(dlsym(library, "_ULx86_64_step"));
    auto getReg = reinterpret_cast<GetReg>(dlsym(library, "_ULx86_64_get_reg"));
    auto setCaching = reinterpret_cast<SetCaching>(dlsym(library, "_ULx86_64_set_caching_policy"));
    auto* space = static_cast<unw_addr_space_t*>(dlsym(library, "_ULx86_64_local_addr_space"));
    if (!initLocal2 || !step || !getReg) return false;
    // No cache: the cache is guarded by a lock, which a signal handler must not wait for.
    if (setCaching && space) setCaching(*space, UNW_CACHE_NONE);
    g_initLocal2 = initLocal2;
    g_step = step;
    g_getReg = getReg;
    g_loaded.store(true, std::memory_order_release);
    return true;
}

void RecoverFromGuardedFault() {
    if (g_guardedThread.load(std::memory_order_acquire) == CrashCurrentThreadId()) {
        siglongjmp(g_recover, 1);
    }
}

int UnwindStack(const void* nativeContext, uint64_t* out, int max) {
    if (!g_loaded.load(std::memory_order_acquire) || nativeContext == nullptr || max <= 0) return 0;
    // Only one walk at a time: the crash handler's.
    uint32_t expected = 0;
    if (!g_guardedThread.compare_exchange_strong(expected, CrashCurrentThreadId())) return 0;
    volatile int count = 0;
    if (sigsetjmp(g_recover, 1) == 0) {
        auto* context = static_cast<unw_context_t*>(const_cast<void*>(nativeContext));
        if (g_initLocal2(&g_cursor, context, UNW_INIT_SIGNAL_FRAME) == 0) {
            do {
                unw_word_t ip = 0;
                if (g_getReg(&g_cursor, UNW_REG_IP, &ip) != 0 || ip == 0) break;
                out[count] = ip;
                count = count + 1;
            } while (count < max && g_step(&g_cursor) > 0);
        }
    }
    g_guardedThread.store(0, std::memory_order_release);
    return count;
}

}  // namespace HY_OS
