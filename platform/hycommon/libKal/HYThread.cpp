#include "HYThread.h"

#include <climits>
#include <cstdio>

#include "EventList.h"
#include "HYEvent.h"
#include "HYIODemux.h"
#include "HYPerThreadData.h"
#include "HYTimerSet.h"
#include "LogMessage.h"
#include "OsCrash.h"
#include "OsHost.h"
#include "OsThread.h"

namespace {
thread_local HYThread* t_current = nullptr;
}  // namespace

// Keeps an adopted thread's object for the life of that thread; when the thread ends (for the
// program's main thread: at process exit) its per-thread objects are released, and after the
// main thread's, logging is switched off.
struct HYThread::Adopted {
    std::shared_ptr<HYThread> thread;
    ~Adopted() {
        if (!thread) return;
        bool processMain = thread->ThreadId() == HY_OS::GetProcessId();
        thread->m_state.store(HTS_Stopping, std::memory_order_release);
        thread->ReleasePerThreadObjects();
        thread->m_state.store(HTS_Stopped, std::memory_order_release);
        t_current = nullptr;
        thread.reset();
        HY_OS::UnregisterCrashThread();
        if (processMain) HYLog::SetShutDown(true);
    }
};

HYThread::HYThread(std::string name, Routine start, Routine stop, void* context, int priority,
                   size_t stackSize)
    : m_name(std::move(name)),
      m_unnamed(m_name.empty()),
      m_start(start),
      m_stop(stop),
      m_context(context),
      m_priority(priority),
      m_stackSize(stackSize) {}

HYThread::~HYThread() {
    if (m_joinable) {
        if (HY_OS::CurrentThreadId() == ThreadId()) {
            HY_OS::DetachThread(m_osThread);
        } else {
            HY_OS::JoinThread(m_osThread);
        }
    }
}

HYThread* HYThread::Current() {
    if (t_current != nullptr) return t_current;
    static thread_local Adopted adopted;
    auto thread = std::make_shared<HYThread>("Main", nullptr, nullptr, nullptr, 0, 4096);
    thread->m_adopted = true;
    thread->m_threadId.store(HY_OS::CurrentThreadId(), std::memory_order_release);
    thread->m_state.store(HTS_Running, std::memory_order_release);
    adopted.thread = thread;
    t_current = thread.get();
    HYLog::SetCurrentThreadName("Main");
    HY_OS::RegisterCrashThread("Main");
    return t_current;
}

std::shared_ptr<HYThread> HYThread::CurrentShared() { return Current()->shared_from_this(); }

uint32_t HYThread::CurrentThreadId() { return HY_OS::CurrentThreadId(); }

std::string HYThread::Name() const {
    std::lock_guard<std::mutex> hold(m_lock);
    return m_name;
}

void HYThread::AddCleanup(Cleanup cleanup, void* context) {
    m_cleanups.emplace_back(cleanup, context);
}

void HYThread::RecordPerThreadObject(PerThreadSlot* slot) { m_perThreadObjects.push_back(slot); }

int HYThread::Start(bool waitForStart, bool releaseOnExit) {
    std::unique_lock<std::mutex> hold(m_lock);
    if (m_state.load() != HTS_Stopped || m_adopted) return 1;
    std::shared_ptr<HYThread> self = weak_from_this().lock();
    if (!self) {
        std::fprintf(stderr, "HYThread::Start() ERROR, Unable to create kernel thread\n");
        return 1;
    }
    m_waitForStart = waitForStart;
    m_releaseOnExit = releaseOnExit;
    m_state.store(HTS_Starting, std::memory_order_release);
    auto* context = new std::shared_ptr<HYThread>(std::move(self));
    uint64_t handle = 0;
    if (HY_OS::CreateThread(&HYThread::Trampoline, context, m_stackSize, m_priority, &handle) == 0) {
        delete context;
        m_state.store(HTS_Stopped, std::memory_order_release);
        std::fprintf(stderr, "HYThread::Start() ERROR, Unable to create kernel thread\n");
        return 1;
    }
    m_osThread = handle;
    m_joinable = true;
    if (releaseOnExit) {
        HY_OS::DetachThread(handle);
        m_joinable = false;
    }
    hold.unlock();
    if (!waitForStart) return 0;
    m_handshake.Wait();
    return m_startResult;
}

unsigned HYThread::Trampoline(void* context) {
    auto* holder = static_cast<std::shared_ptr<HYThread>*>(context);
    std::shared_ptr<HYThread> self = std::move(*holder);
    delete holder;
    HYThread* thread = self.get();
    thread->Body(std::move(self));
    return 0;
}

