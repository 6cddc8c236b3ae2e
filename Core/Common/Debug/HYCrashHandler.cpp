#include "HYCrashHandler.h"

#include <unistd.h>

#include <atomic>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cxxabi.h>
#include <exception>
#include <mutex>
#include <typeinfo>

#include "CrashDumpFile.h"
#include "CrashOutput.h"
#include "CrashReport.h"
#include "DebugOutput.h"
#include "LogMessage.h"
#include "OsCrash.h"
#include "OsFile.h"
#include "OsHost.h"
#include "OsMemoryMap.h"
#include "SafeText.h"

namespace {

// How long the handler waits for a lock or for another thread before going on without it.
constexpr uint32_t kLockWaitMs = 200;
constexpr uint32_t kThreadStopWaitMs = 200;
constexpr uint32_t kLogWaitMs = 2000;

// The settings, in storage the signal handler can read without allocating. Configure writes them
// under g_settingsLock; the handler reads them as they are.
struct StoredSettings {
    char dumpDirectory[PATH_MAX] = {};
    char reportId[256] = {};
    char reportProgram[PATH_MAX] = {};
    bool fullMemory = false;
    bool timeStampedNames = false;
    bool askToReport = true;
};
StoredSettings g_settings;
std::mutex g_settingsLock;

std::atomic<bool> g_installed{false};
std::atomic<bool> g_handling{false};
std::atomic<CrashQuestionHandler> g_question{&HYCrashHandler::AskOnTerminal};
std::terminate_handler g_previousTerminate = nullptr;

HY_OS::CrashThread g_threads[HY_OS::kMaxCrashThreads];

void DefaultReportProgram(char* out, size_t size) {
    std::string directory = HY_OS::DirectoryPart(HY_OS::GetExecutablePath());
    std::string path = HY_OS::JoinPath(directory.empty() ? "." : directory,
                                       HYCrashHandler::kDefaultReportProgram);
    SafeCopy(out, size, path.c_str());
}

void StartReportProgram() {
    char* argv[] = {g_settings.reportProgram, g_settings.dumpDirectory, g_settings.reportId,
                    nullptr};
    int error = HY_OS::SpawnDetachedSignalSafe(g_settings.reportProgram, argv);
    if (error != 0) {
        static SafeText text;
        text.Clear();
        text.Str("FAILED to start the report program ").Str(g_settings.reportProgram);
        text.Str(": error ").Dec(static_cast<uint64_t>(error)).Char('.');
        CrashOutput::LogLine(LL_Error, "HYCrashHandler::Handle", "HYCrashHandler.cpp", __LINE__,
                             "FAILED to start the report program %s: error %d.", text.c_str());
    }
}

void Handle(const HY_OS::CrashInfo& info) {
    // A crash while one is being handled (on this thread or another) is passed on at once.
    if (g_handling.exchange(true, std::memory_order_acq_rel)) {
        HY_OS::PassOnCrash(info);
        return;
    }
    // Lines logged before the crash reach the file first; then the report is appended.
    CrashOutput::Open(info.threadId, kLogWaitMs);

    // The two locks, tried for a short while: the crashed thread may be the one holding either.
    bool registryLocked = HY_OS::TryLockCrashRegistry(kLockWaitMs);
    std::recursive_mutex& channelLock = DebugOutput::Except().Lock();
    bool channelLocked = false;
    for (uint32_t waited = 0; waited < kLockWaitMs && !(channelLocked = channelLock.try_lock());
         ++waited) {
        HY_OS::CrashSleepUs(1000);
    }

    int threadCount = 0;
    if (registryLocked) {
        threadCount = HY_OS::StopCrashThreads(g_threads, HY_OS::kMaxCrashThreads, kThreadStopWaitMs);
    } else {
        g_threads[0] = HY_OS::CrashThread{};
        g_threads[0].threadId = info.threadId;
        threadCount = 1;
    }
    g_threads[0].context = info.context;
    g_threads[0].nativeContext = info.nativeContext;
    g_threads[0].stopped = false;

    CrashDumpNaming naming;
    naming.directory = g_settings.dumpDirectory;
    naming.reportId = g_settings.reportId;
    naming.timeStamped = g_settings.timeStampedNames;
    WriteCrashDumpFile(naming, g_settings.fullMemory, info, g_threads, threadCount);

    HY_OS::ReadMemoryMap();
    WriteCrashReport(info, &CrashOutput::ReportLine);
    for (int t = 1; t < threadCount; ++t) {
        if (g_threads[t].stopped) WriteThreadStack(g_threads[t], &CrashOutput::ReportLine);
    }

    HY_OS::ResumeCrashThreads(g_threads, threadCount);
    if (channelLocked) channelLock.unlock();
    if (registryLocked) HY_OS::UnlockCrashRegistry();

    if (HY_OS::DebuggerAttachedSignalSafe()) {
        // The debugger sees the signal again, with nothing in its way.
        CrashOutput::Close();
        g_handling.store(false, std::memory_order_release);
        HY_OS::PassOnCrash(info);
        return;
    }
    if (g_settings.askToReport) {
        CrashQuestionHandler ask = g_question.load(std::memory_order_acquire);
        if (ask && ask(HYCrashHandler::kQuestionCaption, HYCrashHandler::kQuestionText)) {
            StartReportProgram();
        }
    }
    CrashOutput::Close();
    g_handling.store(false, std::memory_order_release);
    HY_OS::PassOnCrash(info);
}

// An exception nobody caught: its type and message go to the log while logging still works,
// then abort() raises SIGABRT, which the signal handler reports with the thread's stack.
[[noreturn]] void OnTerminate() {
    const char* type = "unknown";
    const char* what = "";
    if (std::exception_ptr current = std::current_exception()) {
        if (const std::type_info* info = abi::__cxa_current_exception_type()) type = info->name();
        try {
            std::rethrow_exception(current);
        } catch (const std::exception& error) {
            what = error.what();
        } catch (...) {
        }
    }
    HY_LOG(LL_Critical, "CORE_SEER", "HYCrashHandler::OnTerminate", "Uncaught exception %s: %s",
           type, what);
    std::abort();
}

}  // namespace

