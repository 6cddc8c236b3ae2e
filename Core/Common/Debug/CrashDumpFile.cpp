#include "CrashDumpFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <climits>

#include "CrashOutput.h"
#include "LogTypes.h"
#include "OsMiniDump.h"
#include "SafeText.h"

namespace {

const char kFunction[] = "HYCrashHandler::WriteMiniDump";
const char kSourceFile[] = "CrashDumpFile.cpp";

char g_path[PATH_MAX];
SafeText g_text;

void Log(uint8_t level, unsigned line, const char* text) {
    CrashOutput::LogLine(level, kFunction, kSourceFile, line, text, text);
}

bool EndsWith(const char* text, size_t length, const char* suffix) {
    size_t n = SafeLength(suffix);
    if (length < n) return false;
    for (size_t i = 0; i < n; ++i)
        if (text[length - n + i] != suffix[i]) return false;
    return true;
}

}  // namespace

bool CrashDumpPath(const CrashDumpNaming& naming, char* out, size_t size) {
    char exe[PATH_MAX];
    ssize_t n = ::readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n <= 0) return false;
    exe[n] = '\0';
    const char* program = exe;
    for (const char* at = exe; *at != '\0'; ++at)
        if (*at == '/') program = at + 1;

    static SafeText path;
    path.Clear();
    path.Str(naming.directory);
    size_t dirLength = SafeLength(naming.directory);
    if (dirLength > 0 && naming.directory[dirLength - 1] != '/') path.Char('/');
    path.Str(program).Char('_').Str(naming.reportId);
    if (naming.timeStamped) {
        HY_OS::CrashTime t = HY_OS::CrashLocalTime();
        path.Char('.').Dec(t.hour, 2, '0').Dec(t.minute, 2, '0').Dec(t.second, 2, '0');
        path.Char('-').Dec(t.month, 2, '0').Dec(t.day, 2, '0');
    }
    path.Str(".dmp");
    if (path.size() + 1 > size || path.size() >= SafeText::kCapacity) return false;
    SafeCopy(out, size, path.c_str());
    return true;
}

void DeleteOldDumps(const char* directory) {
    int dir = ::open(directory[0] != '\0' ? directory : ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) return;
    // getdents64 rather than readdir: no allocation.
    alignas(8) char entries[8192];
    for (;;) {
        long n = ::syscall(SYS_getdents64, dir, entries, sizeof entries);
        if (n <= 0) break;
        for (long at = 0; at < n;) {
            auto* entry = reinterpret_cast<dirent64*>(entries + at);
            at += entry->d_reclen;
            size_t length = SafeLength(entry->d_name);
            if (entry->d_type != DT_DIR && EndsWith(entry->d_name, length, ".dmp")) {
                ::unlinkat(dir, entry->d_name, 0);
            }
        }
    }
    ::close(dir);
}

bool WriteCrashDumpFile(const CrashDumpNaming& naming, bool fullMemory,
                        const HY_OS::CrashInfo& crash, const HY_OS::CrashThread* threads,
                        int threadCount) {
    Log(LL_Status, __LINE__, "Started writing crash dump file...");
    if (!CrashDumpPath(naming, g_path, sizeof g_path)) {
        Log(LL_Error, __LINE__, "FAILED to write crash dump file: could not get EXE file name.");
        return false;
    }
    if (!naming.timeStamped) DeleteOldDumps(naming.directory);
    int fd = ::open(g_path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        Log(LL_Error, __LINE__, "FAILED to write crash dump file: could not create the file.");
        return false;
    }
    HY_OS::MiniDumpRequest request;
    request.crash = &crash;
    request.threads = threads;
    request.threadCount = threadCount;
    request.fullMemory = fullMemory;
    bool written = HY_OS::WriteMiniDump(fd, request);
    bool closed = ::close(fd) == 0;
    if (!written || !closed) {
        Log(LL_Error, __LINE__, "FAILED to write crash dump file: could not write the file.");
        ::unlink(g_path);  // a half-written dump would mislead whoever reads it
    }
    g_text.Clear();
    g_text.Str(written && closed ? "SUCCEEDED" : "FAILED").Str(" writing crash dump file ");
    g_text.Str(g_path).Char('.');
    CrashOutput::LogLine(written && closed ? LL_Status : LL_Error, kFunction, kSourceFile,
                         __LINE__, "%s writing crash dump file %s.", g_text.c_str());
    return written && closed;
}
