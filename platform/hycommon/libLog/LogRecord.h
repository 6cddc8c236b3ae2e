// One log message as the reactors see it. Reference counted: the calling thread's folding state
// and every reactor queue that holds it share one record, freed by the last holder.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "LogTypes.h"
#include "OsSync.h"

// The calling thread's log information: shared by all records that thread makes.
struct HYLogInfo {
    std::string applicationName;
    std::string threadName;
};

constexpr uint32_t kLogRecordMessage = 1;
constexpr int kLogTextSize = 1024;

// The plain fields of a record, copied as one when a record is sent out again.
struct LogRecordFields {
    // The texts are written by the logging call up to their terminators; only their first bytes
    // are cleared here, so that a record does not touch memory it mostly never uses.
    LogRecordFields() {
        text[0] = '\0';
        function[0] = '\0';
        file[0] = '\0';
    }

    uint32_t kindFlags = kLogRecordMessage;
    uint8_t level = 0;
    uint16_t repeatCount = 1;
    int64_t seconds = 0;    // since 1970
    uint16_t milliseconds = 0;
    uint16_t line = 0;
    uint32_t sequence = 0;  // process-wide, one per record
    uint32_t processId = 0;
    char category[kLogCategorySize] = {};
    uint8_t type = LT_Application;
    uint32_t objectIdLow = 0;
    uint32_t objectIdHigh = 0;
    uint32_t formatHash = 0;
    uint16_t textLength = 0;  // characters written plus one, 0 when the text was cut
    // The short texts come before the message, so that the few bytes a logging call writes lie
    // in neighbouring cache lines.
    char function[128];
    char file[64];            // source file name without directories
    char text[kLogTextSize];

    static constexpr const char* kOrigin = "Local";
    uint64_t ObjectId() const { return (uint64_t{objectIdHigh} << 32) | objectIdLow; }
};

struct LogRecord : LogRecordFields {
    // Provided, so that a value-initialised record (as made by std::allocate_shared) is not
    // zero-filled first: that would write all of its 1.3 KB on every logging call.
    LogRecord() {}

    std::shared_ptr<const HYLogInfo> info;
    // Present on error-level records: released once by every reactor that queued the record.
    std::unique_ptr<HY_OS::Semaphore> completion;
};

using LogRecordRef = std::shared_ptr<LogRecord>;

namespace HYLog {

// A new record with its reference count in the same block, taken from a pool of recycled
// blocks: records are made on every logging thread and freed on the reactor's thread at a high
// rate, and recycling spares the allocator that churn.
LogRecordRef MakeLogRecord();

// Copies `from` (nullptr counts as empty) into a text field of `size` bytes, cut to fit.
void CopyText(char* to, size_t size, const char* from);

// Copies the fields of `from` into `to`: the fixed fields and each text up to its terminator.
void CopyRecordFields(LogRecordFields& to, const LogRecordFields& from);

// The hash of a format string: 5381, then hash * 33 + byte (as signed char) in 32 bits, masked to
// 31 bits; an empty or missing format gives 0.
uint32_t FormatHash(const char* format);

}  // namespace HYLog
