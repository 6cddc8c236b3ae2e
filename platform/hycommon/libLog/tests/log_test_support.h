// Helpers shared by the logging tests: a reactor that keeps what it is given, temporary
// directories and file reading.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "LogReactor.h"

namespace logtest {

// A plain reactor that keeps a copy of every record it writes.
class CaptureReactor : public LogReactor {
public:
    explicit CaptureReactor(std::string name = "CAPTURE", uint8_t level = LL_All)
        : LogReactor(std::move(name), level) {}
    int Write(const LogRecord& record) override;
    std::vector<LogRecord> Records();
    std::vector<std::string> Texts();

private:
    std::mutex m_lock;
    std::vector<LogRecord> m_records;
};

class TempDir {
public:
    TempDir();
    ~TempDir();
    std::string Path(const std::string& name = "") const;

private:
    std::string m_path;
};

std::vector<std::string> ReadLines(const std::string& path);

// Everything after the date and time ("mm/dd/yy hh:mm:ss ") of a log line.
std::string AfterTimestamp(const std::string& line);

}  // namespace logtest
