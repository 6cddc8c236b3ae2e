// Helpers shared by the data-layer tests: a reactor that keeps every log text, and a guard that
// registers it for one test.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "LogReactor.h"

class CapturingReactor : public LogReactor {
public:
    CapturingReactor() : LogReactor("TEST_CAPTURE", 0) {}
    int Write(const LogRecord& record) override;
    std::vector<std::string> Texts() const;
    bool Contains(const std::string& text) const;
    size_t Count(const std::string& text) const;
    void ClearTexts();

private:
    mutable std::mutex m_mutex;
    std::vector<std::string> m_texts;
};

// Registers a capturing reactor for the lifetime of the guard.
class LogCapture {
public:
    LogCapture();
    ~LogCapture();
    CapturingReactor& operator*() { return *m_reactor; }
    CapturingReactor* operator->() { return m_reactor.get(); }

private:
    std::shared_ptr<CapturingReactor> m_reactor;
};
