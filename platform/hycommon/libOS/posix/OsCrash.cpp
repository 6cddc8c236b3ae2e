#include "OsCrash.h"

#include <pthread.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <ucontext.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>

#include "posix/OsCrashGuard.h"

namespace HY_OS {

namespace {

constexpr int kFatalSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT, SIGTRAP};
// Large enough for the crash report's own frames and the unwinder; the buffers the report is
// made in are static, not on this stack.
constexpr size_t kAltStackSize = 256 * 1024;
// A fault this close to the stack pointer is the stack running out.
constexpr uint64_t kOverflowReach = 64 * 1024;
// How long a stopped thread waits to be let go before it runs on by itself.
constexpr uint32_t kStoppedLimitUs = 30u * 1000u * 1000u;

enum SuspendState : int {
    SS_Idle = 0,
    SS_Requested = 1,
    SS_Capturing = 2,
    SS_Stopped = 3,
    SS_Resume = 4,
};

struct ThreadEntry {
    std::atomic<uint32_t> threadId{0};
    char name[kCrashThreadNameSize] = {};
    std::atomic<int> suspend{SS_Idle};
    CpuContext context{};
    const void* nativeContext = nullptr;
    uint64_t stackLow = 0, stackHigh = 0;
};

ThreadEntry g_threads[kMaxCrashThreads];
std::atomic<bool> g_registryLock{false};
std::atomic<int> g_registered{0};
std::atomic<CrashCallback> g_callback{nullptr};
std::atomic<bool> g_installed{false};
std::atomic<int> g_suspendSignal{0};

thread_local int t_entry = -1;
thread_local void* t_altStack = nullptr;
// The alternate stack the thread had before ours (a runtime's, too small for the handler), put
// back when ours goes: its owner frees it when the thread ends, and would otherwise lose it.
thread_local stack_t t_previousAltStack{nullptr, SS_DISABLE, 0};
thread_local uint64_t t_stackLow = 0;
thread_local uint64_t t_stackHigh = 0;

uint32_t RawThreadId() { return static_cast<uint32_t>(::syscall(SYS_gettid)); }

void CopyName(char (&to)[kCrashThreadNameSize], const char* from) {
    size_t i = 0;
    for (; from != nullptr && from[i] != '\0' && i + 1 < kCrashThreadNameSize; ++i) to[i] = from[i];
    for (; i < kCrashThreadNameSize; ++i) to[i] = '\0';
}

void ToCpuContext(const ucontext_t* uc, CpuContext& out) {
    const greg_t* g = uc->uc_mcontext.gregs;
    out.rax = static_cast<uint64_t>(g[REG_RAX]);
    out.rbx = static_cast<uint64_t>(g[REG_RBX]);
    out.rcx = static_cast<uint64_t>(g[REG_RCX]);
    out.rdx = static_cast<uint64_t>(g[REG_RDX]);
    out.rsi = static_cast<uint64_t>(g[REG_RSI]);
    out.rdi = static_cast<uint64_t>(g[REG_RDI]);
    out.rbp = static_cast<uint64_t>(g[REG_RBP]);
    out.rsp = static_cast<uint64_t>(g[REG_RSP]);
    out.r8 = static_cast<uint64_t>(g[REG_R8]);
    out.r9 = static_cast<uint64_t>(g[REG_R9]);
    out.r10 = static_cast<uint64_t>(g[REG_R10]);
    out.r11 = static_cast<uint64_t>(g[REG_R11]);
    out.r12 = static_cast<uint64_t>(g[REG_R12]);
    out.r13 = static_cast<uint64_t>(g[REG_R13]);
    out.r14 = static_cast<uint64_t>(g[REG_R14]);
    out.r15 = static_cast<uint64_t>(g[REG_R15]);
    out.rip = static_cast<uint64_t>(g[REG_RIP]);
    out.flags = static_cast<uint64_t>(g[REG_EFL]);
    // CSGSFS packs cs, gs, fs and (on newer kernels) ss, 16 bits each.
    uint64_t segments = static_cast<uint64_t>(g[REG_CSGSFS]);
    out.cs = static_cast<uint16_t>(segments & 0xFFFF);
    out.gs = static_cast<uint16_t>((segments >> 16) & 0xFFFF);
    out.fs = static_cast<uint16_t>((segments >> 32) & 0xFFFF);
    out.ss = static_cast<uint16_t>((segments >> 48) & 0xFFFF);
    uint16_t ds = 0, es = 0;
    // Data segments are not saved in the signal frame; in user mode they never change.
    asm volatile("mov %%ds, %0" : "=r"(ds));
    asm volatile("mov %%es, %0" : "=r"(es));
    out.ds = ds;
    out.es = es;
    if (out.ss == 0) {
        uint16_t ss = 0;
        asm volatile("mov %%ss, %0" : "=r"(ss));
        out.ss = ss;
    }
}

void NoteStackBounds() {
    pthread_attr_t attributes;
    if (pthread_getattr_np(pthread_self(), &attributes) != 0) return;
    void* base = nullptr;
    size_t size = 0;
    if (pthread_attr_getstack(&attributes, &base, &size) == 0) {
        t_stackLow = reinterpret_cast<uint64_t>(base);
        t_stackHigh = t_stackLow + size;
    }
    pthread_attr_destroy(&attributes);
}

bool LooksLikeOverflow(const CpuContext& context, uint64_t fault) {
    if (fault + kOverflowReach >= context.rsp && fault <= context.rsp + kOverflowReach) return true;
    // The guard area sits just below the lowest usable stack address.
    return t_stackLow != 0 && fault < t_stackLow + 4096 && fault + 1024 * 1024 >= t_stackLow;
}

void OnFatalSignal(int signal, siginfo_t* info, void* raw) {
    RecoverFromGuardedFault();
    const auto* uc = static_cast<const ucontext_t*>(raw);
    CrashInfo crash;
    crash.signal = signal;
    crash.code = info ? info->si_code : 0;
    crash.threadId = RawThreadId();
    ToCpuContext(uc, crash.context);
    crash.nativeContext = uc;
    // Only a fault the kernel raised has an address; a sent signal carries the sender instead.
    bool fault = (signal == SIGSEGV || signal == SIGBUS || signal == SIGFPE || signal == SIGILL) &&
                 crash.code > 0;
    crash.faultAddress = fault && info ? reinterpret_cast<uint64_t>(info->si_addr) : crash.context.rip;
    if (signal == SIGSEGV) crash.stackOverflow = LooksLikeOverflow(crash.context, crash.faultAddress);
    crash.integerDivide = signal == SIGFPE && info && (info->si_code == FPE_INTDIV);
    CrashCallback callback = g_callback.load(std::memory_order_acquire);
    if (callback) {
        callback(crash);
    } else {
        PassOnCrash(crash);
    }
}

// A thread asked to stop: note its registers, then wait until the crash handler lets it go.
void OnSuspendSignal(int, siginfo_t*, void* raw) {
    int saved = errno;
    int index = t_entry;
    if (index >= 0) {
        ThreadEntry& entry = g_threads[index];
        int expected = SS_Requested;
        if (entry.suspend.compare_exchange_strong(expected, SS_Capturing)) {
            ToCpuContext(static_cast<const ucontext_t*>(raw), entry.context);
            entry.nativeContext = raw;
            entry.suspend.store(SS_Stopped, std::memory_order_release);
            for (uint32_t waited = 0; waited < kStoppedLimitUs; waited += 500) {
                if (entry.suspend.load(std::memory_order_acquire) == SS_Resume) break;
                CrashSleepUs(500);
            }
            entry.nativeContext = nullptr;
            entry.suspend.store(SS_Idle, std::memory_order_release);
        }
    }
    errno = saved;
}

void LockRegistry() {
    while (g_registryLock.exchange(true, std::memory_order_acquire)) sched_yield();
}

}  // namespace

