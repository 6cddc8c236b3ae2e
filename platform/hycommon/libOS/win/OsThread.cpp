#include "WinHandle.h"

#include <algorithm>
#include <cstdio>
#include <mutex>
#include <new>
#include <vector>

#include "OsThread.h"

#include "OsCrash.h"

namespace HY_OS {

namespace {

// Stacks smaller than this cannot run formatted output or a logging call.
constexpr size_t kMinimumStack = 256 * 1024;

struct StartBlock {
    ThreadRoutine routine;
    void* context;
};

// Thread-local storage slots come from TlsAlloc, which has no clean-up of its own. The
// clean-ups are kept here, by slot, and run by the thread itself when its routine returns. They
// do not run from the loader's thread-detach callback: that runs under the loader lock, and a
// clean-up that waits for a lock held by a thread that needs the loader lock would deadlock.
// Threads started other than through CreateThread below keep their values (a small leak).
struct CleanupTable {
    std::mutex lock;
    std::vector<std::pair<TlsKey, void (*)(void*)>> entries;
};

CleanupTable& Cleanups() {
    static CleanupTable* table = new CleanupTable();
    return *table;
}

void RunCleanups() {
    std::vector<std::pair<TlsKey, void (*)(void*)>> entries;
    {
        CleanupTable& table = Cleanups();
        std::lock_guard<std::mutex> hold(table.lock);
        entries = table.entries;
    }
    // A clean-up may set values again; a few rounds settle every slot.
    for (int round = 0; round < 4; ++round) {
        bool ranAny = false;
        for (const auto& [key, cleanup] : entries) {
            void* value = ::TlsGetValue(key);
            if (value == nullptr) continue;
            ::TlsSetValue(key, nullptr);
            cleanup(value);
            ranAny = true;
        }
        if (!ranAny) break;
    }
}

DWORD WINAPI Trampoline(LPVOID raw) {
    StartBlock block = *static_cast<StartBlock*>(raw);
    delete static_cast<StartBlock*>(raw);
    // Every thread the runtime starts is listed in crash reports.
    RegisterCrashThread("");
    DWORD result = block.routine(block.context);
    UnregisterCrashThread();
    RunCleanups();
    return result;
}

}  // namespace

uint32_t CreateThread(ThreadRoutine routine, void* context, size_t stackSize, int priority,
                      uint64_t* joinable) {
    auto* block = new (std::nothrow) StartBlock{routine, context};
    DWORD id = 0;
    HANDLE thread = nullptr;
    if (block != nullptr) {
        // Started suspended, so its priority is set before it runs any of its work.
        thread = ::CreateThread(nullptr, std::max(stackSize, kMinimumStack), Trampoline, block,
                                CREATE_SUSPENDED | STACK_SIZE_PARAM_IS_A_RESERVATION, &id);
    }
    if (thread == nullptr) {
        DWORD error = block ? GetLastError() : ERROR_NOT_ENOUGH_MEMORY;
        delete block;
        std::fprintf(stderr, "HY_OS::CreateThread() ERROR, unable to create kernel thread - %u\n",
                     static_cast<unsigned>(error));
        return 0;
    }
    if (priority != TP_Normal && !SetThreadPriority(thread, std::clamp(priority, -2, 2))) {
        std::fprintf(stderr, "\nWARNING, CreateThreadHelper ( ) could not set priority to %d\n",
                     priority);
    }
    ResumeThread(thread);
    if (joinable) {
        *joinable = static_cast<uint64_t>(reinterpret_cast<uintptr_t>(thread));
    } else {
        CloseHandle(thread);
    }
    return id;
}

bool JoinThread(uint64_t joinable) {
    HANDLE thread = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(joinable));
    bool ok = WaitForSingleObject(thread, INFINITE) == WAIT_OBJECT_0;
    CloseHandle(thread);
    return ok;
}

void DetachThread(uint64_t joinable) {
    CloseHandle(reinterpret_cast<HANDLE>(static_cast<uintptr_t>(joinable)));
}

uint32_t CurrentThreadId() { return ::GetCurrentThreadId(); }

bool SetCurrentThreadPriority(int priority) {
    return SetThreadPriority(GetCurrentThread(), std::clamp(priority, -2, 2)) != 0;
}

TlsKey TlsAlloc(void (*cleanup)(void*)) {
    DWORD key = ::TlsAlloc();
    if (key == TLS_OUT_OF_INDEXES) return kInvalidTlsKey;
    if (cleanup != nullptr) {
        CleanupTable& table = Cleanups();
        std::lock_guard<std::mutex> hold(table.lock);
        table.entries.emplace_back(key, cleanup);
    }
    return key;
}

void TlsFree(TlsKey key) {
    {
        CleanupTable& table = Cleanups();
        std::lock_guard<std::mutex> hold(table.lock);
        auto& entries = table.entries;
        entries.erase(std::remove_if(entries.begin(), entries.end(),
                                     [key](const auto& entry) { return entry.first == key; }),
                      entries.end());
    }
    ::TlsFree(key);
}

void* TlsGet(TlsKey key) { return ::TlsGetValue(key); }

bool TlsSet(TlsKey key, void* value) { return ::TlsSetValue(key, value) != 0; }

}  // namespace HY_OS
