#include "HYTimer.h"

#include <cxxabi.h>

#include <cstdlib>
#include <typeinfo>

#include "HYTimerSet.h"
#include "LogMessage.h"
#include "OsStack.h"

namespace {

std::string Demangle(const char* name) {
    int status = 0;
    char* text = abi::__cxa_demangle(name, nullptr, nullptr, &status);
    std::string result = status == 0 && text ? text : name;
    std::free(text);
    return result;
}

}  // namespace

void LogCallerStack(const char* category, const char* function) {
    // The first entry is this function; the listing starts with its caller.
    std::vector<std::string> stack = HY_OS::CallerStack(17);
    for (size_t i = 1; i < stack.size(); ++i)
        HY_LOG_AT(48, LL_Warning, category, function, "%02d %s : %d", static_cast<int>(i - 1),
                  stack[i].c_str(), 0);
}

HYTimer::HYTimer(uint32_t intervalMs) : TimerWheelBaseNode(intervalMs) {}

HYTimer::~HYTimer() {
    if (IsRunning()) {
        if (std::shared_ptr<HYTimerSet> set = m_timerSet.lock()) set->StopTimer(this);
    }
    m_timerSet.reset();
    ClearLivenessMarker();
}

void HYTimer::BindToCurrentThread() {
    m_timerSet = HYTimerSet::Current();
    m_bound = true;
    if (Name().empty()) SetName(Demangle(typeid(*this).name()));
}

int HYTimer::StartTimer(uint32_t delayMs) {
    if (!IsAlive()) {
        HY_LOG_AT(80, LL_Error, "PLAT_Timer", "HYTimer::StartTimer",
                  "HYTimer::StartTimer, Object already destructed.");
        LogCallerStack("PLAT_Timer", "HYTimer::StartTimer");
        return 1;
    }
    if (!m_bound) BindToCurrentThread();
    std::shared_ptr<HYTimerSet> set = m_timerSet.lock();
    if (!set) return 1;
    set->StartTimer(this, delayMs);
    return 0;
}

int HYTimer::StopTimer() {
    if (!IsRunning()) return 0;
    if (!IsAlive()) {
        HY_LOG_AT(122, LL_Error, "PLAT_Timer", "HYTimer::StopTimer",
                  "HYTimer::StopTimer, Object already destructed.");
        LogCallerStack("PLAT_Timer", "HYTimer::StopTimer");
        return 1;
    }
    if (std::shared_ptr<HYTimerSet> set = m_timerSet.lock()) set->StopTimer(this);
    return 0;
}

CallbackTimer::CallbackTimer(std::function<void()> function, const char* name, const char* file,
                             int line, uint32_t intervalMs)
    : HYTimer(intervalMs), m_event(std::move(function), name, file, line) {
    if (name != nullptr) SetName(name);
}

CallbackTimer::~CallbackTimer() {
    HYTimer::StopTimer();
    m_event.Unlink();
}

void CallbackTimer::OnTimer() { m_event.Signal(); }

int CallbackTimer::StopTimer() {
    int result = HYTimer::StopTimer();
    m_event.Unlink();
    return result;
}

void CallbackTimer::BindToCurrentThread() {
    HYTimer::BindToCurrentThread();
    m_event.BindToCurrentThread();
}