namespace HYCrashHandler {

void Install() {
    // Made now: the channel object is allocated on first use, which the signal handler must not do.
    DebugOutput::Except();
    {
        std::lock_guard<std::mutex> hold(g_settingsLock);
        if (g_settings.reportProgram[0] == '\0') {
            DefaultReportProgram(g_settings.reportProgram, sizeof g_settings.reportProgram);
        }
    }
    HY_OS::InstallCrashSignals(&Handle);
    std::terminate_handler previous = std::set_terminate(&OnTerminate);
    if (previous != &OnTerminate) g_previousTerminate = previous;
    g_installed.store(true, std::memory_order_release);
}

bool IsInstalled() { return g_installed.load(std::memory_order_acquire); }

void Configure(const CrashSettings& settings) {
    std::lock_guard<std::mutex> hold(g_settingsLock);
    SafeCopy(g_settings.dumpDirectory, sizeof g_settings.dumpDirectory,
             settings.dumpDirectory.c_str());
    SafeCopy(g_settings.reportId, sizeof g_settings.reportId, settings.reportId.c_str());
    if (settings.reportProgram.empty()) {
        DefaultReportProgram(g_settings.reportProgram, sizeof g_settings.reportProgram);
    } else {
        SafeCopy(g_settings.reportProgram, sizeof g_settings.reportProgram,
                 settings.reportProgram.c_str());
    }
    g_settings.fullMemory = settings.fullMemory;
    g_settings.timeStampedNames = settings.timeStampedNames;
    g_settings.askToReport = settings.askToReport;
    HY_OS::RefreshCrashClock();
}

CrashSettings Settings() {
    std::lock_guard<std::mutex> hold(g_settingsLock);
    CrashSettings settings;
    settings.dumpDirectory = g_settings.dumpDirectory;
    settings.reportId = g_settings.reportId;
    settings.fullMemory = g_settings.fullMemory;
    settings.timeStampedNames = g_settings.timeStampedNames;
    settings.askToReport = g_settings.askToReport;
    settings.reportProgram = g_settings.reportProgram;
    return settings;
}

void SetQuestionHandler(CrashQuestionHandler handler) {
    g_question.store(handler ? handler : &AskOnTerminal, std::memory_order_release);
}

bool AskOnTerminal(const char* caption, const char* text) {
    if (!isatty(STDIN_FILENO) || !isatty(STDERR_FILENO)) return false;  // nobody to ask
    static SafeText question;
    question.Clear();
    question.Str(caption).Str(": ").Str(text).Str(" [y/n] ");
    ssize_t ignored = ::write(STDERR_FILENO, question.c_str(), question.size());
    (void)ignored;
    char answer = 0;
    while (::read(STDIN_FILENO, &answer, 1) == 1) {
        if (answer == 'y' || answer == 'Y') return true;
        if (answer == 'n' || answer == 'N' || answer == '\n') return false;
    }
    return false;
}

bool DumpFilePath(char* out, size_t size) {
    CrashDumpNaming naming;
    naming.directory = g_settings.dumpDirectory;
    naming.reportId = g_settings.reportId;
    naming.timeStamped = g_settings.timeStampedNames;
    return CrashDumpPath(naming, out, size);
}

}  // namespace HYCrashHandler
