// A named auto-reset event that processes of the same user share: the launcher makes it and
// waits, the program it started opens it by name and sets it once it is up.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace HY_OS {

class NamedEvent {
public:
    ~NamedEvent();
    NamedEvent(const NamedEvent&) = delete;
    NamedEvent& operator=(const NamedEvent&) = delete;

    // The waiting side: makes the event `name`, not signalled. A leftover of that name (a set
    // from an earlier run nobody waited for) is removed first, so that it cannot end a wait at
    // once. nullptr with errno set when the event cannot be made or the name is unusable.
    static std::unique_ptr<NamedEvent> CreateFresh(const std::string& name);
    // The signalling side: opens the existing event `name`; nullptr (errno set) when there is
    // none.
    static std::unique_ptr<NamedEvent> Open(const std::string& name);

    // Signals the event: one waiter, present or next, is released. true on success.
    bool Set();
    // Waits up to `ms` for the event and consumes the signal; true when it was signalled, false
    // on time-out or failure.
    bool WaitMs(uint32_t ms);
    // Takes the name away so that no one else can open it. On POSIX systems this object stays
    // usable; a Windows event's name lasts as long as a handle to it, so there the event is
    // closed and later calls answer false.
    void Remove();

    const std::string& Name() const { return m_name; }

private:
    struct Native;
    NamedEvent(std::string name, std::unique_ptr<Native> native);

    std::string m_name;
    std::unique_ptr<Native> m_native;
};

// The system name that event `name` has for the calling user; empty, with errno EINVAL or
// ENAMETOOLONG, when `name` is empty or too long. Every "/" and "\" of `name` becomes "_". On POSIX systems the result is
// "/<name>.<uid>", so that one user's leftover cannot block another user's event.
std::string NamedEventSystemName(const std::string& name);

}  // namespace HY_OS
