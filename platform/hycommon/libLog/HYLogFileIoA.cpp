#include "HYLogFileIoA.h"

#include <algorithm>
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

namespace {

// Builds a log line in a buffer by hand: the reactor's thread formats every record, and the
// fixed layout of the prefixes needs no format parsing. Output beyond the limit is cut, as
// snprintf would cut it; the texts are exactly those of the printf formats named below.
class LineText {
public:
    LineText(char* out, size_t used, size_t limit) : m_out(out), m_used(used), m_limit(limit) {}
    size_t Used() const { return m_used; }

    void Add(const char* text, size_t n) {
        n = std::min(n, m_limit - m_used);
        std::memcpy(m_out + m_used, text, n);
        m_used += n;
    }
    void Add(const char* text) { Add(text, std::strlen(text)); }
    void Char(char c) {
        if (m_used < m_limit) m_out[m_used++] = c;
    }
    void Fill(char c, size_t n) {
        n = std::min(n, m_limit - m_used);
        std::memset(m_out + m_used, c, n);
        m_used += n;
    }
    // "%-<width>s"
    void Left(const char* text, size_t width) {
        size_t n = std::strlen(text);
        Add(text, n);
        if (n < width) Fill(' ', width - n);
    }
    // "%<width>u" (fill ' ') and "%0<width>u" (fill '0')
    void Unsigned(uint64_t value, size_t width, char fill) {
        char digits[20];
        size_t n = 0;
        do {
            digits[n++] = static_cast<char>('0' + value % 10);
            value /= 10;
        } while (value != 0);
        if (n < width) Fill(fill, width - n);
        while (n > 0) Char(digits[--n]);
    }

private:
    char* m_out;
    size_t m_used;
    size_t m_limit;
};

}  // namespace

size_t HYLogFileIoA::FormatInto(const LogRecord& record, char* out, size_t size) {
    const char* tag = HYLog::LevelTag(record.level);
    // The prefix is cut to kPrefixLimit bytes, its terminator included.
    LineText prefix(out, 0, kPrefixLimit - 1);
    int format = m_prefixFormat.load(std::memory_order_relaxed);
    switch (format) {
        case 0: break;
        case 1:  // "%s [%s] %-15s "
        case 2:  // "%s [%s] %-15s %-20s %04u [%llu] "
            prefix.Add(DateTimeText(record.seconds));
            prefix.Add(" [");
            prefix.Add(tag);
            prefix.Add("] ");
            prefix.Left(record.category, 15);
            prefix.Char(' ');
            if (format == 1) break;
            prefix.Left(record.file, 20);
            prefix.Char(' ');
            prefix.Unsigned(record.line, 4, '0');
            prefix.Add(" [");
            prefix.Unsigned(record.ObjectId(), 0, ' ');
            prefix.Add("] ");
            break;
        case 3:  // "%s %-30s %-75s %6u [%s] %-15s "
            prefix.Add(DateTimeText(record.seconds));
            prefix.Char(' ');
            prefix.Left(LogRecord::kOrigin, 30);
            prefix.Char(' ');
            prefix.Left(record.info ? record.info->applicationName.c_str() : "", 75);
            prefix.Char(' ');
            prefix.Unsigned(record.processId, 6, ' ');
            prefix.Add(" [");
            prefix.Add(tag);
            prefix.Add("] ");
            prefix.Left(record.category, 15);
            prefix.Char(' ');
            break;
        default: return 0;
    }
    // The rest always fits: hash, text, repeat suffix and newline are far below `size`.
    LineText line(out, prefix.Used(), size - 1);
    if (record.level == LL_Error || record.level == LL_Critical) {
        line.Unsigned(record.formatHash, 10, ' ');  // "%10u "
        line.Char(' ');
    }
    line.Add(record.text, strnlen(record.text, kLogTextSize));
    if (record.repeatCount > 1) {  // "| (x%d)"
        line.Add("| (x");
        line.Unsigned(record.repeatCount, 0, ' ');
        line.Char(')');
    }
    size_t used = line.Used();
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
