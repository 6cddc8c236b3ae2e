#include "OsThread.h"

#include <pthread.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <new>

#include "OsCrash.h"

namespace HY_OS {

namespace {

// Stacks smaller than this cannot run formatted output or a logging call; Windows rounds small
// requests up in the same way.
constexpr size_t kMinimumStack = 256 * 1024;

struct StartBlock {
    ThreadRoutine routine;
    void* context;
    int priority;
};

// Maps the Windows priority scale onto the thread's nice value.
int NiceFor(int priority) { return std::clamp(-priority * 5, -19, 19); }

void* Trampoline(void* raw) {
    StartBlock block = *static_cast<StartBlock*>(raw);
    delete static_cast<StartBlock*>(raw);
    if (block.priority != TP_Normal && !SetCurrentThreadPriority(block.priority)) {
        std::fprintf(stderr, "\nWARNING, CreateThreadHelper ( ) could not set priority to %d\n",
                     block.priority);
    }
    // Every thread the runtime starts is listed in crash reports and has a stack of its own
    // for the crash handler, so that running out of stack is reported too.
    RegisterCrashThread("");
    block.routine(block.context);
    UnregisterCrashThread();
    return nullptr;
}

}  // namespace

uint32_t CreateThread(ThreadRoutine routine, void* context, size_t stackSize, int priority,
                      uint64_t* joinable) {
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_attr_setstacksize(&attributes, std::max(stackSize, kMinimumStack));
    if (joinable == nullptr) pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
    auto* block = new (std::nothrow) StartBlock{routine, context, priority};
    pthread_t thread{};
    int error = block ? pthread_create(&thread, &attributes, Trampoline, block) : ENOMEM;
    pthread_attr_destroy(&attributes);
    if (error != 0) {
        delete block;
        std::fprintf(stderr, "HY_OS::CreateThread() ERROR, unable to create kernel thread - %u\n",
                     static_cast<unsigned>(error));
        return 0;
    }
    if (joinable) *joinable = static_cast<uint64_t>(thread);
    // The id the system gives the thread is only known on the thread itself; the handle's low
    // bits serve as a non-zero stand-in for the caller, which learns the real id from the thread.
    uint32_t id = static_cast<uint32_t>(thread);
    return id != 0 ? id : 1;
}

bool JoinThread(uint64_t joinable) {
    return pthread_join(static_cast<pthread_t>(joinable), nullptr) == 0;
}

void DetachThread(uint64_t joinable) { pthread_detach(static_cast<pthread_t>(joinable)); }

uint32_t CurrentThreadId() {
    static thread_local uint32_t id = static_cast<uint32_t>(::syscall(SYS_gettid));
    return id;
}

bool SetCurrentThreadPriority(int priority) {
    return ::setpriority(PRIO_PROCESS, static_cast<id_t>(CurrentThreadId()), NiceFor(priority)) == 0;
}

TlsKey TlsAlloc(void (*cleanup)(void*)) {
    pthread_key_t key;
    if (pthread_key_create(&key, cleanup) != 0) return kInvalidTlsKey;
    return static_cast<TlsKey>(key);
}

void TlsFree(TlsKey key) { pthread_key_delete(static_cast<pthread_key_t>(key)); }

void* TlsGet(TlsKey key) { return pthread_getspecific(static_cast<pthread_key_t>(key)); }

bool TlsSet(TlsKey key, void* value) {
    return pthread_setspecific(static_cast<pthread_key_t>(key), value) == 0;
}

}  // namespace HY_OS
