// Worker threads. Each runs loop passes: wait until a handle is ready or the next timer is due,
// dispatch the ready handlers, fire due timers, run queued events, count the pass. A thread that
// never started a HYThread (the program's main thread) is adopted as "Main" on first use and
// pumps its loop itself with RunOnce.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "OsSync.h"
#include "ThreadClock.h"

class EventList;
class HYEvent;
class HYIODemux;
class HYTimerSet;
class PerThreadSlot;

enum HYThreadState : int {
    HTS_Stopped = 0,
    HTS_Starting = 1,
    HTS_Running = 2,
    HTS_Stopping = 3,
};

class HYThread : public std::enable_shared_from_this<HYThread> {
public:
    using Routine = int (*)(void* context);
    using Cleanup = void (*)(void* context);

    // A thread must be owned by a std::shared_ptr (std::make_shared) before it is started. A
    // thread made without a name takes its thread id in hex when it starts.
    HYThread(std::string name, Routine start, Routine stop, void* context, int priority = 0,
             size_t stackSize = 0);
    virtual ~HYThread();
    HYThread(const HYThread&) = delete;
    HYThread& operator=(const HYThread&) = delete;

    // Starts the thread. Waiting, answers the start routine's result; else 0. Answers 1 when the
    // thread was not stopped or could not be made. With `releaseOnExit` the owner may drop its
    // reference at once: the thread keeps itself alive until it ends.
    int Start(bool waitForStart, bool releaseOnExit);
    // One loop pass: 0, or 1 when the thread is not running or its per-thread objects could not
    // be made.
    int RunOnce(bool block, bool refreshClock);
    // Runs blocking passes while the thread is running.
    virtual int RunForever();
    // For a thread whose loop is driven from another event loop (the adopted "Main" thread under
    // a window toolkit): a descriptor that is readable whenever a pass would find a ready handler
    // or a posted event, to be watched together with NextTimeoutMs; each wake-up is answered
    // with RunOnce(false, true). The descriptor follows handlers that come and go, as of the end
    // of each pass, and lives as long as the thread's per-thread objects. -1 when called from
    // another thread than this one, or where the platform has no such descriptor (Windows).
    int WaitDescriptor();
    // Milliseconds until this thread's next timer is due: 0 when one is overdue, -1 when no
    // timer runs (or when called from another thread). Timers are not part of WaitDescriptor.
    int NextTimeoutMs();
    // Asks the thread to stop. Waiting (never when a thread stops itself), answers the stop
    // routine's result once the thread has ended; else 0. Answers 1 when it was not running.
    int Stop(bool wait);

    // The calling thread's HYThread, adopting the calling thread as "Main" when it has none.
    static HYThread* Current();
    static std::shared_ptr<HYThread> CurrentShared();
    static uint32_t CurrentThreadId();

    // Runs `cleanup(context)` on this thread when it ends.
    void AddCleanup(Cleanup cleanup, void* context);
    void RecordPerThreadObject(PerThreadSlot* slot);

    int State() const { return m_state.load(std::memory_order_acquire); }
    std::string Name() const;
    uint32_t ThreadId() const { return m_threadId.load(std::memory_order_acquire); }
    uint64_t PassCount() const { return m_passCount.load(std::memory_order_relaxed); }
    int StartResult() const { return m_startResult; }
    int StopResult() const { return m_stopResult; }
    bool IsAdopted() const { return m_adopted; }
    ThreadClock& Clock() { return m_clock; }
    const std::shared_ptr<HYIODemux>& Demux() const { return m_demux; }
    const std::shared_ptr<HYTimerSet>& TimerSet() const { return m_timerSet; }
    const std::shared_ptr<EventList>& Events() const { return m_eventList; }

private:
    struct Adopted;

    static unsigned Trampoline(void* context);
    void Body(std::shared_ptr<HYThread> self);
    bool Initialise();
    void ReleasePerThreadObjects();
    int RunOnceInternal(bool block, bool refreshClock);

    std::string m_name;
    bool m_unnamed;
    std::atomic<int> m_state{HTS_Stopped};
    std::atomic<uint32_t> m_threadId{0};
    Routine m_start;
    Routine m_stop;
    void* m_context;
    int m_priority;
    size_t m_stackSize;
    int m_startResult = 0;
    int m_runResult = 0;
    int m_stopResult = 0;
    bool m_waitForStart = false;
    bool m_waitForStop = false;
    HY_OS::Semaphore m_handshake{0};
    bool m_releaseOnExit = false;
    bool m_adopted = false;
    uint64_t m_osThread = 0;
    bool m_joinable = false;
    std::unique_ptr<HYEvent> m_stopEvent;
    std::shared_ptr<HYIODemux> m_demux;
    std::shared_ptr<HYTimerSet> m_timerSet;
    std::shared_ptr<EventList> m_eventList;
    bool m_initialised = false;
    ThreadClock m_clock;
    std::atomic<uint64_t> m_passCount{0};
    std::vector<PerThreadSlot*> m_perThreadObjects;
    std::vector<std::pair<Cleanup, void*>> m_cleanups;
    mutable std::mutex m_lock;
};
