// Named events as POSIX named semaphores: a post is one set, a wait consumes it (auto-reset).
#include "OsNamedEvent.h"

#include <fcntl.h>
#include <semaphore.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <ctime>

namespace HY_OS {

struct NamedEvent::Native {
    sem_t* semaphore = SEM_FAILED;
    std::string systemName;
};

namespace {
// glibc keeps semaphores as files "sem.<name>" under /dev/shm: the name without its leading
// "/" and with that prefix must fit in one file name.
constexpr size_t kMaxNameLength = NAME_MAX - 4;

// The deadline `ms` from now on `clock`.
timespec DeadlineAfter(clockid_t clock, uint32_t ms) {
    timespec now{};
    ::clock_gettime(clock, &now);
    now.tv_sec += static_cast<time_t>(ms / 1000);
    now.tv_nsec += static_cast<long>(ms % 1000) * 1000000L;
    if (now.tv_nsec >= 1000000000L) {
        now.tv_sec += 1;
        now.tv_nsec -= 1000000000L;
    }
    return now;
}
}  // namespace

std::string NamedEventSystemName(const std::string& name) {
    if (name.empty()) {
        errno = EINVAL;
        return {};
    }
    std::string system = "/";
    for (char c : name) system += (c == '/' || c == '\\') ? '_' : c;
    system += '.';
    system += std::to_string(static_cast<unsigned long>(::getuid()));
    if (system.size() - 1 > kMaxNameLength) {
        errno = ENAMETOOLONG;
        return {};
    }
    return system;
}

NamedEvent::NamedEvent(std::string name, std::unique_ptr<Native> native)
    : m_name(std::move(name)), m_native(std::move(native)) {}

NamedEvent::~NamedEvent() {
    if (m_native && m_native->semaphore != SEM_FAILED) ::sem_close(m_native->semaphore);
}

std::unique_ptr<NamedEvent> NamedEvent::CreateFresh(const std::string& name) {
    auto native = std::make_unique<Native>();
    native->systemName = NamedEventSystemName(name);
    if (native->systemName.empty()) return nullptr;
    // Exclusive creation after the unlink: should another process make the name in between,
    // that one is removed too rather than shared with its possible leftover post.
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (::sem_unlink(native->systemName.c_str()) != 0 && errno != ENOENT) return nullptr;
        native->semaphore =
            ::sem_open(native->systemName.c_str(), O_CREAT | O_EXCL, S_IRUSR | S_IWUSR, 0u);
        if (native->semaphore != SEM_FAILED) {
            return std::unique_ptr<NamedEvent>(new NamedEvent(name, std::move(native)));
        }
        if (errno != EEXIST) return nullptr;
    }
    return nullptr;
}

std::unique_ptr<NamedEvent> NamedEvent::Open(const std::string& name) {
    auto native = std::make_unique<Native>();
    native->systemName = NamedEventSystemName(name);
    if (native->systemName.empty()) return nullptr;
    native->semaphore = ::sem_open(native->systemName.c_str(), 0);
    if (native->semaphore == SEM_FAILED) return nullptr;
    return std::unique_ptr<NamedEvent>(new NamedEvent(name, std::move(native)));
}

bool NamedEvent::Set() {
    // An auto-reset event holds at most one set: a second set before a wait changes nothing.
    int value = 0;
    if (::sem_getvalue(m_native->semaphore, &value) == 0 && value > 0) return true;
    return ::sem_post(m_native->semaphore) == 0;
}

bool NamedEvent::WaitMs(uint32_t ms) {
    sem_t* semaphore = m_native->semaphore;
    if (ms == 0) {
        int result;
        do {
            result = ::sem_trywait(semaphore);
        } while (result != 0 && errno == EINTR);
        return result == 0;
    }
    // An absolute deadline: a wait cut short by a signal resumes with what is left of it.
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 30))
    const timespec deadline = DeadlineAfter(CLOCK_MONOTONIC, ms);
    int result;
    do {
        result = ::sem_clockwait(semaphore, CLOCK_MONOTONIC, &deadline);
    } while (result != 0 && errno == EINTR);
#else
    const timespec deadline = DeadlineAfter(CLOCK_REALTIME, ms);
    int result;
    do {
        result = ::sem_timedwait(semaphore, &deadline);
    } while (result != 0 && errno == EINTR);
#endif
    return result == 0;
}

void NamedEvent::Remove() {
    if (m_native->systemName.empty()) return;
    ::sem_unlink(m_native->systemName.c_str());
    m_native->systemName.clear();
}

}  // namespace HY_OS
