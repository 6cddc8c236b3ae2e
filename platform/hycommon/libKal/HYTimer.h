// Millisecond timers. A timer binds to the timer set of the thread that first starts it, and
// its OnTimer runs on that thread during the loop's timer step. Destroyed timers are recognised
// by their liveness marker: starting or stopping one is refused with a logged error.
#pragma once

#include <functional>
#include <memory>

#include "HYEvent.h"
#include "TimerWheelBaseNode.h"

class HYTimerSet;

class HYTimer : public TimerWheelBaseNode {
public:
    // `intervalMs` 0 makes a one-shot timer; otherwise the timer starts itself again with this
    // delay each time it fires.
    explicit HYTimer(uint32_t intervalMs = 0);
    ~HYTimer() override;

    virtual void NotifyOwner() {}
    // 0 when stopped or not running; 1 when refused.
    virtual int StopTimer();
    // 0 when started; 1 when refused (a destroyed timer, or its thread is gone).
    virtual int StartTimer(uint32_t delayMs);
    // Binds to the calling thread's timer set.
    virtual void BindToCurrentThread();

    std::shared_ptr<HYTimerSet> TimerSet() const { return m_timerSet.lock(); }

private:
    std::weak_ptr<HYTimerSet> m_timerSet;
    bool m_bound = false;
};

// A timer paired with an event: firing signals the event, which runs the function on the owning
// thread in the same loop pass. Stopping also takes a signalled but not yet run event back.
class CallbackTimer : public HYTimer {
public:
    CallbackTimer(std::function<void()> function, const char* name, const char* file, int line,
                  uint32_t intervalMs = 0);
    ~CallbackTimer() override;

    void OnTimer() override;
    int StopTimer() override;
    void BindToCurrentThread() override;
    // Stops the timer and takes the event back; answers the timer's StopTimer result.
    int Stop() { return StopTimer(); }

private:
    CallbackEvent m_event;
};

// Logs the caller's stack, up to 16 frames, at LL_Warning.
void LogCallerStack(const char* category, const char* function);
