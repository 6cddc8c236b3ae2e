// The file operations of the launcher's self-copy, replaceable in tests: copying one file (where a
// test can make a file look held by another process, which the platform here never reports) and
// the pause between retries.
#pragma once

#include <cstdint>
#include <string>

// The suffix of the temporary name a copy writes to; such files are never copied themselves.
inline constexpr const char* kCopyTempSuffix = ".hycopy";

class FileCopyCalls {
public:
    virtual ~FileCopyCalls() = default;
    // Copies `source` over `target` so that `target` holds either its old bytes or all the new
    // ones at any moment, even when the process is killed: the bytes go to a temporary name
    // beside the target, are flushed to disk and renamed over it. The copy keeps the source's
    // last-write time and permission bits. Answers 0 or a system error number (SystemError).
    virtual uint32_t CopyFile(const std::string& source, const std::string& target);
    virtual void SleepMs(uint32_t ms);
};

// The calls in force; the real ones unless a test installed its own.
FileCopyCalls& CopyCalls();

// Installs `calls` for the lifetime of the object.
class ScopedFileCopyCalls {
public:
    explicit ScopedFileCopyCalls(FileCopyCalls& calls);
    ~ScopedFileCopyCalls();
    ScopedFileCopyCalls(const ScopedFileCopyCalls&) = delete;
    ScopedFileCopyCalls& operator=(const ScopedFileCopyCalls&) = delete;

private:
    FileCopyCalls* m_previous;
};
