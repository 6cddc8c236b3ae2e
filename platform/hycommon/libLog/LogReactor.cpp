#include "LogReactor.h"

#include <cstring>

#include "LogRegistry.h"

LogReactor::LogReactor(std::string name, uint8_t defaultLevel)
    : m_name(std::move(name)), m_defaultLevel(defaultLevel), m_effectiveLevel(defaultLevel) {}

LogReactor::~LogReactor() = default;

int LogReactor::Start() {
    SetStarted(true);
    if (State() != LRS_Stopped) return 1;
    SetState(LRS_Starting);
    SetState(Open() == 0 ? LRS_Running : LRS_Failed);
    return 0;
}

int LogReactor::Stop() {
    SetStarted(false);
    int state = State();
    if (state != LRS_Running && state != LRS_Failed) return 1;
    SetState(LRS_Stopping);
    Close();
    SetState(LRS_Stopped);
    return 0;
}

void LogReactor::SetOption(int) {}

int LogReactor::Open() { return 0; }

void LogReactor::Close() {}

int LogReactor::Write(const LogRecord&) { return 0; }

int LogReactor::WriteStep(const LogRecordRef& record) {
    int state = State();
    if (state != LRS_Running) return state == LRS_Failed ? LOR_Failed : LOR_Filtered;
    return Write(*record) == 0 ? LOR_Written : LOR_Failed;
}

int LogReactor::Offer(const LogRecordRef& record) {
    m_offered.fetch_add(1, std::memory_order_relaxed);
    int result;
    if (record->type == LT_Content) {
        result = m_acceptsContent ? WriteStep(record) : LOR_Filtered;
    } else {
        unsigned threshold = m_defaultLevel;
        if (m_filterCount.load(std::memory_order_acquire) > 0) {
            std::lock_guard<std::mutex> hold(m_lock);
            threshold = m_defaultLevel;
            for (int i = 0; i < kMaxFilters; ++i) {
                const Filter& f = m_filters[i];
                if (f.level == LL_None) continue;
                bool match = f.prefix
                                 ? std::strncmp(record->category, f.pattern, std::strlen(f.pattern)) == 0
                                 : std::memcmp(record->category, f.category, kLogCategorySize) == 0;
                if (match) {
                    threshold = f.level;
                    break;
                }
            }
        }
        result = record->level >= threshold ? WriteStep(record) : LOR_Filtered;
    }
    CountResult(result);
    m_lastSequence.store(record->sequence, std::memory_order_relaxed);
    return result;
}

void LogReactor::CountResult(int result) {
    switch (result) {
        case LOR_Written: m_written.fetch_add(1, std::memory_order_relaxed); break;
        case LOR_Filtered: m_filtered.fetch_add(1, std::memory_order_relaxed); break;
        case LOR_Failed: m_failed.fetch_add(1, std::memory_order_relaxed); break;
        default: break;
    }
}

void LogReactor::CountResults(uint64_t written, uint64_t failed) {
    if (written) m_written.fetch_add(written, std::memory_order_relaxed);
    if (failed) m_failed.fetch_add(failed, std::memory_order_relaxed);
}

LogReactorStatistics LogReactor::Statistics() const {
    LogReactorStatistics s;
    s.offered = m_offered.load();
    s.written = m_written.load();
    s.filtered = m_filtered.load();
    s.failed = m_failed.load();
    s.lastSequence = m_lastSequence.load();
    return s;
}

void LogReactor::SetDefaultLevel(uint8_t level) {
    {
        std::lock_guard<std::mutex> hold(m_lock);
        m_defaultLevel = level;
        RecomputeEffectiveLevel();
    }
    LogRegistry::Instance().RecomputeGlobalLevel();
}

bool LogReactor::AddFilter(const char* category, uint8_t level, bool prefix) {
    {
        std::lock_guard<std::mutex> hold(m_lock);
        Filter* slot = nullptr;
        for (auto& f : m_filters) {
            if (f.level == LL_None) {
                slot = &f;
                break;
            }
        }
        if (slot == nullptr || level == LL_None) return false;
        SetCategory(slot->category, category);
        SetCategory(slot->pattern, category);
        slot->prefix = prefix;
        slot->level = level;
        ++m_filterCount;
        RecomputeEffectiveLevel();
    }
    LogRegistry::Instance().RecomputeGlobalLevel();
    return true;
}

void LogReactor::ClearFilters() {
    {
        std::lock_guard<std::mutex> hold(m_lock);
        for (auto& f : m_filters) f = Filter{};
        m_filterCount = 0;
        RecomputeEffectiveLevel();
    }
    LogRegistry::Instance().RecomputeGlobalLevel();
}

void LogReactor::RecomputeEffectiveLevel() {
    uint8_t lowest = m_defaultLevel;
    for (const auto& f : m_filters)
        if (f.level != LL_None && f.level < lowest) lowest = f.level;
    m_effectiveLevel.store(lowest, std::memory_order_relaxed);
}
