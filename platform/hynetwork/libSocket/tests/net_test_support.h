// Helpers shared by the network tests: a log capture, a hand-moved clock, and running a test body
// on a worker thread of its own (fresh demultiplexer, timers and connector for every test).
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "LogReactor.h"
#include "OsSysCalls.h"

namespace nettest {

// Keeps the texts of the records it is given.
class LogCapture : public LogReactor {
public:
    LogCapture() : LogReactor("NETTEST", LL_All) {}
    int Write(const LogRecord& record) override;
    std::vector<std::string> Texts();
    // Records whose text equals `text`.
    int Count(const std::string& text);
    // Records whose text starts with `prefix`.
    int CountPrefix(const std::string& prefix);

private:
    std::mutex m_lock;
    std::vector<std::string> m_texts;
};

// Registers a capture for its lifetime.
class ScopedLogCapture {
public:
    ScopedLogCapture();
    ~ScopedLogCapture();
    LogCapture& operator*() { return *m_capture; }
    LogCapture* operator->() { return m_capture.get(); }

private:
    std::shared_ptr<LogCapture> m_capture;
};

// A monotonic clock moved by hand, installed for its lifetime.
class ManualClock : public HY_OS::OsSysCalls {
public:
    ManualClock() : m_install(*this) {}
    uint64_t MonotonicMs() override { return m_now.load(); }
    void Advance(uint64_t ms) { m_now += ms; }

private:
    std::atomic<uint64_t> m_now{5000000};
    HY_OS::ScopedSysCalls m_install;
};

// Runs `body` on a new worker thread and returns once it ended.
void RunOnWorker(const std::function<void()>& body);

// Runs non-blocking passes of the calling worker thread until `done` answers true or about five
// seconds of real time have passed; answers `done()`.
bool PumpUntil(const std::function<bool()>& done, uint32_t limitMs = 5000);
// Runs passes for `ms` of real time.
void PumpFor(uint32_t ms);

}  // namespace nettest
