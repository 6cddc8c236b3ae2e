// The registry of threads the crash handler lists, on Windows: each entry keeps a handle to its
// thread that may suspend it and read its registers. During a crash the handler suspends every
// registered thread but its own, reads its context, and resumes them when the report is written.
#include "OsCrash.h"

#include <windows.h>

#include <cstring>

namespace HY_OS {

namespace {

struct Entry {
    DWORD threadId;
    HANDLE handle;
    char name[kCrashThreadNameSize];
};

SRWLOCK g_lock = SRWLOCK_INIT;
Entry g_entries[kMaxCrashThreads];
int g_count = 0;
// The registers of the threads stopped during a crash, one slot per registry entry.
CONTEXT g_contexts[kMaxCrashThreads];

void CopyName(char* out, const char* name) {
    std::strncpy(out, name ? name : "", kCrashThreadNameSize - 1);
    out[kCrashThreadNameSize - 1] = '\0';
}

void ToCpuContext(const CONTEXT& in, CpuContext& out) {
    out.rax = in.Rax; out.rbx = in.Rbx; out.rcx = in.Rcx; out.rdx = in.Rdx;
    out.rsi = in.Rsi; out.rdi = in.Rdi; out.rbp = in.Rbp; out.rsp = in.Rsp;
    out.r8 = in.R8; out.r9 = in.R9; out.r10 = in.R10; out.r11 = in.R11;
    out.r12 = in.R12; out.r13 = in.R13; out.r14 = in.R14; out.r15 = in.R15;
    out.rip = in.Rip; out.flags = in.EFlags;
    out.cs = in.SegCs; out.ss = in.SegSs; out.ds = in.SegDs;
    out.es = in.SegEs; out.fs = in.SegFs; out.gs = in.SegGs;
}

}  // namespace

bool RegisterCrashThread(const char* name) {
    DWORD id = GetCurrentThreadId();
    AcquireSRWLockExclusive(&g_lock);
    for (int i = 0; i < g_count; ++i) {
        if (g_entries[i].threadId == id) {
            CopyName(g_entries[i].name, name);
            ReleaseSRWLockExclusive(&g_lock);
            return true;
        }
    }
    bool added = false;
    if (g_count < kMaxCrashThreads) {
        HANDLE handle = OpenThread(THREAD_SUSPEND_RESUME | THREAD_GET_CONTEXT |
                                       THREAD_QUERY_INFORMATION, FALSE, id);
        if (handle) {
            Entry& entry = g_entries[g_count++];
            entry.threadId = id;
            entry.handle = handle;
            CopyName(entry.name, name);
            added = true;
        }
    }
    ReleaseSRWLockExclusive(&g_lock);
    return added;
}

void UnregisterCrashThread() {
    DWORD id = GetCurrentThreadId();
    AcquireSRWLockExclusive(&g_lock);
    for (int i = 0; i < g_count; ++i) {
        if (g_entries[i].threadId != id) continue;
        CloseHandle(g_entries[i].handle);
        g_entries[i] = g_entries[--g_count];
        break;
    }
    ReleaseSRWLockExclusive(&g_lock);
}

void SetCrashThreadName(const char* name) {
    DWORD id = GetCurrentThreadId();
    AcquireSRWLockExclusive(&g_lock);
    for (int i = 0; i < g_count; ++i)
        if (g_entries[i].threadId == id) CopyName(g_entries[i].name, name);
    ReleaseSRWLockExclusive(&g_lock);
}

int RegisteredCrashThreadCount() {
    AcquireSRWLockShared(&g_lock);
    int count = g_count;
    ReleaseSRWLockShared(&g_lock);
    return count;
}

bool TryLockCrashRegistry(uint32_t waitMs) {
    // Tried, not waited on: the thread that holds it may be the one that crashed.
    for (uint32_t waited = 0;; ++waited) {
        if (TryAcquireSRWLockExclusive(&g_lock)) return true;
        if (waited >= waitMs) return false;
        Sleep(1);
    }
}

void UnlockCrashRegistry() { ReleaseSRWLockExclusive(&g_lock); }

int StopCrashThreads(CrashThread* out, int max, uint32_t) {
    DWORD self = GetCurrentThreadId();
    int n = 0;
    if (n < max) {
        out[n] = CrashThread{};
        out[n].threadId = self;
        for (int i = 0; i < g_count; ++i)
            if (g_entries[i].threadId == self) CopyName(out[n].name, g_entries[i].name);
        ++n;
    }
    for (int i = 0; i < g_count && n < max; ++i) {
        const Entry& entry = g_entries[i];
        if (entry.threadId == self) continue;
        CrashThread& thread = out[n++];
        thread = CrashThread{};
        thread.threadId = entry.threadId;
        CopyName(thread.name, entry.name);
        // SuspendThread only asks; GetThreadContext waits until the thread has stopped.
        if (SuspendThread(entry.handle) == static_cast<DWORD>(-1)) continue;
        CONTEXT& context = g_contexts[i];
        std::memset(&context, 0, sizeof context);
        context.ContextFlags = CONTEXT_FULL | CONTEXT_SEGMENTS;
        if (!GetThreadContext(entry.handle, &context)) {
            ResumeThread(entry.handle);
            continue;
        }
        ToCpuContext(context, thread.context);
        thread.nativeContext = &context;
        thread.stopped = true;
    }
    return n;
}

void ResumeCrashThreads(CrashThread* threads, int count) {
    for (int t = 0; t < count; ++t) {
        if (!threads[t].stopped) continue;
        for (int i = 0; i < g_count; ++i) {
            if (g_entries[i].threadId != threads[t].threadId) continue;
            ResumeThread(g_entries[i].handle);
            break;
        }
        threads[t].stopped = false;
    }
}

uint32_t CrashCurrentThreadId() { return GetCurrentThreadId(); }

bool DebuggerAttachedSignalSafe() { return IsDebuggerPresent() != FALSE; }

bool SafeRead(uint64_t address, void* out, size_t size) {
    SIZE_T got = 0;
    return ReadProcessMemory(GetCurrentProcess(), reinterpret_cast<LPCVOID>(address), out, size,
                             &got) &&
           got == size;
}

}  // namespace HY_OS
