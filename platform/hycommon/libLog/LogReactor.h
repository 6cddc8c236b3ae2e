// The base of every log writer ("reactor"): filters records by level and category and writes
// them. A plain reactor writes on the offering thread; HYLogNBReactor queues for its own thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "LogRecord.h"

enum LogReactorState : int {
    LRS_Stopped = 0,
    LRS_Starting = 1,
    LRS_Running = 2,
    LRS_Stopping = 3,
    LRS_Failed = 4,
};

// Results of Offer and of a queued write.
enum LogOfferResult : int {
    LOR_Written = 0,
    LOR_Queued = 1,
    LOR_Filtered = 2,  // filtered, or the reactor is not running
    LOR_Failed = 3,    // queue full, reactor failed, or no open file
};

struct LogReactorStatistics {
    uint64_t offered = 0;
    uint64_t written = 0;
    uint64_t filtered = 0;
    uint64_t failed = 0;
    uint32_t lastSequence = 0;
};

class LogReactor {
public:
    static constexpr int kMaxFilters = 16;

    LogReactor(std::string name, uint8_t defaultLevel);
    virtual ~LogReactor();
    LogReactor(const LogReactor&) = delete;
    LogReactor& operator=(const LogReactor&) = delete;

    // A plain reactor opens on the calling thread: 0, and running or failed by Open's answer.
    virtual int Start();
    virtual int Stop();
    // No effect here; the file reactor takes it as its prefix format.
    virtual void SetOption(int value);
    // Filters the record and hands it to the write step; answers a LogOfferResult.
    virtual int Offer(const LogRecordRef& record);
    // 0 success, 1 failure.
    virtual int Open();
    virtual void Close();
    // Writes one record: 0 written, non-zero failed.
    virtual int Write(const LogRecord& record);

    const std::string& Name() const { return m_name; }
    int State() const { return m_state.load(std::memory_order_acquire); }
    bool Started() const { return m_started.load(std::memory_order_acquire); }
    uint8_t EffectiveLevel() const { return m_effectiveLevel.load(std::memory_order_relaxed); }
    void SetAcceptsContent(bool accepts) { m_acceptsContent = accepts; }
    LogReactorStatistics Statistics() const;

    void SetDefaultLevel(uint8_t level);
    // Adds a filter: records of an exact category (or, with `prefix`, categories starting with
    // it) pass from `level` on. Answers false when the table is full.
    bool AddFilter(const char* category, uint8_t level, bool prefix = false);
    void ClearFilters();

protected:
    // Hands a record that passed the filters on: a plain reactor writes it now.
    virtual int WriteStep(const LogRecordRef& record);
    void SetState(int state) { m_state.store(state, std::memory_order_release); }
    void SetStarted(bool started) { m_started.store(started, std::memory_order_release); }
    void CountResult(int result);
    // Counts `written` and `failed` results at once.
    void CountResults(uint64_t written, uint64_t failed);

private:
    struct Filter {
        char category[kLogCategorySize] = {};
        bool prefix = false;
        char pattern[kLogCategorySize] = {};
        uint8_t level = LL_None;  // LL_None: free entry
    };

    void RecomputeEffectiveLevel();

    std::string m_name;
    std::atomic<int> m_state{LRS_Stopped};
    std::atomic<bool> m_started{false};
    uint8_t m_defaultLevel;
    std::atomic<uint8_t> m_effectiveLevel;
    bool m_acceptsContent = true;
    Filter m_filters[kMaxFilters];
    std::atomic<int> m_filterCount{0};
    mutable std::mutex m_lock;

    std::atomic<uint64_t> m_offered{0};
    std::atomic<uint64_t> m_written{0};
    std::atomic<uint64_t> m_filtered{0};
    std::atomic<uint64_t> m_failed{0};
    std::atomic<uint32_t> m_lastSequence{0};
};
