#include "HYLogNBReactor.h"

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <thread>

#include "LogMessage.h"
#include "OsThread.h"
#include "OsTime.h"

namespace {
// After writing, the thread looks for more records this long before it waits: records usually
// come in runs, and a thread that is still awake costs their callers no wake-up.
constexpr auto kBusyLook = std::chrono::microseconds(200);
// While it looks, the thread naps this long between looks, so that records gather into batches:
// a thread that took every record as it came would share the lines of every record and slot
// with its callers while they are still writing them. A caller that waits for its record wakes
// the thread at once.
constexpr auto kNap = std::chrono::microseconds(40);
// A flood: a batch of at least this many records. The thread then stays on its processor and
// takes the next batch after kFloodLook, or at once when a caller waits for its record: waking
// a napping thread takes longer than writing what gathered in the meantime.
constexpr size_t kFloodBatch = 8;
constexpr auto kFloodLook = std::chrono::microseconds(10);
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

// Asks for the lines of a record that a writer reads (its fields, the short texts and the start
// of the message) while the record before it is written: they were written on the logging
// thread's processor, and each would otherwise be waited for in turn.
void PrefetchRecord(const LogRecord& record) {
    const char* bytes = reinterpret_cast<const char*>(&record);
    constexpr size_t kLine = 64;
    size_t end = offsetof(LogRecordFields, text) + 2 * kLine;
    for (size_t offset = 0; offset < end; offset += kLine) __builtin_prefetch(bytes + offset, 0);
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
    return !m_busy.load(std::memory_order_acquire) && QueuedCount() == 0;
}

uint32_t HYLogNBReactor::QueuedCount() const {
    uint64_t taken = m_taken.load(std::memory_order_acquire);
    uint64_t claimed = m_claimed.load(std::memory_order_acquire);
    return claimed > taken ? static_cast<uint32_t>(claimed - taken) : 0;
}

HYLogNBReactor::HYLogNBReactor(std::string name, uint8_t defaultLevel, uint32_t capacity)
    : LogReactor(std::move(name), defaultLevel),
      m_capacity(capacity),
      m_ring(std::max<uint32_t>(capacity, 1)) {
    // Slot i is free for the i-th record; the reactor's thread makes it free for the record one
    // round later once it has taken the one before.
    for (size_t i = 0; i < m_ring.size(); ++i) m_ring[i].turn.store(i, std::memory_order_relaxed);
}

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
    while (WaitForRecords()) {
        uint64_t before = m_taken.load(std::memory_order_relaxed);
        Drain();
        LookForMore(m_taken.load(std::memory_order_relaxed) - before);
    }
    Close();
}

bool HYLogNBReactor::WaitForRecords() {
    if (HasRecord()) return true;
    std::unique_lock<std::mutex> hold(m_lock);
    bool found = false;
    while (!m_stopRequested) {
        // Saying it sleeps before the last look: a logging call that queues a record after that
        // look finds the flag set and wakes the thread.
        m_sleeping.store(true, std::memory_order_seq_cst);
        if ((found = HasRecord())) break;
        m_busy.store(false, std::memory_order_release);
        m_wake.wait(hold);
        m_busy.store(true, std::memory_order_release);
        if ((found = HasRecord())) break;
    }
    m_sleeping.store(false, std::memory_order_relaxed);
    return found;
}

void HYLogNBReactor::LookForMore(uint64_t lastBatch) {
    if (lastBatch >= kFloodBatch) {
        auto next = std::chrono::steady_clock::now() + kFloodLook;
        while (!m_urgent.load(std::memory_order_acquire) && std::chrono::steady_clock::now() < next)
            std::this_thread::yield();
        m_urgent.store(false, std::memory_order_relaxed);
        return;
    }
    auto deadline = std::chrono::steady_clock::now() + kBusyLook;
    std::unique_lock<std::mutex> hold(m_lock);
    while (!m_stopRequested && std::chrono::steady_clock::now() < deadline) {
        m_napping.store(true, std::memory_order_seq_cst);
        if (HasRecord()) break;
        m_wake.wait_for(hold, kNap);
        if (HasRecord()) break;
    }
    m_napping.store(false, std::memory_order_relaxed);
}

bool HYLogNBReactor::HasRecord() const {
    uint64_t next = m_taken.load(std::memory_order_relaxed);
    return m_ring[next % m_ring.size()].turn.load(std::memory_order_seq_cst) == next + 1;
}

void HYLogNBReactor::WakeFor(bool waitingCaller) {
    // One wake-up per run of records: the first record that finds the thread waiting wakes it,
    // and the thread stays awake while records keep coming. A napping thread is woken only for
    // a record whose caller waits for it; a thread awake in a flood sees that record at once.
    if (waitingCaller) m_urgent.store(true, std::memory_order_release);
    if (!m_sleeping.load(std::memory_order_seq_cst) &&
        !(waitingCaller && m_napping.load(std::memory_order_seq_cst)))
        return;
    {
        std::lock_guard<std::mutex> hold(m_lock);
        m_sleeping.store(false, std::memory_order_relaxed);
        m_napping.store(false, std::memory_order_relaxed);
    }
    m_wake.notify_one();
}

int HYLogNBReactor::WriteStep(const LogRecordRef& record) {
    int state = State();
    if (state != LRS_Running) return state == LRS_Failed ? LOR_Failed : LOR_Filtered;
    if (m_capacity == 0) return LOR_Failed;
    const uint64_t size = m_ring.size();
    uint64_t claim = m_claimed.load(std::memory_order_relaxed);
    Slot* slot;
    for (;;) {
        slot = &m_ring[claim % size];
        uint64_t turn = slot->turn.load(std::memory_order_acquire);
        auto ahead = static_cast<int64_t>(turn - claim);
        if (ahead == 0) {
            if (m_claimed.compare_exchange_weak(claim, claim + 1, std::memory_order_relaxed)) break;
        } else if (ahead < 0) {
            return LOR_Failed;  // full: the slot still holds the record of the round before
        } else {
            claim = m_claimed.load(std::memory_order_relaxed);  // another call took this slot
        }
    }
    slot->record = record;
    slot->turn.store(claim + 1, std::memory_order_seq_cst);
    WakeFor(record->completion != nullptr);
    // A record logged by the reactor's own thread (while writing) is written in its next batch;
    // its caller must not wait for it, or the thread would wait for itself.
    if (HY_OS::CurrentThreadId() == m_threadId.load(std::memory_order_acquire)) return LOR_Written;
    return LOR_Queued;
}

size_t HYLogNBReactor::PopBatch(LogRecordRef* out, size_t max) {
    const uint64_t size = m_ring.size();
    uint64_t next = m_taken.load(std::memory_order_relaxed);
    size_t n = 0;
    while (n < max) {
        Slot& slot = m_ring[next % size];
        if (slot.turn.load(std::memory_order_acquire) != next + 1) break;
        out[n++] = std::move(slot.record);
        slot.turn.store(next + size, std::memory_order_release);
        ++next;
    }
    m_taken.store(next, std::memory_order_release);
    return n;
}

void HYLogNBReactor::Drain() {
    constexpr size_t kBatch = 64;
    LogRecordRef batch[kBatch];
    size_t n;
    while ((n = PopBatch(batch, kBatch)) > 0) {
        // Results are counted once per batch, and before any waiting caller is released.
        uint64_t written = 0;
        uint64_t failed = 0;
        for (size_t i = 0; i < n; ++i) {
            LogRecordRef& record = batch[i];
            if (i + 1 < n) PrefetchRecord(*batch[i + 1]);
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
