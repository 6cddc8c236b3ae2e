#include "LogRecord.h"

namespace HYLog {

uint32_t FormatHash(const char* format) {
    if (format == nullptr || *format == '\0') return 0;
    uint32_t hash = 5381;
    for (const char* p = format; *p != '\0'; ++p) {
        hash = hash * 33u + static_cast<uint32_t>(static_cast<int32_t>(static_cast<signed char>(*p)));
    }
    return hash & 0x7FFFFFFFu;
}

}  // namespace HYLog
