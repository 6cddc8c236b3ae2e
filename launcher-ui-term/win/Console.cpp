#include "Console.h"

#include <io.h>
#include <windows.h>

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "ConsoleHandle.h"

#ifndef ENABLE_VIRTUAL_TERMINAL_PROCESSING
#define ENABLE_VIRTUAL_TERMINAL_PROCESSING 0x0004
#endif

namespace LarkTerm::Console {

namespace {

// A console in line mode hands a line over only once Enter is pressed; after its first byte the
// rest of that line waits inside the console, where no input record shows it. Set while a line
// read from the console has not reached its line feed yet. One window thread reads the input.
bool g_consoleMidLine = false;

// How long one look waits before the next while the input has something that is not a line yet
// (key releases, a half-typed line) or is a pipe, which cannot be waited on.
constexpr DWORD kLookPauseMs = 5;

bool IsConsole(HANDLE handle) {
    DWORD mode = 0;
    return handle != INVALID_HANDLE_VALUE && handle != nullptr && GetConsoleMode(handle, &mode);
}

// Whether a read of the console would end without waiting for more typing: a line is complete
// (an Enter key press among the waiting records) or the rest of a line is still inside.
bool ConsoleLineReady(HANDLE handle) {
    if (g_consoleMidLine) return true;
    DWORD mode = 0;
    GetConsoleMode(handle, &mode);
    DWORD count = 0;
    if (!GetNumberOfConsoleInputEvents(handle, &count) || count == 0) return false;
    // Without line mode every key press is a byte of its own.
    bool lineMode = (mode & ENABLE_LINE_INPUT) != 0;
    INPUT_RECORD records[128];
    DWORD got = 0;
    if (!PeekConsoleInputW(handle, records, std::min<DWORD>(count, 128), &got)) return false;
    for (DWORD i = 0; i < got; ++i) {
        if (records[i].EventType != KEY_EVENT || !records[i].Event.KeyEvent.bKeyDown) continue;
        if (!lineMode && records[i].Event.KeyEvent.uChar.UnicodeChar != 0) return true;
        if (records[i].Event.KeyEvent.wVirtualKeyCode == VK_RETURN) return true;
    }
    return false;
}

// Input that can be neither peeked at nor waited on (under Wine a Unix FIFO or terminal handed in
// as standard input looks like a pipe that PeekNamedPipe refuses): a thread of its own reads one
// byte at a time, and only when the window asks for the next one, so at most one byte beyond the
// window's last line is ever taken. Never freed: the thread may sit in ReadFile until the process
// ends.
class ByteAhead {
  public:
    explicit ByteAhead(HANDLE handle) : m_handle(handle) {
        std::thread([this] { Run(); }).detach();
    }
    HANDLE Handle() const { return m_handle; }

    // True when a byte or the end is there to be taken; otherwise asks for the next byte.
    bool Ready() {
        std::lock_guard<std::mutex> hold(m_lock);
        if (m_has || m_ended) return true;
        if (!m_wanted) {
            m_wanted = true;
            m_changed.notify_one();
        }
        return false;
    }
    // Calls off a read that is waiting for a byte, so that byte is left in the input.
    void Stop() {
        std::lock_guard<std::mutex> hold(m_lock);
        if (m_reading && m_thread != nullptr) CancelSynchronousIo(m_thread);
    }
    ReadResult Take(char& byte) {
        std::lock_guard<std::mutex> hold(m_lock);
        if (m_has) {
            byte = m_byte;
            m_has = false;
            return CR_Byte;
        }
        return m_ended ? CR_End : CR_Again;
    }

  private:
    void Run() {
        {
            std::lock_guard<std::mutex> hold(m_lock);
            m_thread = OpenThread(THREAD_TERMINATE, FALSE, GetCurrentThreadId());
        }
        for (;;) {
            {
                std::unique_lock<std::mutex> hold(m_lock);
                m_changed.wait(hold, [this] { return m_wanted; });
                m_reading = true;
            }
            char byte = 0;
            DWORD got = 0;
            bool read = ReadFile(m_handle, &byte, 1, &got, nullptr) && got == 1;
            bool aborted = !read && GetLastError() == ERROR_OPERATION_ABORTED;
            std::lock_guard<std::mutex> hold(m_lock);
            m_reading = false;
            m_wanted = false;
            // Called off by Stop: nothing was taken, and a later window may ask again.
            if (aborted) continue;
            if (!read) {
                m_ended = true;
                return;
            }
            m_byte = byte;
            m_has = true;
        }
    }