void HYThread::Body(std::shared_ptr<HYThread> self) {
    t_current = this;
    m_threadId.store(HY_OS::CurrentThreadId(), std::memory_order_release);
    if (m_unnamed) {
        char hex[16];
        std::snprintf(hex, sizeof hex, "%X", ThreadId());
        std::lock_guard<std::mutex> hold(m_lock);
        m_name = hex;
    }
    HYLog::SetCurrentThreadName(Name().c_str());
    // Listed in crash reports under its name (the thread was registered when it began).
    HY_OS::RegisterCrashThread(Name().c_str());

    // The per-thread objects and the stop event exist before the thread counts as running, so
    // that a Stop from another thread always finds something to wake it with.
    bool initialised = Initialise();
    m_state.store(HTS_Running, std::memory_order_release);
    m_startResult = initialised ? (m_start ? m_start(m_context) : 0) : 1;
    if (m_waitForStart) m_handshake.Release();
    if (m_startResult == 0) m_runResult = RunForever();
    m_stopResult = m_stop ? m_stop(m_context) : 0;

    {
        std::lock_guard<std::mutex> hold(m_lock);
        m_state.store(HTS_Stopping, std::memory_order_release);
    }
    m_stopEvent.reset();
    m_demux.reset();
    m_timerSet.reset();
    m_eventList.reset();
    m_initialised = false;
    for (auto& [cleanup, context] : m_cleanups) cleanup(context);
    m_cleanups.clear();
    ReleasePerThreadObjects();
    t_current = nullptr;
    {
        std::lock_guard<std::mutex> hold(m_lock);
        m_state.store(HTS_Stopped, std::memory_order_release);
        if (m_unnamed) m_name = "INVALID";
        // The stopper is released once everything of the thread is gone.
        if (m_waitForStop) {
            m_waitForStop = false;
            m_handshake.Release();
        }
    }
    self.reset();
}

void HYThread::ReleasePerThreadObjects() {
    m_stopEvent.reset();
    m_demux.reset();
    m_timerSet.reset();
    m_eventList.reset();
    m_initialised = false;
    // Latest first: later objects may hold on to earlier ones.
    while (!m_perThreadObjects.empty()) {
        PerThreadSlot* slot = m_perThreadObjects.back();
        m_perThreadObjects.pop_back();
        slot->Release();
    }
}

bool HYThread::Initialise() {
    m_demux = HYIODemux::Current();
    m_timerSet = HYTimerSet::Current();
    m_eventList = EventList::Current();
    if (!m_stopEvent) {
        m_stopEvent = std::make_unique<CallbackEvent>(nullptr, "HYThread", __FILE__, __LINE__);
    }
    m_clock.Init();
    m_initialised = m_demux && m_timerSet && m_eventList && m_stopEvent;
    return m_initialised;
}

int HYThread::RunOnce(bool block, bool refreshClock) {
    if (State() != HTS_Running || t_current != this) return 1;
    if (!m_initialised && !Initialise()) return 1;
    return RunOnceInternal(block, refreshClock);
}

int HYThread::RunForever() {
    while (State() == HTS_Running) RunOnceInternal(true, true);
    return 0;
}

int HYThread::RunOnceInternal(bool block, bool refreshClock) {
    int timeout = 0;
    if (block) {
        int64_t untilNext = m_timerSet->TimeUntilNextExpiry();
        timeout = untilNext > INT_MAX ? INT_MAX : static_cast<int>(untilNext);
    }
    m_demux->WaitForInput(timeout, refreshClock ? &m_clock : nullptr);
    m_timerSet->TickTimers();
    m_eventList->Process();
    // Handlers attached or detached during the pass are in the wait descriptor before another
    // loop waits on it.
    m_demux->SyncWaitDescriptor();
    m_passCount.fetch_add(1, std::memory_order_relaxed);
    return 0;
}

int HYThread::WaitDescriptor() {
    if (State() != HTS_Running || t_current != this) return -1;
    if (!m_initialised && !Initialise()) return -1;
    return m_demux->WaitDescriptor();
}

int HYThread::NextTimeoutMs() {
    if (State() != HTS_Running || t_current != this) return -1;
    if (!m_initialised && !Initialise()) return -1;
    int64_t untilNext = m_timerSet->TimeUntilNextExpiry();
    if (untilNext < 0) return -1;
    return untilNext > INT_MAX ? INT_MAX : static_cast<int>(untilNext);
}

int HYThread::Stop(bool wait) {
    std::unique_lock<std::mutex> hold(m_lock);
    if (m_state.load() != HTS_Running) {
        // A thread whose body ended on its own is still joined by a caller that waits, so that
        // the thread has wholly ended (its per-thread data freed) when the caller goes on.
        int state = m_state.load();
        bool join = wait && m_joinable && t_current != this && !m_adopted &&
                    (state == HTS_Stopping || state == HTS_Stopped);
        if (!join) return 1;
        m_joinable = false;
        uint64_t osThread = m_osThread;
        hold.unlock();
        HY_OS::JoinThread(osThread);
        return 1;
    }
    bool self = t_current == this;
    m_state.store(HTS_Stopping, std::memory_order_release);
    bool waiting = wait && !self && !m_adopted;
    if (waiting) m_waitForStop = true;
    // Signalled under the lock: the thread takes the lock before it destroys the event.
    if (m_stopEvent) m_stopEvent->Signal();
    hold.unlock();
    if (!waiting) return 0;
    m_handshake.Wait();
    hold.lock();
    bool joinable = m_joinable;
    m_joinable = false;
    hold.unlock();
    if (joinable) HY_OS::JoinThread(m_osThread);
    return m_stopResult;
}
