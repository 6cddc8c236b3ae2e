#include "LogCapture.h"

#include "LogRegistry.h"

namespace hytest {

int LogCapture::Write(const LogRecord& record) {
    std::lock_guard<std::mutex> hold(m_lock);
    m_records.push_back(record);
    return 0;
}

std::vector<LogRecord> LogCapture::Records() {
    std::lock_guard<std::mutex> hold(m_lock);
    std::vector<LogRecord> copy(m_records.size());
    for (size_t i = 0; i < m_records.size(); ++i) {
        static_cast<LogRecordFields&>(copy[i]) = m_records[i];
    }
    return copy;
}

std::vector<std::string> LogCapture::Texts() {
    std::lock_guard<std::mutex> hold(m_lock);
    std::vector<std::string> texts;
    for (const auto& r : m_records) texts.emplace_back(r.text);
    return texts;
}

int LogCapture::Count(const std::string& text) {
    int n = 0;
    for (const auto& t : Texts()) n += t == text;
    return n;
}

int LogCapture::CountPrefix(const std::string& prefix) {
    int n = 0;
    for (const auto& t : Texts()) n += t.compare(0, prefix.size(), prefix) == 0;
    return n;
}

ScopedLogCapture::ScopedLogCapture(uint8_t level, std::string name)
    : m_capture(std::make_shared<LogCapture>(std::move(name), level)) {
    LogRegistry::Instance().RegisterReactor(m_capture);
}

ScopedLogCapture::~ScopedLogCapture() {
    LogRegistry::Instance().UnregisterReactor(m_capture->Name());
}

}  // namespace hytest
