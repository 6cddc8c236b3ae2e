// The system calls in force and their replacement by tests; the calls themselves are the
// platform's.
#include "OsSysCalls.h"

#include <atomic>

namespace HY_OS {

namespace {
OsSysCalls g_realCalls;
std::atomic<OsSysCalls*> g_calls{&g_realCalls};
}  // namespace

OsSysCalls& SysCalls() { return *g_calls.load(std::memory_order_acquire); }

ScopedSysCalls::ScopedSysCalls(OsSysCalls& calls)
    : m_previous(g_calls.exchange(&calls, std::memory_order_acq_rel)) {}

ScopedSysCalls::~ScopedSysCalls() { g_calls.store(m_previous, std::memory_order_release); }

}  // namespace HY_OS
