#include "ThreadClock.h"

#include "OsTime.h"

ThreadClock::ThreadClock() { Init(); }

void ThreadClock::Init() {
    m_lastTick = HY_OS::GetTickCount32();
    m_seconds = 0.0;
    m_nowMs = 0;
}

void ThreadClock::Update(uint32_t maxStepMs) {
    uint32_t tick = HY_OS::GetTickCount32();
    // Unsigned subtraction gives the right difference across a wrap of the 32-bit count.
    uint32_t elapsed = tick - m_lastTick;
    m_lastTick = tick;
    double step = elapsed * 0.001 * m_scale;
    if (maxStepMs != 0 && step > maxStepMs * 0.001) step = maxStepMs * 0.001;
    m_seconds += step;
    // The small bias keeps sums such as 0.007 * 3 from truncating to one millisecond less.
    m_nowMs = static_cast<uint64_t>(m_seconds * 1000.0 + 1e-6);
}
