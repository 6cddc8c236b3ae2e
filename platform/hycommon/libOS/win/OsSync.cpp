#include "WinHandle.h"

#include "OsSync.h"

namespace HY_OS {

using win::ToHandle;
using win::ToInt;

// An auto-reset Windows event; the demultiplexer waits on its handle directly.
WakeEvent::WakeEvent() {
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    m_fd = event != nullptr ? ToInt(event) : -1;
}

WakeEvent::~WakeEvent() {
    if (m_fd >= 0) CloseHandle(ToHandle(m_fd));
}

void WakeEvent::Set() {
    if (m_fd >= 0) SetEvent(ToHandle(m_fd));
}

bool WakeEvent::Reset() {
    if (m_fd < 0) return false;
    // A zero wait consumes the signal of an auto-reset event and tells whether there was one.
    return WaitForSingleObject(ToHandle(m_fd), 0) == WAIT_OBJECT_0;
}

}  // namespace HY_OS
