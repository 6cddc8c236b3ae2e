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

    uint32_t QueuedCount() const { return m_count.load(std::memory_order_acquire); }

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
    // Moves up to `max` of the oldest records into `out`; answers how many.
    size_t PopBatch(LogRecordRef* out, size_t max);
    void ReleaseLeftovers();

    std::vector<LogRecordRef> m_ring;  // capacity + 1 slots
    size_t m_head = 0;                 // oldest record
    size_t m_tail = 0;                 // next free slot
    std::atomic<uint32_t> m_count{0};
    std::mutex m_lock;
    std::condition_variable m_wake;
    // Set while the thread is away from its wait (writing); cleared only when it goes back to
    // waiting with nothing queued.
    std::atomic<bool> m_busy{true};
    // Set while the thread waits for records; the producer that finds it set wakes the thread
    // and clears it, so that a run of records costs one wake-up.
    bool m_sleeping = false;
    // Set while the thread naps between looks for more records after writing.
    bool m_napping = false;
    bool m_stopRequested = false;
    uint64_t m_thread = 0;
    std::atomic<uint32_t> m_threadId{0};
    bool m_threadRunning = false;
    HY_OS::Semaphore m_started{0};
};
