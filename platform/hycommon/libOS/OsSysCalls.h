// The system calls that tests replace to inject faults: a full disk, a clock that jumps.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace HY_OS {

class OsSysCalls {
public:
    virtual ~OsSysCalls() = default;
    // Free bytes on the volume holding `path`, -1 when unknown.
    virtual int64_t FreeDiskSpace(const std::string& path);
    // Milliseconds of the monotonic clock.
    virtual uint64_t MonotonicMs();
    // Writes up to `size` bytes to a descriptor, as write(2) does (also inside a signal handler,
    // where crash dumps are written): the count written, or -1 with errno set.
    virtual int64_t WriteFile(int fd, const void* data, size_t size);
};

// The calls in force; the real ones unless a test installed its own.
OsSysCalls& SysCalls();

// Installs `calls` for the lifetime of the object, restoring the previous ones afterwards.
class ScopedSysCalls {
public:
    explicit ScopedSysCalls(OsSysCalls& calls);
    ~ScopedSysCalls();
    ScopedSysCalls(const ScopedSysCalls&) = delete;
    ScopedSysCalls& operator=(const ScopedSysCalls&) = delete;

private:
    OsSysCalls* m_previous;
};

}  // namespace HY_OS
