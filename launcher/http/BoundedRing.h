// A first-in first-out ring of fixed capacity. Not locked; its owner guards it where it is shared.
#pragma once

#include <cstddef>
#include <optional>
#include <utility>
#include <vector>

template <typename T>
class BoundedRing {
public:
    explicit BoundedRing(size_t capacity) : m_slots(capacity) {}

    // False when the ring is full.
    bool Push(T value) {
        if (m_count == m_slots.size()) return false;
        m_slots[(m_head + m_count) % m_slots.size()] = std::move(value);
        ++m_count;
        return true;
    }
    std::optional<T> Pop() {
        if (m_count == 0) return std::nullopt;
        T value = std::move(m_slots[m_head]);
        m_slots[m_head] = T();
        m_head = (m_head + 1) % m_slots.size();
        --m_count;
        return value;
    }
    void Clear() {
        while (Pop()) {
        }
    }
    size_t Size() const { return m_count; }
    size_t Capacity() const { return m_slots.size(); }
    bool Empty() const { return m_count == 0; }

private:
    std::vector<T> m_slots;
    size_t m_head = 0;
    size_t m_count = 0;
};
