#include "StatGroup.h"

StatGroup::StatGroup(std::vector<std::string> names)
    : m_names(std::move(names)), m_values(new std::atomic<uint32_t>[m_names.size()]) {
    Reset();
}

void StatGroup::Increment(size_t index) {
    if (index < m_names.size()) m_values[index].fetch_add(1, std::memory_order_relaxed);
}

void StatGroup::Add(size_t index, uint32_t amount) {
    if (index < m_names.size()) m_values[index].fetch_add(amount, std::memory_order_relaxed);
}

void StatGroup::KeepMax(size_t index, uint32_t value) {
    if (index >= m_names.size()) return;
    uint32_t seen = m_values[index].load(std::memory_order_relaxed);
    while (value > seen &&
           !m_values[index].compare_exchange_weak(seen, value, std::memory_order_relaxed)) {
    }
}

uint32_t StatGroup::Get(size_t index) const {
    return index < m_names.size() ? m_values[index].load(std::memory_order_relaxed) : 0;
}

void StatGroup::Reset() {
    for (size_t i = 0; i < m_names.size(); ++i) m_values[i].store(0, std::memory_order_relaxed);
}

void StatGroup::Print(int indent, FILE* out) const {
    std::fprintf(out, "%*sStatGroup:\n", indent, "");
    for (size_t i = 0; i < m_names.size(); ++i) {
        if (i % 2 == 0) {
            std::fprintf(out, "%*s%-30s: %-12u", indent + 2, "", m_names[i].c_str(), Get(i));
        } else {
            std::fprintf(out, "  %-30s: %u\n", m_names[i].c_str(), Get(i));
        }
    }
    if (m_names.size() % 2 == 1) std::fprintf(out, "\n");
}
