#include "HYLogFileIoA.h"

#include <cstring>
#include <map>
#include <mutex>

#include "LogMessage.h"
#include "OsFile.h"

namespace {

constexpr size_t kPrefixLimit = 2048;
constexpr size_t kStreamBuffer = 64 * 1024;
const char kInWorkMark[] = ".HYLogFileIoA-in-work.";

struct HeaderWriters {
    std::mutex lock;
    std::map<std::string, std::shared_ptr<HeaderWriter>> byName;
};

HeaderWriters& Writers() {
    static HeaderWriters* writers = new HeaderWriters();
    return *writers;
}

// Inserts `suffix` before the last full stop of the file name (appends it when the name has none
// or ends in one). Full stops in directory names are not considered.
std::string InsertBeforeExtension(const std::string& path, const std::string& suffix) {
    size_t slash = path.find_last_of("/\\");
    size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash) ||
        dot + 1 == path.size()) {
        return path + suffix;
    }
    return path.substr(0, dot) + suffix + path.substr(dot);
}

std::string WithoutInWorkMark(const std::string& path) {
    size_t at = path.find(kInWorkMark);
    if (at == std::string::npos) return path;
    return path.substr(0, at) + path.substr(at + sizeof kInWorkMark - 1);
}

}  // namespace

void RegisterHeaderWriter(const std::string& name, std::shared_ptr<HeaderWriter> writer) {
    HeaderWriters& writers = Writers();
    std::lock_guard<std::mutex> hold(writers.lock);
    writers.byName[name] = std::move(writer);
}

HYLogFileIoA::HYLogFileIoA() : m_mode(0) {}

HYLogFileIoA::HYLogFileIoA(const std::string& path, bool truncate, int64_t lineLimit)
    : m_mode(1), m_path(path), m_truncate(truncate), m_lineLimit(lineLimit) {
    if (lineLimit == -1) return;
    HY_OS::File existing = HY_OS::File::Open(path, HY_OS::FileMode::Read);
    if (!existing.IsOpen()) return;
    char block[8192];
    int64_t n;
    while ((n = existing.Read(block, sizeof block)) > 0) {
        for (int64_t i = 0; i < n; ++i)
            if (block[i] == '\n') ++m_linesSinceOpen;
    }
}

std::unique_ptr<HYLogFileIoA> HYLogFileIoA::TimeNamed(const std::string& prefix,
                                                      const std::string& extension,
                                                      int64_t lineLimit) {
    auto writer = std::make_unique<HYLogFileIoA>();
    writer->m_mode = 2;
    writer->m_prefix = prefix;
    writer->m_extension = extension;
    writer->m_lineLimit = lineLimit;
    return writer;
}

HYLogFileIoA::~HYLogFileIoA() {
    if (m_stream != nullptr && m_mode != 0) std::fclose(m_stream);
}

bool HYLogFileIoA::RotationDue() const {
    return m_sizeReached || (m_lineLimit != -1 && m_linesSinceOpen >= m_lineLimit);
}

bool HYLogFileIoA::Open() {
    bool rotationDue = RotationDue();
    HY_OS::LocalTime now = HY_OS::GetLocalTime();
    if (m_stream != nullptr) {
        if (m_mode == 2 && m_hasLastOpen && now.year == m_lastOpen.year &&
            now.yday == m_lastOpen.yday && now.hour == m_lastOpen.hour &&
            now.minute == m_lastOpen.minute) {
            return false;
        }
        Close();
    }
    if (m_mode == 0) {
        m_stream = stdout;
    } else {
        bool rotated = false;
        if (m_mode == 1 && rotationDue) {
            char suffix[32];
            std::snprintf(suffix, sizeof suffix, ".%02u%02u%02u_%02u%02u", now.year % 100,
                          now.month, now.day, now.hour, now.minute);
            std::string aside = InsertBeforeExtension(m_path, suffix);
            // A second rotation within the same minute must not destroy the first one's file:
            // it takes the next free numbered name instead.
            for (int n = 2; n < 100 && HY_OS::FileExists(aside); ++n) {
                aside = InsertBeforeExtension(m_path, std::string(suffix) + "_" + std::to_string(n));
            }
            HY_OS::DeleteFile(aside);
            HY_OS::RenameFile(m_path, aside);
            rotated = true;
        }
        if (m_mode == 2) {
            char stamp[32];
            std::snprintf(stamp, sizeof stamp, "_%02u%02u%02u%02u%02u.", now.year % 100,
                          now.month, now.day, now.hour, now.minute);
            m_path = m_prefix + stamp + m_extension;
            if (m_inWork) {
                size_t slash = m_path.find_last_of('/');
                size_t at = slash == std::string::npos ? 0 : slash + 1;
                m_path.insert(at, kInWorkMark);
            }
        }
        bool fresh = m_truncate || rotated;
        // Always written in append mode (a fresh file is emptied first), so that lines a crash
        // handler appends straight to the file are never overwritten by later buffered writes.
        if (fresh) {
            FILE* empty = std::fopen(m_path.c_str(), "w");
            if (empty != nullptr) std::fclose(empty);
        }
        m_stream = std::fopen(m_path.c_str(), "a");
        if (m_stream != nullptr) {
            std::setvbuf(m_stream, nullptr, _IOFBF, kStreamBuffer);
            m_position = fresh ? 0 : HY_OS::FileLength(m_path);
            if (m_position < 0) m_position = 0;
        }
        m_sizeReached = false;
    }
    m_lastOpen = now;
    m_hasLastOpen = true;
    ++m_openCount;
    m_recordsSinceOpen = 0;
    m_linesSinceOpen = 0;
    if (m_stream != nullptr && m_headerWriter && (m_mode == 0 || m_position == 0)) {
        m_headerWriter->WriteHeader(m_stream);
    }
    return m_stream != nullptr;
}

