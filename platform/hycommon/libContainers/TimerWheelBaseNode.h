// The node a timer wheel holds: one timer with its expiry, interval and liveness marker.
#pragma once

#include <cstdint>
#include <string>

class TimerWheel;
class TimerWheelList;

enum TimerState : int {
    TS_Idle = 0,
    TS_Running = 1,
    TS_Fired = 2,
};

class TimerWheelBaseNode {
public:
    explicit TimerWheelBaseNode(uint32_t intervalMs = 0);
    virtual ~TimerWheelBaseNode();
    TimerWheelBaseNode(const TimerWheelBaseNode&) = delete;
    TimerWheelBaseNode& operator=(const TimerWheelBaseNode&) = delete;

    // Runs on the owning thread when the timer expires.
    virtual void OnTimer() = 0;

    // Fires the timer: a destroyed one is reported and left alone; otherwise the state becomes
    // fired, a periodic timer starts again with its interval, and OnTimer runs.
    void Expire(TimerWheel& wheel);

    bool IsAlive() const { return m_liveness == this; }
    int State() const { return m_state; }
    bool IsRunning() const { return m_list != nullptr; }
    uint64_t Expiry() const { return m_expiry; }
    uint32_t Interval() const { return m_interval; }
    void SetInterval(uint32_t intervalMs) { m_interval = intervalMs; }
    const std::string& Name() const { return m_name; }
    void SetName(std::string name) { m_name = std::move(name); }

protected:
    // Marks the object as destroyed; only the destructor and tests that simulate a destroyed
    // timer call it.
    void ClearLivenessMarker() { m_liveness = nullptr; }

private:
    friend class TimerWheel;
    friend class TimerWheelList;

    TimerWheelBaseNode* m_prev = nullptr;
    TimerWheelBaseNode* m_next = nullptr;
    TimerWheelList* m_list = nullptr;
    uint64_t m_expiry = 0;
    uint32_t m_interval = 0;
    uint32_t m_passTag = 0;
    int m_state = TS_Idle;
    const void* m_liveness;
    std::string m_name;
};
