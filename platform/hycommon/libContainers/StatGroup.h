// A fixed set of named counters, safe to bump from any thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

class StatGroup {
public:
    explicit StatGroup(std::vector<std::string> names);

    // Indexes outside the group are ignored.
    void Increment(size_t index);
    void Add(size_t index, uint32_t amount);
    void KeepMax(size_t index, uint32_t value);
    uint32_t Get(size_t index) const;
    size_t Count() const { return m_names.size(); }
    const std::string& Name(size_t index) const { return m_names[index]; }
    void Reset();

    // Prints "StatGroup:" and the counters two to a line, indented by `indent` columns.
    void Print(int indent, FILE* out = stdout) const;

private:
    std::vector<std::string> m_names;
    std::unique_ptr<std::atomic<uint32_t>[]> m_values;
};
