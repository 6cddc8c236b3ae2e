// A first-in first-out ring of fixed capacity. Not locked; its owner guards it where it is shared.
#pragma once

#include <algorithm>
#include <cstddef>
#include <optional>
#include <utility>
#include <vector>

template <typename T>
class BoundedRing {
public:
    explicit BoundedRing(size_t capacity) : m_capacity(capacity) {}

    // False when the ring is full.
    bool Push(T value) {
        if (m_count == m_capacity) return false;
        if (m_count == m_slots.size()) Grow();
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
    size_t Capacity() const { return m_capacity; }
    bool Empty() const { return m_count == 0; }

private:
    // The slots grow as the ring fills, doubling up to the capacity: a ring with room for
    // thousands mostly holds a few, and its slots are not made until they are needed.
    void Grow() {
        size_t size = std::min(m_capacity, std::max<size_t>(16, m_slots.size() * 2));
        std::vector<T> slots(size);
        for (size_t i = 0; i < m_count; ++i) slots[i] = std::move(m_slots[(m_head + i) % m_slots.size()]);
        m_slots = std::move(slots);
        m_head = 0;
    }

    size_t m_capacity;
    std::vector<T> m_slots;
    size_t m_head = 0;
    size_t m_count = 0;
};
