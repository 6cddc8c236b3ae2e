#include "log_test_support.h"

#include <cstdlib>
#include <fstream>

#include "OsFile.h"

namespace logtest {

int CaptureReactor::Write(const LogRecord& record) {
    std::lock_guard<std::mutex> hold(m_lock);
    m_records.push_back(LogRecord{});
    static_cast<LogRecordFields&>(m_records.back()) = record;
    return 0;
}

std::vector<LogRecord> CaptureReactor::Records() {
    std::lock_guard<std::mutex> hold(m_lock);
    std::vector<LogRecord> copy;
    for (const auto& r : m_records) {
        copy.push_back(LogRecord{});
        static_cast<LogRecordFields&>(copy.back()) = r;
    }
    return copy;
}

std::vector<std::string> CaptureReactor::Texts() {
    std::lock_guard<std::mutex> hold(m_lock);
    std::vector<std::string> texts;
    for (const auto& r : m_records) texts.emplace_back(r.text);
    return texts;
}

TempDir::TempDir() {
    char pattern[] = "/tmp/hylog.XXXXXX";
    m_path = mkdtemp(pattern);
}

TempDir::~TempDir() { std::system(("rm -rf '" + m_path + "'").c_str()); }

std::string TempDir::Path(const std::string& name) const {
    return name.empty() ? m_path : m_path + "/" + name;
}

std::vector<std::string> ReadLines(const std::string& path) {
    std::vector<std::string> lines;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) lines.push_back(line);
    return lines;
}

std::string AfterTimestamp(const std::string& line) {
    return line.size() > 18 ? line.substr(18) : std::string();
}

}  // namespace logtest
