// Test support: a reactor that keeps every record it is given, registered for a scope.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "LogReactor.h"

namespace hytest {

class LogCapture : public LogReactor {
public:
    explicit LogCapture(std::string name = "CAPTURE", uint8_t level = LL_All)
        : LogReactor(std::move(name), level) {}

    int Write(const LogRecord& record) override;
    // Copies of the records written so far (their plain fields).
    std::vector<LogRecord> Records();
    std::vector<std::string> Texts();
    // Records whose text equals `text`, or starts with `prefix`.
    int Count(const std::string& text);
    int CountPrefix(const std::string& prefix);

private:
    std::mutex m_lock;
    std::vector<LogRecordFields> m_records;
};

// Registers a LogCapture for its lifetime and removes it again.
class ScopedLogCapture {
public:
    explicit ScopedLogCapture(uint8_t level = LL_All, std::string name = "CAPTURE");
    ~ScopedLogCapture();
    ScopedLogCapture(const ScopedLogCapture&) = delete;
    ScopedLogCapture& operator=(const ScopedLogCapture&) = delete;

    LogCapture& operator*() { return *m_capture; }
    LogCapture* operator->() { return m_capture.get(); }
    const std::shared_ptr<LogCapture>& Get() const { return m_capture; }

private:
    std::shared_ptr<LogCapture> m_capture;
};

}  // namespace hytest
