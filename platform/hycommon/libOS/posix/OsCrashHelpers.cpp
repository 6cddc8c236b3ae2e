#include <fcntl.h>
#include <sys/syscall.h>
#include <sys/uio.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <ctime>

#include "OsCrash.h"

extern char** environ;

namespace HY_OS {

namespace {
std::atomic<long> g_utcOffset{0};
}  // namespace

uint32_t CrashCurrentThreadId() { return static_cast<uint32_t>(::syscall(SYS_gettid)); }

bool DebuggerAttachedSignalSafe() {
    int fd = ::open("/proc/self/status", O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    char text[4096];
    ssize_t n = ::read(fd, text, sizeof text - 1);
    ::close(fd);
    if (n <= 0) return false;
    text[n] = '\0';
    const char* at = std::strstr(text, "TracerPid:");
    if (at == nullptr) return false;
    at += 10;
    while (*at == ' ' || *at == '\t') ++at;
    return *at >= '1' && *at <= '9';
}

bool SafeRead(uint64_t address, void* out, size_t size) {
    iovec local{out, size};
    iovec remote{reinterpret_cast<void*>(address), size};
    ssize_t n = ::syscall(SYS_process_vm_readv, ::getpid(), &local, 1UL, &remote, 1UL, 0UL);
    return n == static_cast<ssize_t>(size);
}

int SpawnDetachedSignalSafe(const char* path, char* const argv[]) {
    // The program is started by a short-lived child so that it is not left as a zombie of this
    // process; an exec failure comes back through a pipe that closes on a successful exec.
    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0) return errno;
    long child = ::syscall(SYS_fork);
    if (child < 0) {
        int error = errno;
        ::close(report[0]);
        ::close(report[1]);
        return error;
    }
    if (child == 0) {
        ::close(report[0]);
        long grandchild = ::syscall(SYS_fork);
        if (grandchild == 0) {
            ::execve(path, argv, environ);
            int error = errno;
            ssize_t ignored = ::write(report[1], &error, sizeof error);
            (void)ignored;
            ::_exit(127);
        }
        if (grandchild < 0) {
            int error = errno;
            ssize_t ignored = ::write(report[1], &error, sizeof error);
            (void)ignored;
        }
        ::_exit(0);
    }
    ::close(report[1]);
    int status = 0;
    while (::waitpid(static_cast<pid_t>(child), &status, 0) < 0 && errno == EINTR) {
    }
    int error = 0;
    ssize_t n;
    while ((n = ::read(report[0], &error, sizeof error)) < 0 && errno == EINTR) {
    }
    ::close(report[0]);
    return n == static_cast<ssize_t>(sizeof error) ? error : 0;
}

void RefreshCrashClock() {
    time_t now = time(nullptr);
    struct tm local {};
    if (localtime_r(&now, &local) != nullptr) g_utcOffset.store(local.tm_gmtoff);
}

CrashTime CrashLocalTime() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    int64_t seconds = static_cast<int64_t>(now.tv_sec) + g_utcOffset.load();
    int64_t days = seconds / 86400;
    int64_t rest = seconds % 86400;
    if (rest < 0) {
        rest += 86400;
        --days;
    }
    // Days since 1970-01-01 to a civil date (proleptic Gregorian calendar).
    int64_t z = days + 719468;
    int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    int64_t doe = z - era * 146097;
    int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    int64_t mp = (5 * doy + 2) / 153;
    int64_t day = doy - (153 * mp + 2) / 5 + 1;
    int64_t month = mp < 10 ? mp + 3 : mp - 9;
    int64_t year = yoe + era * 400 + (month <= 2 ? 1 : 0);
    CrashTime t{};
    t.year = static_cast<unsigned>(year);
    t.month = static_cast<unsigned>(month);
    t.day = static_cast<unsigned>(day);
    t.hour = static_cast<unsigned>(rest / 3600);
    t.minute = static_cast<unsigned>((rest / 60) % 60);
    t.second = static_cast<unsigned>(rest % 60);
    return t;
}

void CrashSleepUs(uint32_t us) {
    timespec pause{static_cast<time_t>(us / 1000000), static_cast<long>((us % 1000000) * 1000)};
    while (nanosleep(&pause, &pause) != 0 && errno == EINTR) {
    }
}

}  // namespace HY_OS
