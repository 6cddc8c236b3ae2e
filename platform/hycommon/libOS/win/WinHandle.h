// Helpers shared by the Windows half of the platform seam (private to this folder).
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

namespace HY_OS::win {

// The seam carries handles and sockets as int. Windows guarantees that kernel handles (sockets
// included) fit in 32 bits and may be sign-extended back, so -1 stays INVALID_HANDLE_VALUE.
inline int ToInt(HANDLE handle) {
    return static_cast<int>(reinterpret_cast<intptr_t>(handle));
}
inline HANDLE ToHandle(int handle) {
    return reinterpret_cast<HANDLE>(static_cast<intptr_t>(handle));
}

// Milliseconds of the multimedia timer (timeGetTime, at 1 ms resolution), widened to 64 bits
// so that the count does not wrap after 49.7 days.
uint64_t MultimediaTimeMs();

// The system's text for an error code, without the trailing line break.
std::string ErrorText(DWORD error);

// UTF-8 text as UTF-16 for the wide Windows calls; false for text that is not valid UTF-8.
bool Utf8ToWide(const std::string& text, std::wstring& wide);

// The errno value callers compare against for a Windows error code (EIO for the rest).
int ErrnoFor(DWORD error);

// Owns one handle of the internet library (a session, connection or request) and closes it.
// Kept opaque here so that this header does not pull in the internet library's declarations.
class InternetHandle {
public:
    explicit InternetHandle(void* handle = nullptr) : m_handle(handle) {}
    ~InternetHandle() { Close(); }
    InternetHandle(const InternetHandle&) = delete;
    InternetHandle& operator=(const InternetHandle&) = delete;
    void* Get() const { return m_handle; }
    void Reset(void* handle) {
        Close();
        m_handle = handle;
    }
    void Close();

private:
    void* m_handle;
};

}  // namespace HY_OS::win
