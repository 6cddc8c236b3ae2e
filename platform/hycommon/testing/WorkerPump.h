// Test support for code that runs on worker threads: a test body on a fresh worker thread of its
// own, and pumping the calling thread's loop until something happened.
#pragma once

#include <cstdint>
#include <functional>

namespace hytest {

// Runs `body` on a new worker thread (with its own demultiplexer, timers and events) and returns
// once the thread has ended.
void RunOnWorker(const std::function<void()>& body, const char* threadName = "Test");

// Runs non-blocking passes of the calling thread's loop until `done` answers true or `limitMs` of
// real time have passed (whatever clock the test installed); answers `done()`.
bool PumpUntil(const std::function<bool()>& done, uint32_t limitMs = 5000);

// Runs passes of the calling thread's loop for `ms` of real time.
void PumpFor(uint32_t ms);

}  // namespace hytest
