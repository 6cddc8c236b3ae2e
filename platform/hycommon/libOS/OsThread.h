// Threads and thread-local storage of the platform seam.
#pragma once

#include <cstddef>
#include <cstdint>

namespace HY_OS {

using ThreadRoutine = unsigned (*)(void* context);

// Thread priorities on the Windows scale: -2 lowest, -1 below normal, 0 normal, 1 above normal,
// 2 highest.
enum ThreadPriority { TP_Lowest = -2, TP_BelowNormal = -1, TP_Normal = 0, TP_AboveNormal = 1,
                      TP_Highest = 2 };

// Starts `routine(context)` on a new thread with at least `stackSize` bytes of stack (small sizes
// are raised to what the platform needs) and the given priority. Answers the new thread's id, or
// 0 after printing the reason on standard error. A failed priority change only prints a warning.
// The thread is detached unless `joinable` is given, which receives a handle for JoinThread.
uint32_t CreateThread(ThreadRoutine routine, void* context, size_t stackSize, int priority,
                      uint64_t* joinable = nullptr);
// Waits for a thread started with a joinable handle to end.
bool JoinThread(uint64_t joinable);
// Detaches a joinable thread that will not be joined.
void DetachThread(uint64_t joinable);
// The calling thread's id, as the system numbers threads.
uint32_t CurrentThreadId();
bool SetCurrentThreadPriority(int priority);

// Thread-local storage slots with a clean-up that runs, on the thread, when a thread that holds
// a value ends.
using TlsKey = unsigned;
constexpr TlsKey kInvalidTlsKey = ~0u;
TlsKey TlsAlloc(void (*cleanup)(void*));
void TlsFree(TlsKey key);
void* TlsGet(TlsKey key);
bool TlsSet(TlsKey key, void* value);

}  // namespace HY_OS
