// Test support: a monotonic clock moved by hand, installed through the system-call seam for its
// lifetime, so timers and time-outs can be tested without waiting.
#pragma once

#include <atomic>
#include <cstdint>

#include "OsSysCalls.h"

namespace hytest {

class ManualClock : public HY_OS::OsSysCalls {
public:
    explicit ManualClock(uint64_t startMs = 5000000) : m_now(startMs), m_install(*this) {}
    uint64_t MonotonicMs() override { return m_now.load(); }
    void Advance(uint64_t ms) { m_now += ms; }
    void Set(uint64_t ms) { m_now = ms; }
    uint64_t Now() const { return m_now.load(); }

private:
    std::atomic<uint64_t> m_now;
    HY_OS::ScopedSysCalls m_install;
};

}  // namespace hytest