bool InstallCrashSignals(CrashCallback callback) {
    RefreshCrashClock();
    LoadUnwinder();
    g_callback.store(callback, std::memory_order_release);
    struct sigaction action {};
    action.sa_sigaction = &OnFatalSignal;
    // No signal is blocked while the handler runs, so a fault inside it is seen at once.
    action.sa_flags = SA_SIGINFO | SA_ONSTACK | SA_NODEFER;
    sigemptyset(&action.sa_mask);
    bool ok = true;
    for (int signal : kFatalSignals) ok = sigaction(signal, &action, nullptr) == 0 && ok;

    int suspend = SIGRTMIN + 5;
    struct sigaction stop {};
    stop.sa_sigaction = &OnSuspendSignal;
    stop.sa_flags = SA_SIGINFO | SA_RESTART | SA_ONSTACK;
    sigfillset(&stop.sa_mask);
    ok = sigaction(suspend, &stop, nullptr) == 0 && ok;
    g_suspendSignal.store(suspend, std::memory_order_release);
    g_installed.store(ok, std::memory_order_release);
    SetUpAlternateStack();
    return ok;
}

void UninstallCrashSignals() {
    for (int signal : kFatalSignals) ::signal(signal, SIG_DFL);
    g_callback.store(nullptr, std::memory_order_release);
    g_installed.store(false, std::memory_order_release);
}