    HANDLE m_handle;
    std::mutex m_lock;
    std::condition_variable m_changed;
    HANDLE m_thread = nullptr;
    bool m_wanted = false, m_has = false, m_ended = false, m_reading = false;
    char m_byte = 0;
};

// Set once standard input turned out to need the reading thread (one input is read at a time).
ByteAhead* g_ahead = nullptr;

ByteAhead* AheadFor(HANDLE handle) {
    return g_ahead != nullptr && g_ahead->Handle() == handle ? g_ahead : nullptr;
}

// Whether reading `handle` now would not block: a byte, a line, or the end is waiting.
bool InputReadyNow(HANDLE handle) {
    if (handle == INVALID_HANDLE_VALUE || handle == nullptr) return true;  // the read reports it
    if (ByteAhead* ahead = AheadFor(handle)) return ahead->Ready();
    if (IsConsole(handle)) return ConsoleLineReady(handle);
    DWORD type = GetFileType(handle);
    if (type == FILE_TYPE_DISK) return true;  // a file answers at once
    if (type == FILE_TYPE_PIPE) {
        DWORD available = 0;
        if (PeekNamedPipe(handle, nullptr, 0, nullptr, &available, nullptr)) return available > 0;
        // A pipe whose writer has gone: the read that follows finds the end.
        if (GetLastError() == ERROR_BROKEN_PIPE) return true;
    }
    // Nothing tells whether a read would block: read through a thread from now on.
    if (g_ahead == nullptr) g_ahead = new ByteAhead(handle);
    return AheadFor(handle) != nullptr ? g_ahead->Ready() : true;
}

}  // namespace

HANDLE HandleOf(int descriptor) {
    switch (descriptor) {
        case 0:
            return GetStdHandle(STD_INPUT_HANDLE);
        case 1:
            return GetStdHandle(STD_OUTPUT_HANDLE);
        case 2:
            return GetStdHandle(STD_ERROR_HANDLE);
        default:
            return reinterpret_cast<HANDLE>(_get_osfhandle(descriptor));
    }
}

bool IsTerminal(int descriptor) { return IsConsole(HandleOf(descriptor)); }

int Columns(int descriptor) {
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (!GetConsoleScreenBufferInfo(HandleOf(descriptor), &info)) return 0;
    return info.srWindow.Right - info.srWindow.Left + 1;
}

bool EnableEscapes(int descriptor) {
    HANDLE handle = HandleOf(descriptor);
    DWORD mode = 0;
    if (!GetConsoleMode(handle, &mode)) return false;
    if (mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) return true;
    return SetConsoleMode(handle, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
}

void StopReading() {
    if (g_ahead != nullptr) g_ahead->Stop();
}

ReadResult ReadByte(int descriptor, char& byte) {
    HANDLE handle = HandleOf(descriptor);
    if (ByteAhead* ahead = AheadFor(handle)) return ahead->Take(byte);
    DWORD got = 0;
    if (!ReadFile(handle, &byte, 1, &got, nullptr) || got == 0) {
        g_consoleMidLine = false;
        return CR_End;
    }
    if (IsConsole(handle)) g_consoleMidLine = byte != '\n';
    return CR_Byte;
}

WaitResult WaitForInput(int input, int other, int timeoutMs, bool& inputReady, bool& otherReady) {
    inputReady = otherReady = false;
    // A descriptor of the launcher's loop cannot be waited on here: count it as ready, so the
    // loop sends "Tick" on every pass as it does without a wait source.
    if (other >= 0) {
        otherReady = true;
        if (input >= 0) inputReady = InputReadyNow(HandleOf(input));
        return WR_Ready;
    }
    HANDLE handle = input >= 0 ? HandleOf(input) : nullptr;
    ULONGLONG start = GetTickCount64();
    for (;;) {
        if (handle != nullptr && InputReadyNow(handle)) {
            inputReady = true;
            return WR_Ready;
        }
        ULONGLONG elapsed = GetTickCount64() - start;
        if (timeoutMs >= 0 && elapsed >= static_cast<ULONGLONG>(timeoutMs)) return WR_TimedOut;
        DWORD left = timeoutMs < 0 ? INFINITE : static_cast<DWORD>(timeoutMs - elapsed);
        if (handle != nullptr && IsConsole(handle)) {
            // The console's handle is signalled while any record waits, a line or not.
            if (WaitForSingleObject(handle, left) == WAIT_OBJECT_0 && !InputReadyNow(handle))
                Sleep(std::min(left, kLookPauseMs));
        } else {
            Sleep(handle != nullptr ? std::min(left, kLookPauseMs) : left);
        }
    }
}

}  // namespace LarkTerm::Console
