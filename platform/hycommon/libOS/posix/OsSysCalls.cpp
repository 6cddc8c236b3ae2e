#include "OsSysCalls.h"

#include <sys/statvfs.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <ctime>

#include <atomic>

namespace HY_OS {

int64_t OsSysCalls::FreeDiskSpace(const std::string& path) {
    struct statvfs info {};
    if (statvfs(path.empty() ? "." : path.c_str(), &info) != 0) return -1;
    return static_cast<int64_t>(info.f_bavail) * static_cast<int64_t>(info.f_frsize);
}

uint64_t OsSysCalls::MonotonicMs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec / 1000000);
}

int64_t OsSysCalls::WriteFile(int fd, const void* data, size_t size) {
    // The raw system call: no library wrapper that could inspect or lock anything.
    return static_cast<int64_t>(::syscall(SYS_write, fd, data, size));
}

namespace {
OsSysCalls g_realCalls;
std::atomic<OsSysCalls*> g_calls{&g_realCalls};
}  // namespace

OsSysCalls& SysCalls() { return *g_calls.load(std::memory_order_acquire); }

ScopedSysCalls::ScopedSysCalls(OsSysCalls& calls)
    : m_previous(g_calls.exchange(&calls, std::memory_order_acq_rel)) {}

ScopedSysCalls::~ScopedSysCalls() { g_calls.store(m_previous, std::memory_order_release); }

}  // namespace HY_OS
