// The debugger's output on Windows: what DebuggerOutput writes reaches a debug-output viewer,
// which listens the way such viewers do (the shared "DBWIN_BUFFER" and its two events).
#include "OsShell.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

namespace {

// Listens for one debug-output string as a viewer does; the buffer holds the writer's process id
// and then the text.
class DebugOutputViewer {
public:
    DebugOutputViewer() {
        m_ready = CreateEventA(nullptr, FALSE, FALSE, "DBWIN_BUFFER_READY");
        m_data = CreateEventA(nullptr, FALSE, FALSE, "DBWIN_DATA_READY");
        m_map = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4096, "DBWIN_BUFFER");
        if (m_map) m_view = static_cast<const char*>(MapViewOfFile(m_map, FILE_MAP_READ, 0, 0, 4096));
        if (m_ready) SetEvent(m_ready);
    }
    ~DebugOutputViewer() {
        if (m_view) UnmapViewOfFile(m_view);
        for (HANDLE handle : {m_map, m_data, m_ready})
            if (handle) CloseHandle(handle);
    }
    bool Listening() const { return m_ready && m_data && m_view; }
    // The next string written, with the id of the process that wrote it; empty after 10 s.
    std::string Next(DWORD& processId) {
        if (WaitForSingleObject(m_data, 10000) != WAIT_OBJECT_0) return {};
        processId = *reinterpret_cast<const DWORD*>(m_view);
        std::string text(m_view + sizeof(DWORD), strnlen(m_view + sizeof(DWORD), 4096 - sizeof(DWORD)));
        SetEvent(m_ready);
        return text;
    }

private:
    HANDLE m_ready = nullptr, m_data = nullptr, m_map = nullptr;
    const char* m_view = nullptr;
};

TEST(OsShellWin, DebuggerOutputReachesADebugOutputViewer) {
    DebugOutputViewer viewer;
    ASSERT_TRUE(viewer.Listening());
    HY_OS::DebuggerOutput("EXCEPT : Exception code: C0000005 ACCESS_VIOLATION\n");
    DWORD processId = 0;
    EXPECT_EQ(viewer.Next(processId), "EXCEPT : Exception code: C0000005 ACCESS_VIOLATION\n");
    EXPECT_EQ(processId, GetCurrentProcessId());
}

}  // namespace
