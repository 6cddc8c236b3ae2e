// The crash handler on Windows: an unhandled-exception filter for the whole process. It writes a
// minidump with dbghelp's MiniDumpWriteDump (the library beside the program first, else the
// system's), writes the report (exception, registers, stacks of the crashed thread and of every
// other registered thread) to the report channel "EXCEPT" and to standard error, and then, unless
// a debugger is attached, asks whether to send a report and starts the report program on "yes".
//
// The filter runs on the crashed thread while the others still run; the report channel's lock
// and the thread registry's lock are only tried for a while, so a crash while another thread
// holds them cannot hang it. Its buffers are static: the heap may be what broke.
#include "HYCrashHandler.h"

#include <windows.h>
#include <dbghelp.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "CrashReportWin.h"
#include "DebugOutput.h"
#include "LogMessage.h"
#include "OsCrash.h"
#include "OsProcess.h"
#include "OsShell.h"

namespace HYCrashHandler {

namespace {

constexpr const char* kCategory = "CORE_SEER";
constexpr const char* kDumpFunction = "HYCrashHandler::WriteMiniDump";
constexpr uint32_t kLockWaitMs = 200;
// The dump types: with full memory, and without.
constexpr DWORD kFullMemoryDump = 0x1343;
constexpr DWORD kNormalDump = 0x1041;

using MiniDumpWriteDumpFn = BOOL(WINAPI*)(HANDLE, DWORD, HANDLE, MINIDUMP_TYPE,
                                          PMINIDUMP_EXCEPTION_INFORMATION,
                                          PMINIDUMP_USER_STREAM_INFORMATION,
                                          PMINIDUMP_CALLBACK_INFORMATION);

std::mutex g_lock;
CrashSettings g_settings;
std::atomic<bool> g_installed{false};
std::atomic<bool> g_handling{false};
std::atomic<CrashQuestionHandler> g_question{nullptr};

// A copy of the settings the filter reads without taking a lock.
struct FixedSettings {
    char dumpDirectory[MAX_PATH];
    char reportId[128];
    char reportProgram[MAX_PATH];
    bool fullMemory;
    bool timeStampedNames;
    bool askToReport;
};
FixedSettings g_fixed{};
std::atomic<int> g_fixedVersion{0};

char g_path[MAX_PATH * 2];
char g_line[1024];
HY_OS::CrashThread g_threads[HY_OS::kMaxCrashThreads];
constexpr int kMaxFrames = 128;
uint64_t g_frames[HY_OS::kMaxCrashThreads][kMaxFrames];
int g_frameCounts[HY_OS::kMaxCrashThreads];

void CopyText(char* out, size_t size, const std::string& text) {
    std::snprintf(out, size, "%s", text.c_str());
}

// The program's own file name; false when the system does not tell it.
bool ProgramPath(char* out, DWORD size) {
    DWORD n = GetModuleFileNameA(nullptr, out, size);
    return n > 0 && n < size;
}

// The file name of `path` without its folder and without ".exe".
void ProgramName(const char* path, char* out, size_t size) {
    const char* name = path;
    for (const char* p = path; *p; ++p)
        if (*p == '\\' || *p == '/') name = p + 1;
    std::snprintf(out, size, "%s", name);
    size_t n = std::strlen(out);
    if (n > 4 && _stricmp(out + n - 4, ".exe") == 0) out[n - 4] = '\0';
}

// The dump directory with a closing separator ("" for the current directory).
void DirectoryPrefix(char* out, size_t size) {
    std::snprintf(out, size, "%s", g_fixed.dumpDirectory);
    size_t n = std::strlen(out);
    if (n > 0 && out[n - 1] != '\\' && out[n - 1] != '/' && n + 1 < size) {
        out[n] = '\\';
        out[n + 1] = '\0';
    }
}

bool MakeDumpPath(char* out, size_t size) {
    char program[MAX_PATH];
    if (!ProgramPath(program, MAX_PATH)) return false;
    char name[MAX_PATH];
    ProgramName(program, name, sizeof name);
    char directory[MAX_PATH + 2];
    DirectoryPrefix(directory, sizeof directory);
    int n;
    if (g_fixed.timeStampedNames) {
        SYSTEMTIME now;
        GetLocalTime(&now);
        n = std::snprintf(out, size, "%s%s_%s.%02u%02u%02u-%02u%02u.dmp", directory, name,
                          g_fixed.reportId, now.wHour, now.wMinute, now.wSecond, now.wMonth,
                          now.wDay);
    } else {
        n = std::snprintf(out, size, "%s%s_%s.dmp", directory, name, g_fixed.reportId);
    }
    return n > 0 && static_cast<size_t>(n) < size;
}

void DeleteOldDumps() {
    char directory[MAX_PATH + 2];
    DirectoryPrefix(directory, sizeof directory);
    char pattern[MAX_PATH + 8];
    std::snprintf(pattern, sizeof pattern, "%s*.dmp", directory);
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern, &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        char file[MAX_PATH * 2];
        std::snprintf(file, sizeof file, "%s%s", directory, found.cFileName);
        DeleteFileA(file);
    } while (FindNextFileA(search, &found));
    FindClose(search);
}

void LogDump(int level, const char* text) {
    HY_LOG_AT(__LINE__, static_cast<LogLevel>(level), kCategory, kDumpFunction, "%s", text);
    std::fprintf(stderr, "%s\n", text);
}

// dbghelp.dll from the program's folder (a newer one may ship beside it), else the system's.
HMODULE LoadDbgHelp() {
    char program[MAX_PATH];
    if (ProgramPath(program, MAX_PATH)) {
        char* slash = std::strrchr(program, '\\');
        if (slash) {
            *slash = '\0';
            char path[MAX_PATH + 16];
            std::snprintf(path, sizeof path, "%s\\dbghelp.dll", program);
            if (HMODULE module = LoadLibraryA(path)) return module;
        }
    }
    return LoadLibraryA("dbghelp.dll");
}

bool WriteMiniDump(EXCEPTION_POINTERS* pointers) {
    LogDump(LL_Status, "Started writing crash dump file...");
    char program[MAX_PATH];
    if (!ProgramPath(program, MAX_PATH)) {
        LogDump(LL_Error, "FAILED to write crash dump file: could not get EXE file name.");
        return false;
    }
    HMODULE dbghelp = LoadDbgHelp();
    if (!dbghelp) {
        LogDump(LL_Error, "FAILED to write crash dump file: could not load dbghelp.dll.");
        return false;
    }
    auto write = reinterpret_cast<MiniDumpWriteDumpFn>(
        reinterpret_cast<void*>(GetProcAddress(dbghelp, "MiniDumpWriteDump")));
    if (!write) {
        LogDump(LL_Error,
                "FAILED to write crash dump file: could not get MiniDumpWriteDump procedure dump.");
        FreeLibrary(dbghelp);
        return false;
    }
    if (!MakeDumpPath(g_path, sizeof g_path)) {
        LogDump(LL_Error, "FAILED to write crash dump file: could not get EXE file name.");
        FreeLibrary(dbghelp);
        return false;
    }
    if (!g_fixed.timeStampedNames) DeleteOldDumps();
    HANDLE file = CreateFileA(g_path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        LogDump(LL_Error, "FAILED to write crash dump file: could not create the file.");
        FreeLibrary(dbghelp);
        return false;
    }
    MINIDUMP_EXCEPTION_INFORMATION exception;
    exception.ThreadId = GetCurrentThreadId();
    exception.ExceptionPointers = pointers;
    exception.ClientPointers = FALSE;
    DWORD type = g_fixed.fullMemory ? kFullMemoryDump : kNormalDump;
    BOOL written = write(GetCurrentProcess(), GetCurrentProcessId(), file,
                         static_cast<MINIDUMP_TYPE>(type), &exception, nullptr, nullptr);
    BOOL closed = CloseHandle(file);
    FreeLibrary(dbghelp);
    bool ok = written && closed;
    // A dump that could not be written whole would mislead whoever reads it.
    if (!ok) DeleteFileA(g_path);
    std::snprintf(g_line, sizeof g_line, "%s writing crash dump file %s.",
                  ok ? "SUCCEEDED" : "FAILED", g_path);
    LogDump(ok ? LL_Status : LL_Error, g_line);
    return ok;
}

// One line of the report: the channel "EXCEPT" (log and debugger output) and standard error.
void ReportLine(const char* text) {
    DebugOutput::Except().Report(text);
    std::fprintf(stderr, "EXCEPT : %s\n", text);
}

void WriteReport(EXCEPTION_POINTERS* pointers) {
    WriteWinCrashReport(*pointers->ExceptionRecord, *pointers->ContextRecord, &ReportLine);
    if (!HY_OS::TryLockCrashRegistry(kLockWaitMs)) return;
    // The other threads are held only while their stacks are walked; the report is written
    // once they run again (one of them may be the log's writer).
    int count = HY_OS::StopCrashThreads(g_threads, HY_OS::kMaxCrashThreads, kLockWaitMs);
    for (int i = 0; i < count; ++i) {
        g_frameCounts[i] = 0;
        if (!g_threads[i].stopped || !g_threads[i].nativeContext) continue;
        g_frameCounts[i] = WalkWinStack(*static_cast<const CONTEXT*>(g_threads[i].nativeContext),
                                        g_frames[i], kMaxFrames);
    }
    HY_OS::ResumeCrashThreads(g_threads, count);
    HY_OS::UnlockCrashRegistry();
    for (int i = 0; i < count; ++i) {
        if (g_threads[i].threadId == GetCurrentThreadId() || g_frameCounts[i] == 0) continue;
        WriteWinThreadStack(g_threads[i].threadId, g_frames[i], g_frameCounts[i], &ReportLine);
    }
}

void StartReportProgram() {
    std::string program = g_fixed.reportProgram;
    if (program.empty()) {
        char path[MAX_PATH];
        if (!ProgramPath(path, MAX_PATH)) return;
        char* slash = std::strrchr(path, '\\');
        if (slash) slash[1] = '\0';
        program = std::string(slash ? path : "") + kDefaultReportProgram + ".exe";
    }
    uint32_t processId = 0;
    int error = HY_OS::SpawnProcess(program, {g_fixed.dumpDirectory, g_fixed.reportId},
                                    std::string(), &processId);
    if (error != 0) std::fprintf(stderr, "Crash handler: could not start %s (%d)\n", program.c_str(), error);
}

LONG WINAPI Filter(EXCEPTION_POINTERS* pointers) {
    // A second crash while one is handled ends the process at once.
    if (g_handling.exchange(true)) return EXCEPTION_EXECUTE_HANDLER;
    std::recursive_mutex& channel = DebugOutput::Except().Lock();
    bool channelLocked = false;
    for (uint32_t waited = 0; waited < kLockWaitMs && !(channelLocked = channel.try_lock()); ++waited)
        Sleep(1);
    WriteMiniDump(pointers);
    WriteReport(pointers);
    std::fflush(stderr);
    if (channelLocked) channel.unlock();
    if (IsDebuggerPresent()) {
        // The debugger sees the exception.
        g_handling.store(false);
        return EXCEPTION_CONTINUE_SEARCH;
    }
    if (g_fixed.askToReport) {
        CrashQuestionHandler ask = g_question.load();
        bool yes = ask ? ask(kQuestionCaption, kQuestionText) : AskOnTerminal(kQuestionCaption, kQuestionText);
        if (yes) StartReportProgram();
    }
    g_handling.store(false);
    return EXCEPTION_EXECUTE_HANDLER;
}

void FixSettings(const CrashSettings& settings) {
    CopyText(g_fixed.dumpDirectory, sizeof g_fixed.dumpDirectory, settings.dumpDirectory);
    CopyText(g_fixed.reportId, sizeof g_fixed.reportId, settings.reportId);
    CopyText(g_fixed.reportProgram, sizeof g_fixed.reportProgram, settings.reportProgram);
    g_fixed.fullMemory = settings.fullMemory;
    g_fixed.timeStampedNames = settings.timeStampedNames;
    g_fixed.askToReport = settings.askToReport;
}

}  // namespace

void Install() {
    std::lock_guard<std::mutex> hold(g_lock);
    if (!g_installed.load()) FixSettings(g_settings);
    SetUnhandledExceptionFilter(&Filter);
    g_installed.store(true);
}

bool IsInstalled() { return g_installed.load(); }

void Configure(const CrashSettings& settings) {
    std::lock_guard<std::mutex> hold(g_lock);
    g_settings = settings;
    FixSettings(settings);
}

CrashSettings Settings() {
    std::lock_guard<std::mutex> hold(g_lock);
    return g_settings;
}

void SetQuestionHandler(CrashQuestionHandler handler) { g_question.store(handler); }

bool AskOnTerminal(const char* caption, const char* text) {
    // The system's yes/no box (standard error only, when message boxes are non-interactive).
    return HY_OS::SystemMessageBox(caption, text, HY_OS::MBB_YesNo) == HY_OS::MBA_Yes;
}

bool DumpFilePath(char* out, size_t size) { return MakeDumpPath(out, size); }

}  // namespace HYCrashHandler
