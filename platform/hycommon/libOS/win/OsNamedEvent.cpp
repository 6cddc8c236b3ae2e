// Named events as Windows named events (auto-reset). The name lives in the session's namespace,
// which already keeps one user's events apart from another's.
#include "WinHandle.h"

#include "OsNamedEvent.h"

#include <cerrno>

namespace HY_OS {

struct NamedEvent::Native {
    HANDLE event = nullptr;
};

namespace {
constexpr size_t kMaxNameLength = MAX_PATH;

int ErrnoFor(DWORD error) {
    // The name belongs to an object of another kind (a mutex, a semaphore).
    if (error == ERROR_INVALID_HANDLE) return EEXIST;
    return win::ErrnoFor(error);
}
}  // namespace

std::string NamedEventSystemName(const std::string& name) {
    if (name.empty() || name.size() > kMaxNameLength) {
        errno = name.empty() ? EINVAL : ENAMETOOLONG;
        return {};
    }
    // A backslash would name a folder of the object namespace; slashes go too, so that a name
    // means the same on every platform.
    std::string system;
    for (char c : name) system += (c == '\\' || c == '/') ? '_' : c;
    return system;
}

NamedEvent::NamedEvent(std::string name, std::unique_ptr<Native> native)
    : m_name(std::move(name)), m_native(std::move(native)) {}

NamedEvent::~NamedEvent() {
    if (m_native && m_native->event != nullptr) CloseHandle(m_native->event);
}

std::unique_ptr<NamedEvent> NamedEvent::CreateFresh(const std::string& name) {
    std::string system = NamedEventSystemName(name);
    if (system.empty()) return nullptr;
    auto native = std::make_unique<Native>();
    native->event = CreateEventA(nullptr, FALSE, FALSE, system.c_str());
    if (native->event == nullptr) {
        errno = ErrnoFor(GetLastError());
        return nullptr;
    }
    // Another process still holds an event of this name open: clear a set it may carry.
    if (GetLastError() == ERROR_ALREADY_EXISTS) ResetEvent(native->event);
    return std::unique_ptr<NamedEvent>(new NamedEvent(name, std::move(native)));
}

std::unique_ptr<NamedEvent> NamedEvent::Open(const std::string& name) {
    std::string system = NamedEventSystemName(name);
    if (system.empty()) return nullptr;
    auto native = std::make_unique<Native>();
    native->event = OpenEventA(EVENT_MODIFY_STATE | SYNCHRONIZE, FALSE, system.c_str());
    if (native->event == nullptr) {
        errno = ErrnoFor(GetLastError());
        return nullptr;
    }
    return std::unique_ptr<NamedEvent>(new NamedEvent(name, std::move(native)));
}

bool NamedEvent::Set() { return m_native->event != nullptr && SetEvent(m_native->event) != 0; }

bool NamedEvent::WaitMs(uint32_t ms) {
    if (m_native->event == nullptr) return false;
    return WaitForSingleObject(m_native->event, ms) == WAIT_OBJECT_0;
}

void NamedEvent::Remove() {
    // A Windows event's name goes with its last handle.
    if (m_native->event != nullptr) CloseHandle(m_native->event);
    m_native->event = nullptr;
}

}  // namespace HY_OS
