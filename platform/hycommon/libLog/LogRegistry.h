// The process-wide registry of reactors: eight slots, the global level and the folding settings.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <shared_mutex>
#include <string>

#include "LogReactor.h"

class LogRegistry {
public:
    static constexpr int kSlots = 8;

    // The one registry of the process; lives until the process ends.
    static LogRegistry& Instance();

    // Starts the reactor and puts it in the first free slot; 0 on success. A reactor that does not
    // start, or finds all eight slots taken (it is then stopped), is refused with 1.
    int RegisterReactor(std::shared_ptr<LogReactor> reactor);
    // Empties the slot of the reactor with that name and stops it; 1 when there is none.
    int UnregisterReactor(const std::string& name);
    std::shared_ptr<LogReactor> FindReactor(const std::string& name);
    // Sets the option of the named reactor; 1 when there is none.
    int SetReactorOption(const std::string& name, int value);
    // Empties every slot, stopping each reactor.
    void ShutdownAll();
    int ReactorCount() const { return m_count.load(std::memory_order_acquire); }

    // Sets the global level to the lowest effective level of the registered reactors.
    void RecomputeGlobalLevel();

    // Offers the record to every slot in order; answers how many reactors queued it.
    int Offer(const LogRecordRef& record);

    uint32_t NextSequence() { return m_sequence.fetch_add(1, std::memory_order_relaxed); }

    std::atomic<uint32_t> m_foldWindowMs{1000};
    std::atomic<uint32_t> m_foldLimit{300};

private:
    LogRegistry() = default;

    // Empties slot `i` under the lock; the reactor is stopped by the caller once no offer that
    // may have seen it is still running.
    std::shared_ptr<LogReactor> TakeSlot(int i);

    mutable std::shared_mutex m_lock;
    std::shared_ptr<LogReactor> m_slots[kSlots];
    // The same reactors for the logging calls, which read them without taking the lock: every
    // record is offered, and a reactor leaves only after the offers that may have seen it.
    std::atomic<LogReactor*> m_live[kSlots] = {};
    std::atomic<int> m_count{0};
    std::atomic<uint32_t> m_sequence{0};
};
