#include "HYLogNBReactor.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "LogMessage.h"
#include "OsThread.h"
#include "OsTime.h"

namespace {
// After writing, the thread looks for more records this long before it waits: records usually
// come in runs, and a thread that is still awake costs their callers no wake-up.
constexpr auto kBusyLook = std::chrono::microseconds(200);
// While it looks, the thread naps this long between looks, so that records gather into batches:
// a thread that took every record as it came would fight its callers for the ring's lock and
// counters on each one. A caller that waits for its record wakes the thread at once.
constexpr auto kNap = std::chrono::microseconds(40);
constexpr uint32_t kStopPollMs = 100;

// The running reactors a crash handler may wait for.
constexpr int kMaxRunning = 8;
std::atomic<HYLogNBReactor*> g_running[kMaxRunning];

void NoteRunning(HYLogNBReactor* reactor) {
    for (auto& slot : g_running) {
        HYLogNBReactor* expected = nullptr;
        if (slot.compare_exchange_strong(expected, reactor)) return;
    }
}

void ForgetRunning(HYLogNBReactor* reactor) {
    for (auto& slot : g_running) {
        HYLogNBReactor* expected = reactor;
        slot.compare_exchange_strong(expected, nullptr);
    }
}
}  // namespace

int HYLogNBReactor::RunningReactors(HYLogNBReactor** out, int max) {
    int n = 0;
    for (auto& slot : g_running) {
        HYLogNBReactor* reactor = slot.load(std::memory_order_acquire);
        if (reactor != nullptr && n < max) out[n++] = reactor;
    }
    return n;
}

bool HYLogNBReactor::IsIdle() const {
    return !m_busy.load(std::memory_order_acquire) && m_count.load(std::memory_order_acquire) == 0;
}

HYLogNBReactor::HYLogNBReactor(std::string name, uint8_t defaultLevel, uint32_t capacity)
    : LogReactor(std::move(name), defaultLevel),
      m_ring(static_cast<size_t>(capacity) + 1) {}

HYLogNBReactor::~HYLogNBReactor() {
    // Owners stop reactors before dropping them; a reactor destroyed running still ends its thread.
    if (State() != LRS_Stopped) Stop();
}

int HYLogNBReactor::Start() {
    SetStarted(true);
    if (State() != LRS_Stopped) return 1;
    SetState(LRS_Starting);
    {
        std::lock_guard<std::mutex> hold(m_lock);
        m_stopRequested = false;
    }
    if (HY_OS::CreateThread(&HYLogNBReactor::ThreadMain, this, 4096, HY_OS::TP_BelowNormal,
                            &m_thread) == 0) {
        SetState(LRS_Stopped);
        return 1;
    }
    m_threadRunning = true;
    m_started.Wait();
    if (State() == LRS_Running) NoteRunning(this);
    return 0;
}

unsigned HYLogNBReactor::ThreadMain(void* self) {
    static_cast<HYLogNBReactor*>(self)->Run();
    return 0;
}

void HYLogNBReactor::Run() {
    m_threadId.store(HY_OS::CurrentThreadId(), std::memory_order_release);
    HYLog::SetCurrentThreadName(Name().c_str());
    SetState(Open() == 0 ? LRS_Running : LRS_Failed);
    m_started.Release();
    for (;;) {
        {
            std::unique_lock<std::mutex> hold(m_lock);
            bool stop = false;
            while (m_count.load(std::memory_order_relaxed) == 0) {
                if (m_stopRequested) {
                    stop = true;
                    break;
                }
                m_sleeping = true;
                m_busy.store(false, std::memory_order_release);
                m_wake.wait(hold);
                m_busy.store(true, std::memory_order_release);
                m_sleeping = false;
            }
            if (stop) break;
        }
        Drain();
        auto deadline = std::chrono::steady_clock::now() + kBusyLook;
        std::unique_lock<std::mutex> hold(m_lock);
        while (!m_stopRequested && std::chrono::steady_clock::now() < deadline) {
            m_napping = true;
            m_wake.wait_for(hold, kNap);
            m_napping = false;
            if (m_count.load(std::memory_order_relaxed) > 0) break;
        }
    }
    Close();
}