bool CrashSignalsInstalled() { return g_installed.load(std::memory_order_acquire); }

void PassOnCrash(const CrashInfo& info) {
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    sigaction(info.signal, &action, nullptr);
    // A fault recurs when the handler returns; a sent signal or a breakpoint does not.
    bool recurs = info.code > 0 && info.signal != SIGTRAP && info.signal != SIGABRT;
    if (!recurs) ::syscall(SYS_tgkill, ::getpid(), RawThreadId(), info.signal);
}

bool SetUpAlternateStack() {
    if (t_stackLow == 0) NoteStackBounds();
    stack_t current{};
    if (sigaltstack(nullptr, &current) == 0 && !(current.ss_flags & SS_DISABLE) &&
        current.ss_size >= kAltStackSize) {
        return true;  // one big enough is already there
    }
    if (t_altStack == nullptr) {
        if (!(current.ss_flags & SS_DISABLE)) t_previousAltStack = current;
        // A guard page below the stack turns an overflow of the handler into a fault, not into
        // silent damage to other memory.
        void* area = mmap(nullptr, kAltStackSize + 4096, PROT_READ | PROT_WRITE,
                          MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (area == MAP_FAILED) return false;
        mprotect(area, 4096, PROT_NONE);
        t_altStack = area;
    }
    stack_t stack{};
    stack.ss_sp = static_cast<char*>(t_altStack) + 4096;
    stack.ss_size = kAltStackSize;
    return sigaltstack(&stack, nullptr) == 0;
}

bool RegisterCrashThread(const char* name) {
    SetUpAlternateStack();
    if (t_entry >= 0) {
        SetCrashThreadName(name);
        return true;
    }
    uint32_t self = RawThreadId();
    LockRegistry();
    int found = -1;
    for (int i = 0; i < kMaxCrashThreads; ++i) {
        if (g_threads[i].threadId.load(std::memory_order_relaxed) == 0) {
            found = i;
            break;
        }
    }
    if (found >= 0) {
        ThreadEntry& entry = g_threads[found];
        CopyName(entry.name, name);
        entry.suspend.store(SS_Idle, std::memory_order_relaxed);
        entry.stackLow = t_stackLow;
        entry.stackHigh = t_stackHigh;
        entry.threadId.store(self, std::memory_order_release);
        g_registered.fetch_add(1, std::memory_order_relaxed);
        t_entry = found;
    }
    UnlockCrashRegistry();
    return found >= 0;
}

void UnregisterCrashThread() {
    if (t_entry >= 0) {
        LockRegistry();
        g_threads[t_entry].threadId.store(0, std::memory_order_release);
        g_registered.fetch_sub(1, std::memory_order_relaxed);
        UnlockCrashRegistry();
        t_entry = -1;
    }
    if (t_altStack != nullptr) {
        stack_t current{};
        if (sigaltstack(nullptr, &current) == 0 &&
            current.ss_sp == static_cast<char*>(t_altStack) + 4096) {
            stack_t previous = t_previousAltStack;
            if (previous.ss_flags & SS_DISABLE) {
                previous = stack_t{};
                previous.ss_flags = SS_DISABLE;
            } else {
                previous.ss_flags = 0;
            }
            sigaltstack(&previous, nullptr);
        }
        munmap(t_altStack, kAltStackSize + 4096);
        t_altStack = nullptr;
        t_previousAltStack = stack_t{nullptr, SS_DISABLE, 0};
    }
}

void SetCrashThreadName(const char* name) {
    if (t_entry < 0) return;
    LockRegistry();
    CopyName(g_threads[t_entry].name, name);
    UnlockCrashRegistry();
}

int RegisteredCrashThreadCount() { return g_registered.load(std::memory_order_relaxed); }

bool TryLockCrashRegistry(uint32_t waitMs) {
    for (uint32_t waited = 0;; waited += 1) {
        if (!g_registryLock.exchange(true, std::memory_order_acquire)) return true;
        if (waited >= waitMs) return false;
        CrashSleepUs(1000);
    }
}

void UnlockCrashRegistry() { g_registryLock.store(false, std::memory_order_release); }

int StopCrashThreads(CrashThread* out, int max, uint32_t waitMs) {
    if (max <= 0) return 0;
    uint32_t self = RawThreadId();
    int count = 0;
    CrashThread& first = out[count++];
    first = CrashThread{};
    first.threadId = self;
    if (t_entry >= 0) CopyName(first.name, g_threads[t_entry].name);
    first.stackLow = t_stackLow;
    first.stackHigh = t_stackHigh;

    int signal = g_suspendSignal.load(std::memory_order_acquire);
    // Ask every thread first, then collect: they stop in parallel. Only as many are asked as
    // `out` can take, so that none is left waiting.
    int asked = 0;
    for (int i = 0; i < kMaxCrashThreads && asked < max - 1; ++i) {
        ThreadEntry& entry = g_threads[i];
        uint32_t id = entry.threadId.load(std::memory_order_acquire);
        if (id == 0 || id == self || signal == 0) continue;
        ++asked;
        entry.suspend.store(SS_Requested, std::memory_order_release);
        if (::syscall(SYS_tgkill, ::getpid(), id, signal) != 0) {
            entry.suspend.store(SS_Idle, std::memory_order_release);
        }
    }
    for (int i = 0; i < kMaxCrashThreads && count < max; ++i) {
        ThreadEntry& entry = g_threads[i];
        uint32_t id = entry.threadId.load(std::memory_order_acquire);
        if (id == 0 || id == self) continue;
        CrashThread& thread = out[count++];
        thread = CrashThread{};
        thread.threadId = id;
        CopyName(thread.name, entry.name);
        thread.stackLow = entry.stackLow;
        thread.stackHigh = entry.stackHigh;
        // Waits while the thread has not answered; once it is capturing it is about to stop.
        int state = SS_Requested;
        for (uint32_t waited = 0; waited <= waitMs * 10; ++waited) {
            state = entry.suspend.load(std::memory_order_acquire);
            if (state != SS_Requested && state != SS_Capturing) break;
            CrashSleepUs(100);
        }
        int expected = SS_Requested;
        if (state == SS_Requested && entry.suspend.compare_exchange_strong(expected, SS_Idle)) {
            continue;  // withdrawn: a late signal finds nothing to do
        }
        while (entry.suspend.load(std::memory_order_acquire) == SS_Capturing) CrashSleepUs(100);
        if (entry.suspend.load(std::memory_order_acquire) == SS_Stopped) {
            thread.stopped = true;
            thread.context = entry.context;
            thread.nativeContext = entry.nativeContext;
        }
    }
    return count;
}

void ResumeCrashThreads(CrashThread* threads, int count) {
    for (int t = 0; t < count; ++t) {
        if (!threads[t].stopped) continue;
        for (ThreadEntry& entry : g_threads) {
            if (entry.threadId.load(std::memory_order_acquire) == threads[t].threadId &&
                entry.suspend.load(std::memory_order_acquire) == SS_Stopped) {
                entry.suspend.store(SS_Resume, std::memory_order_release);
            }
        }
        threads[t].stopped = false;
        threads[t].nativeContext = nullptr;
    }
}

}  // namespace HY_OS
