// Helpers shared by the network tests: a log capture, a hand-moved clock, and running a test body
// on a worker thread of its own (fresh demultiplexer, timers and connector for every test).
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "LogCapture.h"
#include "ManualClock.h"
#include "WorkerPump.h"
#include "OsSysCalls.h"

namespace nettest {

using hytest::LogCapture;
using hytest::ManualClock;

// Registers a log capture for its lifetime; the first one also makes this machine's name resolve
// to the loopback address for the rest of the test program.
class ScopedLogCapture : public hytest::ScopedLogCapture {
public:
    ScopedLogCapture();
};

// Runs `body` on a new worker thread and returns once it ended.
void RunOnWorker(const std::function<void()>& body);

using hytest::PumpFor;
using hytest::PumpUntil;

}  // namespace nettest