int HYLogNBReactor::WriteStep(const LogRecordRef& record) {
    int state = State();
    if (state != LRS_Running) return state == LRS_Failed ? LOR_Failed : LOR_Filtered;
    bool wake;
    {
        std::lock_guard<std::mutex> hold(m_lock);
        size_t next = (m_tail + 1) % m_ring.size();
        if (next == m_head) return LOR_Failed;  // full: the record is dropped and counted
        m_ring[m_tail] = record;
        m_tail = next;
        m_count.fetch_add(1, std::memory_order_release);
        // One wake-up per run of records: the first record that finds the thread waiting wakes
        // it, and the thread stays awake while records keep coming. A napping thread is woken
        // only for a record whose caller waits for it.
        wake = m_sleeping || (m_napping && record->completion);
        if (wake) m_sleeping = m_napping = false;
    }
    if (wake) m_wake.notify_one();
    // A record logged by the reactor's own thread (while writing) is written in its next batch;
    // its caller must not wait for it, or the thread would wait for itself.
    if (HY_OS::CurrentThreadId() == m_threadId.load(std::memory_order_acquire)) return LOR_Written;
    return LOR_Queued;
}

size_t HYLogNBReactor::PopBatch(LogRecordRef* out, size_t max) {
    // The records are moved out after the lock is let go: a producer never waits for the moves.
    size_t head, n = 0;
    {
        std::lock_guard<std::mutex> hold(m_lock);
        head = m_head;
        n = std::min(max, (m_tail + m_ring.size() - m_head) % m_ring.size());
    }
    for (size_t i = 0; i < n; ++i) out[i] = std::move(m_ring[(head + i) % m_ring.size()]);
    {
        std::lock_guard<std::mutex> hold(m_lock);
        m_head = (head + n) % m_ring.size();
    }
    m_count.fetch_sub(static_cast<uint32_t>(n), std::memory_order_release);
    return n;
}

void HYLogNBReactor::Drain() {
    constexpr size_t kBatch = 64;
    LogRecordRef batch[kBatch];
    size_t n;
    while (m_count.load(std::memory_order_acquire) > 0 && (n = PopBatch(batch, kBatch)) > 0) {
        // Results are counted once per batch, and before any waiting caller is released.
        uint64_t written = 0;
        uint64_t failed = 0;
        for (size_t i = 0; i < n; ++i) {
            LogRecordRef& record = batch[i];
            ++(Write(*record) == 0 ? written : failed);
            if (record->completion) {
                // A waiting caller is released once its record is on disk.
                CountResults(written, failed);
                written = failed = 0;
                OnBatchWritten();
                record->completion->Release();
            }
            record.reset();
        }
        CountResults(written, failed);
    }
    OnBatchWritten();
}

int HYLogNBReactor::Stop() {
    SetStarted(false);
    int state = State();
    if (state != LRS_Running && state != LRS_Failed) return 1;
    SetState(LRS_Stopping);
    ForgetRunning(this);
    uint32_t queued = QueuedCount();
    while (queued > 0) {
        HY_OS::SleepMs(kStopPollMs);
        uint32_t now = QueuedCount();
        if (now >= queued) break;  // no progress in one wait: give up on the rest
        queued = now;
    }
    {
        std::lock_guard<std::mutex> hold(m_lock);
        m_stopRequested = true;
    }
    m_wake.notify_one();
    if (m_threadRunning) {
        HY_OS::JoinThread(m_thread);
        m_threadRunning = false;
    }
    ReleaseLeftovers();
    SetState(LRS_Stopped);
    return 0;
}

void HYLogNBReactor::ReleaseLeftovers() {
    // Records the thread did not reach are dropped as failed; their waiting callers are released
    // so that no caller blocks forever on a reactor that is gone.
    LogRecordRef record;
    while (PopBatch(&record, 1) == 1) {
        CountResult(LOR_Failed);
        if (record->completion) record->completion->Release();
        record.reset();
    }
}
