// A reactor that queues records and writes them from a thread of its own, so that logging never
// waits for the disk (error-level records excepted: their callers wait until they are written).
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <vector>

#include "LogReactor.h"

class HYLogNBReactor : public LogReactor {
public:
    // Room for `capacity` queued records.
    HYLogNBReactor(std::string name, uint8_t defaultLevel, uint32_t capacity);
    ~HYLogNBReactor() override;

    // Starts the reactor's thread, which opens the output: 0 (running or failed by Open's answer),
    // 1 when the reactor was not stopped or its thread could not be made.
    int Start() override;
    // Waits while the queue shrinks, then stops the thread, which closes the output.
    int Stop() override;
    // Writes every queued record, oldest first; runs on the reactor's thread.
    virtual void Drain();

    uint32_t QueuedCount() const;

    // For a crash handler (signal-safe): true once every record queued so far is written and
    // flushed, that is, nothing is queued and the thread is waiting for more.
    bool IsIdle() const;
    // The reactor thread's id, 0 before it ran.
    uint32_t ThreadId() const { return m_threadId.load(std::memory_order_acquire); }
    // The file this reactor writes, for a crash handler to append its report to; nullptr when
    // it writes no file. Valid while the reactor runs.
    virtual const char* CrashLogPath() const { return nullptr; }
    // The prefix format of the lines in that file.
    virtual int CrashPrefixFormat() const { return 0; }
    // The running queuing reactors (at most 8), for a crash handler; answers their number.
    // Signal-safe.
    static int RunningReactors(HYLogNBReactor** out, int max);

protected:
    int WriteStep(const LogRecordRef& record) override;
    // Called on the reactor's thread after each drained batch.
    virtual void OnBatchWritten() {}

private:
    static unsigned ThreadMain(void* self);
    void Run();
    // Waits until a record is queued (true) or the thread is asked to stop with none (false).
    bool WaitForRecords();
    // After a batch of `lastBatch` records: stays awake a while for the next records.
    void LookForMore(uint64_t lastBatch);
    // Moves up to `max` of the oldest records into `out`; answers how many. Only one thread at a
    // time takes records out: the reactor's, or the stopping thread once it has ended.
    size_t PopBatch(LogRecordRef* out, size_t max);
    // True when the oldest slot holds a record.
    bool HasRecord() const;
    // After a record is queued: wakes the thread when it sleeps, or when it naps and the
    // record's caller waits for it.
    void WakeFor(bool waitingCaller);
    void ReleaseLeftovers();

    // The queue: a ring of slots, each with a turn number that says whether it holds a record
    // for the reactor's thread or is free for a logging call. Logging calls claim slots by
    // advancing `m_claimed` and never take a lock; only the reactor's thread takes records out.
    struct alignas(32) Slot {
        std::atomic<uint64_t> turn{0};
        LogRecordRef record;
    };
    const uint32_t m_capacity;
    std::vector<Slot> m_ring;                        // room for `capacity` records
    alignas(64) std::atomic<uint64_t> m_claimed{0};  // slots claimed by logging calls
    alignas(64) std::atomic<uint64_t> m_taken{0};    // records taken by the reactor's thread
    alignas(64) std::mutex m_lock;                   // for the thread's waits only
    std::condition_variable m_wake;
    // Set while the thread is away from its wait (writing); cleared only when it goes back to
    // waiting with nothing queued.
    std::atomic<bool> m_busy{true};
    // Set while the thread waits for records; the producer that finds it set wakes the thread
    // and clears it, so that a run of records costs one wake-up.
    std::atomic<bool> m_sleeping{false};
    // Set while the thread naps between looks for more records after writing.
    std::atomic<bool> m_napping{false};
    // Set by a caller that waits for its record; read by the thread between batches of a flood.
    alignas(64) std::atomic<bool> m_urgent{false};
    bool m_stopRequested = false;
    uint64_t m_thread = 0;
    std::atomic<uint32_t> m_threadId{0};
    bool m_threadRunning = false;
    HY_OS::Semaphore m_started{0};
};
