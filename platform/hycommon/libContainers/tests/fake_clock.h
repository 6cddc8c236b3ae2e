// A monotonic clock the test moves by hand, installed through the system-call seam.
#pragma once

#include <atomic>

#include "OsSysCalls.h"

class FakeClock : public HY_OS::OsSysCalls {
public:
    FakeClock() : m_install(*this) {}
    uint64_t MonotonicMs() override { return m_now.load(); }
    void Advance(uint64_t ms) { m_now += ms; }
    void Set(uint64_t ms) { m_now = ms; }

private:
    std::atomic<uint64_t> m_now{1000000};
    HY_OS::ScopedSysCalls m_install;
};
