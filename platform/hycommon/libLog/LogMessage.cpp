#include "LogMessage.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <thread>
#include <unordered_map>

#include "LogRecord.h"
#include "LogRegistry.h"
#include "OsEnv.h"
#include "OsFile.h"
#include "OsHost.h"
#include "OsThread.h"
#include "OsTime.h"

namespace HYLog {

constinit thread_local ThreadCounters* t_counters = nullptr;

namespace {

std::atomic<bool> g_shutDown{false};

// How long a caller whose record must be written before it goes on looks for that to happen
// before it sleeps.
constexpr auto kCompletionLook = std::chrono::microseconds(100);

// Counters of threads that registered, and the sums of threads that ended, minus the baseline
// taken by the last reset.
struct CounterBook {
    std::mutex lock;
    ThreadCounters* head = nullptr;
    LogStatistics retired;
    LogStatistics baseline;
    HY_OS::TlsKey exitKey = HY_OS::kInvalidTlsKey;
};

CounterBook& Book() {
    static CounterBook* book = new CounterBook();
    return *book;
}

void Add(LogStatistics& sum, const ThreadCounters& c) {
    sum.calls += c.calls.load(std::memory_order_relaxed);
    sum.dispatched += c.dispatched.load(std::memory_order_relaxed);
    sum.skipped += c.skipped.load(std::memory_order_relaxed);
    sum.folded += c.folded.load(std::memory_order_relaxed);
}

// Runs on a thread that registered counters when it ends: moves its counts to the retired sums
// and frees its block. A later logging call on the same thread registers a new one.
void RetireCounters(void* raw) {
    auto* counters = static_cast<ThreadCounters*>(raw);
    CounterBook& book = Book();
    {
        std::lock_guard<std::mutex> hold(book.lock);
        Add(book.retired, *counters);
        for (ThreadCounters** p = &book.head; *p != nullptr; p = &(*p)->next) {
            if (*p == counters) {
                *p = counters->next;
                break;
            }
        }
    }
    if (t_counters == counters) t_counters = nullptr;
    delete counters;
}

// The per-thread state of the logging call: the thread's log information and folding state.
// The last record is kept as a copy of its fields rather than a reference to the record: the
// record itself is read and released by a reactor's thread, and sharing it would move its
// memory between processors twice more per message.
struct HYLogPerThread {
    std::shared_ptr<const HYLogInfo> info;
    bool hasLast = false;
    LogRecordFields last;
    std::shared_ptr<const HYLogInfo> lastInfo;
    uint32_t repeats = 0;
};

const std::string& ApplicationName() {
    static const std::string* name = [] {
        std::string value;
        if (!HY_OS::GetEnv("NETPM_APPLICATION_NAME", value)) {
            value = HY_OS::FileNamePart(HY_OS::GetExecutablePath());
        }
        return new std::string(value);
    }();
    return *name;
}

// Log information given a thread name lives as long as the process, one per distinct name, and
// records refer to it without counting references: a count shared by every record of a thread
// would be changed by the logging thread and by a reactor's thread for each message. Past a bound
// on distinct names (a process that keeps naming new threads), information is counted as usual.
// A thread nobody named is known by its id, which no later thread shares: its information is
// always counted, so that a thread that ends leaves nothing behind.
constexpr size_t kMaxLastingInfos = 4096;

std::mutex& LastingLock() {
    static std::mutex* lock = new std::mutex();
    return *lock;
}

std::unordered_map<std::string, std::unique_ptr<const HYLogInfo>>& LastingInfos() {
    static auto* lasting = new std::unordered_map<std::string, std::unique_ptr<const HYLogInfo>>();
    return *lasting;
}

std::shared_ptr<const HYLogInfo> CountedInfo(const std::string& threadName) {
    return std::make_shared<const HYLogInfo>(HYLogInfo{ApplicationName(), threadName});
}

std::shared_ptr<const HYLogInfo> InfoFor(const std::string& threadName) {
    std::lock_guard<std::mutex> hold(LastingLock());
    auto* lasting = &LastingInfos();
    auto found = lasting->find(threadName);
    if (found == lasting->end()) {
        if (lasting->size() >= kMaxLastingInfos) return CountedInfo(threadName);
        found = lasting->emplace(threadName, std::make_unique<const HYLogInfo>(
                                                 HYLogInfo{ApplicationName(), threadName}))
                    .first;
    }
    // An aliasing pointer with no owner: copies of it change no count.
    return std::shared_ptr<const HYLogInfo>(std::shared_ptr<const HYLogInfo>(), found->second.get());
}

HY_OS::TlsKey PerThreadKey() {
    static HY_OS::TlsKey key = HY_OS::TlsAlloc([](void* raw) { delete static_cast<HYLogPerThread*>(raw); });
    return key;
}

HYLogPerThread* PerThread() {
    HY_OS::TlsKey key = PerThreadKey();
    if (key == HY_OS::kInvalidTlsKey) return nullptr;
    auto* state = static_cast<HYLogPerThread*>(HY_OS::TlsGet(key));
    if (state == nullptr) {
        state = new HYLogPerThread();
        char id[16];
        std::snprintf(id, sizeof id, "%X", HY_OS::CurrentThreadId());
        state->info = CountedInfo(id);
        HY_OS::TlsSet(key, state);
    }
    return state;
}

const char* StripDirectories(const char* path) {
    if (path == nullptr) return "";
    // The library's reverse searches are word-wide: this runs on every logging call.
    const char* slash = std::strrchr(path, '/');
    const char* backslash = std::strrchr(path, '\\');
    const char* last = slash > backslash ? slash : backslash;
    return last != nullptr ? last + 1 : path;
}

bool IsRepeat(const LogRecordFields& now, const LogRecordFields* last, uint32_t windowMs) {
    if (last == nullptr || now.type != LT_Application) return false;
    if (now.line != last->line || std::strcmp(now.file, last->file) != 0) return false;
    int64_t elapsed = (now.seconds - last->seconds) * 1000 +
                      (static_cast<int64_t>(now.milliseconds) - last->milliseconds);
    if (elapsed >= static_cast<int64_t>(windowMs)) return false;
    return std::strcmp(now.text, last->text) == 0;
}

void Dispatch(const LogRecordRef& record, bool wait) {
    if (wait && record->level >= LL_Error) {
        record->completion = std::make_unique<HY_OS::Semaphore>(0);
    }
    int queued = LogRegistry::Instance().Offer(record);
    Bump(Counters().dispatched);
    if (record->completion) {
        // The reactors usually finish within a few tens of microseconds: the caller looks for
        // that first, and sleeps only when it takes longer, since being put to sleep and woken
        // again costs it more than the wait itself.
        auto lookUntil = std::chrono::steady_clock::now() + kCompletionLook;
        for (int i = 0; i < queued; ++i) {
            while (!record->completion->TryWait()) {
                if (std::chrono::steady_clock::now() >= lookUntil) {
                    record->completion->Wait();
                    break;
                }
                std::this_thread::yield();
            }
        }
    }
}

}  // namespace

void WaitForOffersInFlight() {
    CounterBook& book = Book();
    std::lock_guard<std::mutex> hold(book.lock);
    for (ThreadCounters* c = book.head; c != nullptr; c = c->next) {
        if (c == t_counters) continue;  // the caller itself, maybe inside an offer of its own
        uint32_t seen = c->offering.load(std::memory_order_seq_cst);
        if ((seen & 1) == 0) continue;
        while (c->offering.load(std::memory_order_acquire) == seen) std::this_thread::yield();
    }
}

ThreadCounters& RegisterThreadCounters() {
    auto* counters = new ThreadCounters();
    CounterBook& book = Book();
    {
        std::lock_guard<std::mutex> hold(book.lock);
        if (book.exitKey == HY_OS::kInvalidTlsKey) book.exitKey = HY_OS::TlsAlloc(RetireCounters);
        counters->next = book.head;
        book.head = counters;
    }
    if (book.exitKey != HY_OS::kInvalidTlsKey) HY_OS::TlsSet(book.exitKey, counters);
    t_counters = counters;
    return *counters;
}

LogStatistics GetLogStatistics() {
    CounterBook& book = Book();
    std::lock_guard<std::mutex> hold(book.lock);
    LogStatistics sum = book.retired;
    for (ThreadCounters* c = book.head; c != nullptr; c = c->next) Add(sum, *c);
    sum.calls -= book.baseline.calls;
    sum.dispatched -= book.baseline.dispatched;
    sum.skipped -= book.baseline.skipped;
    sum.folded -= book.baseline.folded;
    return sum;
}

void ResetLogStatistics() {
    CounterBook& book = Book();
    std::lock_guard<std::mutex> hold(book.lock);
    LogStatistics sum = book.retired;
    for (ThreadCounters* c = book.head; c != nullptr; c = c->next) Add(sum, *c);
    book.baseline = sum;
}

void SetGlobalLevel(int level) { g_globalLevel.store(level, std::memory_order_relaxed); }

void SetShutDown(bool shutDown) { g_shutDown.store(shutDown, std::memory_order_release); }

bool IsShutDown() { return g_shutDown.load(std::memory_order_acquire); }

size_t LastingThreadInfoCount() {
    std::lock_guard<std::mutex> hold(LastingLock());
    return LastingInfos().size();
}

void SetCurrentThreadName(const char* name) {
    HYLogPerThread* state = PerThread();
    if (state == nullptr) return;
    state->info = InfoFor(name ? name : "");
}

void SetFolding(bool enabled, uint32_t windowMs, uint32_t limit) {
    LogRegistry& registry = LogRegistry::Instance();
    registry.m_foldWindowMs.store(enabled ? windowMs : 0);
    registry.m_foldLimit.store(enabled ? limit : 0);
}

}  // namespace HYLog

