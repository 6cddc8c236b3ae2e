// Crash support of the platform seam: fatal signals delivered on a per-thread alternate stack,
// the registry of the threads the runtime started, and stopping those threads while a crash is
// reported. Everything marked "signal-safe" may be called from inside a signal handler: it
// neither allocates nor takes a lock that an interrupted thread could hold.
#pragma once

#include <cstddef>
#include <cstdint>

namespace HY_OS {

// The registers of one thread (x86-64).
struct CpuContext {
    uint64_t rax, rbx, rcx, rdx, rsi, rdi, rbp, rsp;
    uint64_t r8, r9, r10, r11, r12, r13, r14, r15;
    uint64_t rip, flags;
    uint16_t cs, ss, ds, es, fs, gs;
};

// One fatal event: a signal, or an uncaught C++ exception (reported as SIGABRT).
struct CrashInfo {
    int signal = 0;
    int code = 0;                // the signal's si_code
    uint64_t faultAddress = 0;   // si_addr for faults; the instruction pointer otherwise
    bool stackOverflow = false;  // a fault just below the stack pointer or in the guard area
    bool integerDivide = false;  // SIGFPE from an integer division
    uint32_t threadId = 0;
    CpuContext context{};
    const void* nativeContext = nullptr;  // the ucontext_t of the signal
};

// Called on the crashing thread, on its alternate stack when it has one.
using CrashCallback = void (*)(const CrashInfo& info);

// Catches SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT and SIGTRAP with `callback`, and gives the
// calling thread an alternate signal stack. May be called again (the last callback wins).
bool InstallCrashSignals(CrashCallback callback);
// Restores the default action of every signal InstallCrashSignals caught.
void UninstallCrashSignals();
bool CrashSignalsInstalled();

// Lets the signal of `info` take its default action (ending the process) once the handler has
// returned: the handler is reset and, for signals that would not recur by themselves (sent ones,
// breakpoints), the signal is raised again. Signal-safe.
void PassOnCrash(const CrashInfo& info);

// Gives the calling thread an alternate signal stack (kept until UnregisterCrashThread, or for
// the life of the thread). Answers false when none could be made.
bool SetUpAlternateStack();

// The registry of threads whose stacks a crash report lists. Each thread registers itself;
// registering also gives it an alternate stack. A thread that ends must unregister.
constexpr int kMaxCrashThreads = 128;
constexpr size_t kCrashThreadNameSize = 32;
bool RegisterCrashThread(const char* name);
void UnregisterCrashThread();
// Renames the calling thread's entry.
void SetCrashThreadName(const char* name);
int RegisteredCrashThreadCount();

// One registered thread, as seen during a crash.
struct CrashThread {
    uint32_t threadId = 0;
    char name[kCrashThreadNameSize] = {};
    bool stopped = false;     // its context was captured (it is held until ResumeCrashThreads)
    CpuContext context{};
    const void* nativeContext = nullptr;
    uint64_t stackLow = 0, stackHigh = 0;  // known stack bounds, 0 when unknown
};

// Takes the registry's lock, waiting at most `waitMs`; signal-safe. False when it stayed taken.
bool TryLockCrashRegistry(uint32_t waitMs);
void UnlockCrashRegistry();
// With the registry locked: stops every registered thread except the caller and captures its
// registers, waiting at most `waitMs` for each. Fills `out` (the caller first, unstopped) and
// answers the number of entries. Signal-safe.
int StopCrashThreads(CrashThread* out, int max, uint32_t waitMs);
// Lets the threads stopped by StopCrashThreads run on. Signal-safe.
void ResumeCrashThreads(CrashThread* threads, int count);

// Walks the stack of the crashed thread or of a stopped one from its signal context
// (`nativeContext`) with the platform's unwinder: the instruction pointer, then the return
// address of each frame, at most `max`. A fault while walking a damaged stack ends the walk and
// keeps the frames found so far. Answers the count; 0 when no unwinder is available. Signal-safe.
int UnwindStack(const void* nativeContext, uint64_t* out, int max);
// Loads the unwinder; InstallCrashSignals does this (it cannot be done in a signal handler).
bool LoadUnwinder();

// Signal-safe helpers.
uint32_t CrashCurrentThreadId();
// True while a tracer is attached (the TracerPid line of /proc/self/status).
bool DebuggerAttachedSignalSafe();
// Copies `size` bytes from `address` when all are readable; never faults.
bool SafeRead(uint64_t address, void* out, size_t size);
// Starts `path` with `argv` (argv[0] included, nullptr-terminated) without waiting for it and
// without running fork handlers of this process; 0 or an errno value.
int SpawnDetachedSignalSafe(const char* path, char* const argv[]);
// Local time from the wall clock with the UTC offset noted at the last RefreshCrashClock.
struct CrashTime {
    unsigned year, month, day, hour, minute, second;
};
CrashTime CrashLocalTime();
// Notes the current UTC offset; call outside a signal handler (install time).
void RefreshCrashClock();
// Sleeps for `us` microseconds.
void CrashSleepUs(uint32_t us);

}  // namespace HY_OS