void HYLogFileIoA::Close() {
    if (m_stream == nullptr) return;
    std::fputc('\n', m_stream);
    if (m_mode == 0) {
        std::fflush(m_stream);
        m_stream = nullptr;
        return;
    }
    bool wroteSomething = m_recordsSinceOpen > 0;
    std::fclose(m_stream);
    m_stream = nullptr;
    if (wroteSomething && m_inWork) HY_OS::RenameFile(m_path, WithoutInWorkMark(m_path));
}

void HYLogFileIoA::Flush() {
    if (m_stream != nullptr) std::fflush(m_stream);
}

const char* HYLogFileIoA::DateTimeText(int64_t seconds) {
    if (seconds != m_cachedSecond) {
        HY_OS::LocalTime t{};
        HY_OS::ToLocalTime(seconds, t);
        std::snprintf(m_cachedDateTime, sizeof m_cachedDateTime, "%02u/%02u/%02u %02u:%02u:%02u",
                      t.month, t.day, t.year % 100, t.hour, t.minute, t.second);
        m_cachedSecond = seconds;
    }
    return m_cachedDateTime;
}

size_t HYLogFileIoA::FormatInto(const LogRecord& record, char* out, size_t size) {
    const char* tag = HYLog::LevelTag(record.level);
    int n = 0;
    switch (m_prefixFormat.load(std::memory_order_relaxed)) {
        case 0: break;
        case 1:
            n = std::snprintf(out, kPrefixLimit, "%s [%s] %-15s ", DateTimeText(record.seconds),
                              tag, record.category);
            break;
        case 2:
            n = std::snprintf(out, kPrefixLimit, "%s [%s] %-15s %-20s %04u [%llu] ",
                              DateTimeText(record.seconds), tag, record.category, record.file,
                              static_cast<unsigned>(record.line),
                              static_cast<unsigned long long>(record.ObjectId()));
            break;
        case 3:
            n = std::snprintf(out, kPrefixLimit, "%s %-30s %-75s %6u [%s] %-15s ",
                              DateTimeText(record.seconds), LogRecord::kOrigin,
                              record.info ? record.info->applicationName.c_str() : "",
                              record.processId, tag, record.category);
            break;
        default: return 0;
    }
    size_t used = n < 0 ? 0 : std::min(static_cast<size_t>(n), kPrefixLimit - 1);
    if (record.level == LL_Error || record.level == LL_Critical) {
        used += static_cast<size_t>(std::snprintf(out + used, size - used, "%10u ", record.formatHash));
    }
    size_t textLength = strnlen(record.text, kLogTextSize);
    std::memcpy(out + used, record.text, textLength);
    used += textLength;
    if (record.repeatCount > 1) {
        used += static_cast<size_t>(std::snprintf(out + used, size - used, "| (x%d)", record.repeatCount));
    }
    out[used++] = '\n';
    return used;
}

std::string HYLogFileIoA::FormatLine(const LogRecord& record) {
    char line[kPrefixLimit + kLogTextSize + 64];
    int format = m_prefixFormat.load(std::memory_order_relaxed);
    if (format < 0 || format > 3) return {};
    size_t n = FormatInto(record, line, sizeof line);
    return std::string(line, n);
}

int HYLogFileIoA::Write(const LogRecord& record) {
    if (m_stream == nullptr) return 1;
    int format = m_prefixFormat.load(std::memory_order_relaxed);
    if (format < 0 || format > 3) return 0;  // unknown format: not written
    char line[kPrefixLimit + kLogTextSize + 64];
    size_t n = FormatInto(record, line, sizeof line);
    std::fwrite(line, 1, n, m_stream);
    if (m_mode != 0) {
        ++m_recordsSinceOpen;
        ++m_linesSinceOpen;
        m_position += static_cast<int64_t>(n);
        if (m_position >= m_sizeLimit && !m_sizeReached) {
            m_sizeReached = true;
            HY_LOG_AT(261, LL_Status, "PLAT_HYLOG", "HYLogFileIoA::Write",
                      "Current log file has reached the maximum size--will create new log file.");
        }
        if (RotationDue()) Open();
    }
    if (!m_deferredFlush) Flush();
    return 0;
}

bool HYLogFileIoA::SelectHeaderWriter(const std::string& name) {
    std::shared_ptr<HeaderWriter> found;
    {
        HeaderWriters& writers = Writers();
        std::lock_guard<std::mutex> hold(writers.lock);
        auto it = writers.byName.find(name);
        if (it != writers.byName.end()) found = it->second;
    }
    if (found) {
        m_headerWriter = std::move(found);
        HY_LOG_AT(757, LL_Status, "PLAT_HYLOG", "HYLogFileIoA::SetHeaderWriter",
                  "log file format customizer set %s", name.c_str());
        return true;
    }
    HY_LOG_AT(768, LL_Error, "PLAT_HYLOG", "HYLogFileIoA::SetHeaderWriter",
              "log file format customizer NOT found %s", name.c_str());
    return false;
}
