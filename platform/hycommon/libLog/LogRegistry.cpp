#include "LogRegistry.h"

#include <mutex>

#include "LogMessage.h"

LogRegistry& LogRegistry::Instance() {
    // Never destroyed: reactor threads and late log calls may outlive static destruction.
    static LogRegistry* registry = new LogRegistry();
    return *registry;
}

int LogRegistry::RegisterReactor(std::shared_ptr<LogReactor> reactor) {
    if (!reactor || reactor->Start() != 0) return 1;
    bool placed = false;
    {
        std::unique_lock<std::shared_mutex> hold(m_lock);
        for (int i = 0; i < kSlots; ++i) {
            if (!m_slots[i]) {
                m_slots[i] = reactor;
                m_live[i].store(reactor.get(), std::memory_order_seq_cst);
                m_count.fetch_add(1, std::memory_order_acq_rel);
                placed = true;
                break;
            }
        }
    }
    if (!placed) reactor->Stop();
    RecomputeGlobalLevel();
    return placed ? 0 : 1;
}

std::shared_ptr<LogReactor> LogRegistry::TakeSlot(int i) {
    std::shared_ptr<LogReactor> removed = std::move(m_slots[i]);
    m_slots[i].reset();
    m_live[i].store(nullptr, std::memory_order_seq_cst);
    if (removed) m_count.fetch_sub(1, std::memory_order_acq_rel);
    return removed;
}

int LogRegistry::UnregisterReactor(const std::string& name) {
    std::shared_ptr<LogReactor> removed;
    {
        std::unique_lock<std::shared_mutex> hold(m_lock);
        for (int i = 0; i < kSlots; ++i) {
            if (m_slots[i] && m_slots[i]->Name() == name) {
                removed = TakeSlot(i);
                break;
            }
        }
    }
    if (!removed) return 1;
    HYLog::WaitForOffersInFlight();
    removed->Stop();
    RecomputeGlobalLevel();
    return 0;
}

std::shared_ptr<LogReactor> LogRegistry::FindReactor(const std::string& name) {
    std::shared_lock<std::shared_mutex> hold(m_lock);
    for (const auto& slot : m_slots)
        if (slot && slot->Name() == name) return slot;
    return nullptr;
}

int LogRegistry::SetReactorOption(const std::string& name, int value) {
    std::shared_ptr<LogReactor> reactor = FindReactor(name);
    if (!reactor) return 1;
    reactor->SetOption(value);
    return 0;
}

void LogRegistry::ShutdownAll() {
    std::shared_ptr<LogReactor> removed[kSlots];
    {
        std::unique_lock<std::shared_mutex> hold(m_lock);
        for (int i = 0; i < kSlots; ++i) removed[i] = TakeSlot(i);
    }
    HYLog::WaitForOffersInFlight();
    for (auto& reactor : removed)
        if (reactor) reactor->Stop();
    RecomputeGlobalLevel();
}

void LogRegistry::RecomputeGlobalLevel() {
    int lowest = LL_None;
    {
        std::shared_lock<std::shared_mutex> hold(m_lock);
        for (const auto& slot : m_slots)
            if (slot && slot->EffectiveLevel() < lowest) lowest = slot->EffectiveLevel();
    }
    HYLog::g_globalLevel.store(lowest, std::memory_order_relaxed);
}

int LogRegistry::Offer(const LogRecordRef& record) {
    int queued = 0;
    HYLog::ThreadCounters& counters = HYLog::Counters();
    HYLog::BeginOffer(counters);
    for (auto& live : m_live) {
        LogReactor* reactor = live.load(std::memory_order_seq_cst);
        if (reactor != nullptr && reactor->Offer(record) == LOR_Queued) ++queued;
    }
    HYLog::EndOffer(counters);
    return queued;
}
