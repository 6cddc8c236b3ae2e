#include "TimerWheelBaseNode.h"

#include "LogMessage.h"
#include "TimerWheel.h"

TimerWheelBaseNode::TimerWheelBaseNode(uint32_t intervalMs)
    : m_interval(intervalMs), m_liveness(this) {}

TimerWheelBaseNode::~TimerWheelBaseNode() { m_liveness = nullptr; }

void TimerWheelBaseNode::Expire(TimerWheel& wheel) {
    if (!IsAlive()) {
        HY_LOG_AT(80, LL_Error, "PLAT_Timer", "TimerWheelBaseNode::Expire",
                  "Timer object already deleted.");
        return;
    }
    m_state = TS_Fired;
    if (m_interval != 0) wheel.StartTimer(this, m_interval);
    OnTimer();
}
