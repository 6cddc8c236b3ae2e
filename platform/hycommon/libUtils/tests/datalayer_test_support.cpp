#include "datalayer_test_support.h"

#include <algorithm>

#include "LogMessage.h"
#include "LogRegistry.h"

int CapturingReactor::Write(const LogRecord& record) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_texts.emplace_back(record.text);
    return 0;
}

std::vector<std::string> CapturingReactor::Texts() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_texts;
}

bool CapturingReactor::Contains(const std::string& text) const { return Count(text) > 0; }

size_t CapturingReactor::Count(const std::string& text) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return static_cast<size_t>(std::count(m_texts.begin(), m_texts.end(), text));
}

void CapturingReactor::ClearTexts() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_texts.clear();
}

LogCapture::LogCapture() : m_reactor(std::make_shared<CapturingReactor>()) {
    HYLog::SetFolding(false, 0, 0);
    LogRegistry::Instance().RegisterReactor(m_reactor);
}

LogCapture::~LogCapture() { LogRegistry::Instance().UnregisterReactor(m_reactor->Name()); }
