// A millisecond clock built from the system's 32-bit tick count: each update adds the ticks
// since the previous one (across a wrap), times a scale factor, to the accumulated time.
#pragma once

#include <cstdint>

class ThreadClock {
public:
    ThreadClock();

    // Starts counting from 0 at the current tick.
    void Init();
    // Adds the time since the previous update; a non-zero `maxStepMs` caps one step.
    void Update(uint32_t maxStepMs = 0);
    // Milliseconds since Init as of the last update.
    uint64_t Now() const { return m_nowMs; }
    double Seconds() const { return m_seconds; }
    // Runs the clock faster (> 1) or slower (< 1) than real time; tests use it to compress waits.
    void SetScale(double scale) { m_scale = scale; }
    double Scale() const { return m_scale; }

private:
    uint32_t m_lastTick = 0;
    double m_scale = 1.0;
    double m_seconds = 0.0;
    uint64_t m_nowMs = 0;
};
