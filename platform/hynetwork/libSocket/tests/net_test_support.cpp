#include "net_test_support.h"

#include <cstdlib>
#include <memory>

#include "HYThread.h"
#include "LogRegistry.h"
#include "OsEnv.h"
#include "OsTime.h"

namespace nettest {

namespace {
// Addresses on this machine stay the loopback address in every test: the machine's own name is
// made to resolve to 127.0.0.1 only.
const bool kHostNameSet = [] {
    HY_OS::SetEnv("HY_HOSTNAME", "localhost");
    return true;
}();

}  // namespace

ScopedLogCapture::ScopedLogCapture() { (void)kHostNameSet; }

void RunOnWorker(const std::function<void()>& body) {
    (void)kHostNameSet;
    hytest::RunOnWorker(body, "NetTest");
}

}  // namespace nettest
