// A program that installs the crash handler the way the launcher does, logs, and then dies in the
// way its first argument names. The crash tests run it as a child process and examine what the
// handler left behind: the dump, the log file, the standard error text, the report program's run.
//
//   crash_victim <kind> <work directory> [--dump-dir D] [--report-id I] [--program P]
//                [--answer yes|no|crash] [--stamped] [--full] [--disk-full] [--log-lines N]
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>

#include "HYCrashHandler.h"
#include "HYLogFileReactor.h"
#include "HYThread.h"
#include "LauncherLog.h"
#include "LogMessage.h"
#include "LogRegistry.h"
#include "OsSysCalls.h"
#include "OsTime.h"

namespace {

int* volatile g_null = nullptr;
volatile int g_zero = 0;
volatile int g_sink = 0;

// The crashes are on purpose: the sanitizers must let them happen, as a user's program would.
#define VICTIM_FUNCTION \
    extern "C" __attribute__((noinline, used, no_sanitize("undefined", "address")))

VICTIM_FUNCTION void CrashByNullWrite() {
    *g_null = 42;
    asm volatile("" ::: "memory");
}

VICTIM_FUNCTION int CrashByDivision() {
    int result = 100 / g_zero;
    asm volatile("" ::: "memory");
    return result;
}

VICTIM_FUNCTION void CrashByAbort() {
    std::abort();
}

VICTIM_FUNCTION void CrashByIllegalInstruction() {
    asm volatile("ud2");
}

VICTIM_FUNCTION int CrashByStackOverflow(int depth) {
    volatile char frame[2048];
    frame[0] = static_cast<char>(depth);
    if (g_zero != 0) return depth;  // never: the recursion only ends when the stack does
    int below = CrashByStackOverflow(depth + 1);
    return below + frame[0];
}

VICTIM_FUNCTION void CrashByUncaughtException() {
    throw std::runtime_error("nobody catches this");
}

// Dies with the frame pointer pointing into memory that is not mapped.
VICTIM_FUNCTION void CrashWithBrokenFramePointer() {
    asm volatile(
        "pushq %%rbp\n\t"
        "movabsq $0x00000dead0000000, %%rbp\n\t"
        "movl $1, 0\n\t"
        "popq %%rbp" ::: "memory");
}

VICTIM_FUNCTION void CrashOnWorkerThread() {
    *g_null = 7;
    asm volatile("" ::: "memory");
}

VICTIM_FUNCTION void CrashInReactorWrite() {
    *g_null = 9;
    asm volatile("" ::: "memory");
}

VICTIM_FUNCTION void CrashInQuestion() {
    *g_null = 11;
    asm volatile("" ::: "memory");
}

// The launcher's file reactor, dying while it writes one particular record.
class CrashingFileReactor : public HYLogFileReactor {
public:
    using HYLogFileReactor::HYLogFileReactor;
    int Write(const LogRecord& record) override {
        if (std::strstr(record.text, "crash the reactor") != nullptr) CrashInReactorWrite();
        return HYLogFileReactor::Write(record);
    }
};

// A disk that fills up after a few kilobytes.
class FullDisk : public HY_OS::OsSysCalls {
public:
    int64_t WriteFile(int fd, const void* data, size_t size) override {
        if (m_written >= 4096) {
            errno = ENOSPC;
            return -1;
        }
        int64_t n = OsSysCalls::WriteFile(fd, data, size < 4096 ? size : 4096);
        if (n > 0) m_written += n;
        return n;
    }

private:
    int64_t m_written = 0;
};

std::string g_answer = "default";

bool Answer(const char*, const char*) {
    if (g_answer == "crash") CrashInQuestion();
    return g_answer == "yes";
}

int RunThreadCrash() {
    auto third = std::make_shared<HYThread>("Third", nullptr, nullptr, nullptr);
    third->Start(true, false);
    auto crasher = std::make_shared<HYThread>(
        "Crasher",
        [](void*) -> int {
            CrashOnWorkerThread();
            return 0;
        },
        nullptr, nullptr);
    crasher->Start(false, false);
    for (;;) HY_OS::SleepMs(1000);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: crash_victim <kind> <work directory> [options]\n");
        return 2;
    }
    std::string kind = argv[1];
    if (chdir(argv[2]) != 0) {
        std::fprintf(stderr, "crash_victim: cannot enter %s\n", argv[2]);
        return 2;
    }
    CrashSettings settings;
    bool diskFull = false;
    int logLines = 10;
    for (int i = 3; i < argc; ++i) {
        std::string option = argv[i];
        auto value = [&]() -> std::string { return i + 1 < argc ? argv[++i] : ""; };
        if (option == "--dump-dir") settings.dumpDirectory = value();
        else if (option == "--report-id") settings.reportId = value();
        else if (option == "--program") settings.reportProgram = value();
        else if (option == "--answer") g_answer = value();
        else if (option == "--stamped") settings.timeStampedNames = true;
        else if (option == "--full") settings.fullMemory = true;
        else if (option == "--disk-full") diskFull = true;
        else if (option == "--log-lines") logLines = std::atoi(value().c_str());
    }

    HYCrashHandler::Install();
    HYCrashHandler::Configure(settings);
    if (g_answer != "default") HYCrashHandler::SetQuestionHandler(&Answer);
    if (kind == "reactor") {
        auto reactor = std::make_shared<CrashingFileReactor>(
            "DISK_FILE", LL_All, 5000,
            std::make_unique<HYLogFileIoA>(HYLog::kLauncherLogFile, true, 50000));
        LogRegistry::Instance().RegisterReactor(reactor);
        LogRegistry::Instance().SetReactorOption("DISK_FILE", 2);
        HYLog::SetGlobalLevel(LL_All);
    } else {
        HYLog::StartLauncherLog();
    }
    HYThread::Current();  // adopts the main thread as "Main", listed in crash reports
    static FullDisk fullDisk;
    if (diskFull) static HY_OS::ScopedSysCalls install(fullDisk);

    for (int i = 0; i < logLines; ++i) {
        HY_LOG(LL_Status, "PLAT_UTIL", "CrashVictim::Main", "line %d before the crash", i);
    }

    if (kind == "null") CrashByNullWrite();
    else if (kind == "divide") g_sink = CrashByDivision();
    else if (kind == "abort") CrashByAbort();
    else if (kind == "illegal") CrashByIllegalInstruction();
    else if (kind == "overflow") g_sink = CrashByStackOverflow(0);
    else if (kind == "exception") CrashByUncaughtException();
    else if (kind == "badframe") CrashWithBrokenFramePointer();
    else if (kind == "thread") return RunThreadCrash();
    else if (kind == "reactor") {
        HY_LOG(LL_Status, "PLAT_UTIL", "CrashVictim::Main", "crash the reactor");
        for (;;) HY_OS::SleepMs(1000);
    } else {
        std::fprintf(stderr, "crash_victim: unknown kind %s\n", kind.c_str());
        return 2;
    }
    return 0;
}