int LogMessage(const char* category, uint8_t type, uint8_t level, uint32_t objectIdLow,
               uint32_t objectIdHigh, uint16_t line, const char* function, const char* sourcePath,
               const char* format, ...) {
    va_list args;
    va_start(args, format);
    int result = LogMessageV(category, type, level, objectIdLow, objectIdHigh, line, function,
                             sourcePath, format, args);
    va_end(args);
    return result;
}

int LogMessageV(const char* category, uint8_t type, uint8_t level, uint32_t objectIdLow,
                uint32_t objectIdHigh, uint16_t line, const char* function,
                const char* sourcePath, const char* format, va_list args) {
    using namespace HYLog;
    if (IsShutDown()) return 0;
    ThreadCounters& counters = Counters();
    Bump(counters.calls);
    LogRegistry& registry = LogRegistry::Instance();
    if (registry.ReactorCount() == 0) return 1;
    HYLogPerThread* state = PerThread();

    // The sequence number and the reference to the thread's information are taken before the
    // record is filled: their atomic increments then do not wait for the record's writes.
    uint32_t sequence = registry.NextSequence();
    std::shared_ptr<const HYLogInfo> info = state ? state->info : nullptr;
    auto record = MakeLogRecord();
    CopyText(record->file, sizeof record->file, StripDirectories(sourcePath));
    record->sequence = sequence;
    uint64_t nowMs = HY_OS::GetTimeMs();
    record->seconds = static_cast<int64_t>(nowMs / 1000);
    record->milliseconds = static_cast<uint16_t>(nowMs % 1000);
    record->level = level;
    record->line = line;
    CopyText(record->function, sizeof record->function, function);
    record->processId = HY_OS::GetProcessId();
    record->info = std::move(info);
    // Copied up to its terminator: callers may pass a plain name as well as a 16-byte field.
    SetCategory(record->category, category);
    record->type = type;
    record->objectIdLow = objectIdLow;
    record->objectIdHigh = objectIdHigh;
    record->formatHash = FormatHash(format);
    int written = format ? std::vsnprintf(record->text, kLogTextSize, format, args) : 0;
    if (written < 0 || written >= kLogTextSize) {
        record->text[kLogTextSize - 1] = '\0';
        record->textLength = 0;
    } else {
        record->textLength = static_cast<uint16_t>(written + 1);
    }

    bool wait = type != LT_Content;
    uint32_t limit = registry.m_foldLimit.load(std::memory_order_relaxed);
    if (state == nullptr) {
        Dispatch(record, wait);
        return 0;
    }
    if (limit > 1 && IsRepeat(*record, state->hasLast ? &state->last : nullptr,
                              registry.m_foldWindowMs.load(std::memory_order_relaxed))) {
        ++state->repeats;
        if (state->repeats < limit) {
            Bump(counters.folded);
        } else {
            record->repeatCount = static_cast<uint16_t>(state->repeats);
            Dispatch(record, wait);
            state->repeats = 0;
        }
    } else {
        if (state->repeats > 0 && state->hasLast) {
            // The previous record goes out a second time, now standing for its repeats.
            LogRecordRef previous = MakeLogRecord();
            CopyRecordFields(*previous, state->last);
            previous->info = state->lastInfo;
            previous->repeatCount = static_cast<uint16_t>(state->repeats);
            state->repeats = 0;
            Dispatch(previous, previous->type != LT_Content);
        }
        Dispatch(record, wait);
    }
    CopyRecordFields(state->last, *record);
    state->lastInfo = record->info;
    state->hasLast = true;
    return 0;
}
