// The log file writer: formats records into lines and writes them to standard output, to one
// file (moved aside under a time-suffixed name when it grows too long), or to time-named files.
#pragma once

#include <cstdint>
#include <atomic>
#include <cstdio>
#include <memory>
#include <string>

#include "LogRecord.h"
#include "OsTime.h"

// Writes a header at the top of a fresh log file.
class HeaderWriter {
public:
    virtual ~HeaderWriter() = default;
    virtual void WriteHeader(FILE* stream) = 0;
};

// Named header writers that file writers can select.
void RegisterHeaderWriter(const std::string& name, std::shared_ptr<HeaderWriter> writer);

class HYLogFileIoA {
public:
    static constexpr int64_t kDefaultSizeLimit = 0x7FF00000;  // 2,146,435,072 bytes

    // Mode 0: standard output, no limits.
    HYLogFileIoA();
    // Mode 1: one fixed path. With a line limit other than -1, the lines of an existing file count
    // toward it, so a file already at the limit is moved aside at the first opening.
    HYLogFileIoA(const std::string& path, bool truncate, int64_t lineLimit);
    // Mode 2: prefix + "_yymmddhhmm." + extension, a new file each minute it is opened in.
    static std::unique_ptr<HYLogFileIoA> TimeNamed(const std::string& prefix,
                                                   const std::string& extension,
                                                   int64_t lineLimit);
    ~HYLogFileIoA();
    HYLogFileIoA(const HYLogFileIoA&) = delete;
    HYLogFileIoA& operator=(const HYLogFileIoA&) = delete;

    // Opens (or rotates to) the output; answers whether a stream is open.
    bool Open();
    void Close();
    // Formats and writes one record: 0 written, 1 when no stream is open.
    int Write(const LogRecord& record);

    // Formats one record as its log line (newline included); empty for an unknown prefix format.
    std::string FormatLine(const LogRecord& record);

    void SetPrefixFormat(int format) { m_prefixFormat = format; }
    int PrefixFormat() const { return m_prefixFormat.load(); }
    void SetSizeLimit(int64_t bytes) { m_sizeLimit = bytes; }
    void SetInWork(bool inWork) { m_inWork = inWork; }
    // While set, Write leaves flushing to the caller's Flush (one write per batch of records).
    void SetDeferredFlush(bool deferred) { m_deferredFlush = deferred; }
    void Flush();
    // Selects a registered header writer by name, logging whether it was found.
    bool SelectHeaderWriter(const std::string& name);

    int Mode() const { return m_mode; }
    const std::string& Path() const { return m_path; }
    int64_t LinesSinceOpen() const { return m_linesSinceOpen; }
    int64_t RecordsSinceOpen() const { return m_recordsSinceOpen; }
    uint32_t OpenCount() const { return m_openCount; }
    bool SizeReached() const { return m_sizeReached; }

private:
    bool RotationDue() const;
    size_t FormatInto(const LogRecord& record, char* out, size_t size);
    const char* DateTimeText(int64_t seconds);

    FILE* m_stream = nullptr;
    int m_mode = 0;
    std::string m_path;
    std::string m_prefix;
    std::string m_extension;
    std::atomic<int> m_prefixFormat{1};
    bool m_truncate = false;
    int64_t m_lineLimit = -1;
    int64_t m_sizeLimit = kDefaultSizeLimit;
    int64_t m_recordsSinceOpen = 0;
    int64_t m_linesSinceOpen = 0;
    int64_t m_position = 0;
    uint32_t m_openCount = 0;
    bool m_sizeReached = false;
    bool m_inWork = false;
    bool m_deferredFlush = false;
    bool m_hasLastOpen = false;
    HY_OS::LocalTime m_lastOpen{};
    std::shared_ptr<HeaderWriter> m_headerWriter;
    // The "mm/dd/yy hh:mm:ss" text of the last second formatted.
    int64_t m_cachedSecond = -1;
    char m_cachedDateTime[32] = {};
};
